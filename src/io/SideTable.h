// The side table of -C: the reference flags, covariates and coordinates of
// the individuals of a file format that carries none (VCF, GENEPOP),
// matched by id.
#ifndef BRELO_IO_SIDETABLE_H
#define BRELO_IO_SIDETABLE_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"

// The columns the command line asks for.
struct SSideColumns {
    bool ref = false;          // -ref: a column "ref"
    int nbQualVar = 0;         // -XL
    int nbQuantVar = 0;        // -X
    bool coordinates = false;  // a trend degree other than -1: columns "x" and "y"
    bool Any() const { return ref || nbQualVar > 0 || nbQuantVar > 0 || coordinates; }
};

// The values of the N individuals of the data file, in its order.
struct SSideValues {
    INT_VCTR_1D isBase;  // N reference flags
    INT_VCTR_2D XQual;   // N x nbQualVar integer level codes
    DBL_VCTR_2D XQuant;  // N x nbQuantVar
    DBL_VCTR_2D C;       // N x 2 coordinates
};

// Layout: a header line, then one row per individual, fields separated by
// tabs when the header holds a tab (ids may then hold blanks), else by
// blanks. Columns are found by their header name, in any case: "id"
// (required), "ref" (with -ref), "x" and "y" (also "lon"/"longitude" and
// "lat"/"latitude") when coordinates are needed. Every other column is a
// covariate column: the first nbQualVar of them, in table order, are the
// qualitative covariates (integer codes), the next nbQuantVar the
// quantitative ones; further columns are not used (a note on standard output
// names them). Rows whose id is not among ids are not used either (a note
// gives their number).
// Fatal (one line, exit status 1): a table that cannot be opened, no header
// or no id column, a repeated column name, fewer covariate columns than
// asked, a missing ref/x/y column, a row with another number of fields, a
// malformed number, an id given twice in the table or twice in the data
// file (named), an individual of the data file without row (named).
void ReadSideTable(const std::string& File, const SSideColumns& wanted,
                   const std::vector<std::string>& ids, const std::string& dataFile,
                   SSideValues& values);

#endif

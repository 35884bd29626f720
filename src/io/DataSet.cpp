#include "io/DataSet.h"

#include <iostream>
#include <utility>

#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"
#include "io/CovariateCoding.h"
#include "io/IOUtilities.h"
#include "io/SideTable.h"

namespace {

void LoadOrdinaryLayout(const SDataLayout& layout, CDataSet& data) {
    // The counts are checked against the file before they size anything.
    if (!ScanDataFile(layout, IsBreloAdm() ? std::cerr : std::cout, "LoadData"))
        ExitProgram(1);
    data.X = CGenotypeStore(layout.N, layout.A, layout.L);
    data.C.assign(static_cast<size_t>(layout.N) + layout.nd, DBL_VCTR_1D(2, 0.0));
    data.XQual.assign(layout.N, INT_VCTR_1D(layout.nbQualVar, 0));
    data.nQualLevels.assign(layout.nbQualVar, 0);
    data.isBase.assign(layout.N, 0);
    data.recAllele.assign(layout.L, 0);
    LoadScannedData(layout, data.isBase, data.C, data.Xtild, data.XQual, data.LevelCount,
                    data.nQualLevels, data.X, data.recAllele, &data.ids);
}

SSideColumns ColumnsAskedFor(const SDataLayout& layout) {
    SSideColumns wanted;
    wanted.ref = layout.bbase;
    wanted.nbQualVar = layout.nbQualVar;
    wanted.nbQuantVar = layout.nbQuantVar;
    wanted.coordinates = layout.trendDegree != -1;
    return wanted;
}

// The design matrix as the ordinary layout builds it: intercept,
// quantitative covariates and trend columns, then the effect-coded
// qualitative covariates in front of them.
void BuildDesign(const SDataLayout& layout, const SSideValues& side, CDataSet& data) {
    const int trendSize = TrendSize(layout.trendDegree, layout.nb_var_regr);
    if (layout.nbQuantVar == 0 && layout.nbQualVar == 0 && layout.trendDegree < 1)
        return;
    DBL_VCTR_2D XQuant(layout.N, DBL_VCTR_1D(1 + layout.nbQuantVar + trendSize, 1.0));
    for (int i = 0; i < layout.N; ++i) {
        for (int v = 0; v < layout.nbQuantVar; ++v)
            XQuant[i][1 + v] = side.XQuant[i][v];
        if (trendSize > 0)
            FillTrendColumns(data.C[i][0], data.C[i][1], layout.trendDegree, layout.nb_var_regr,
                             XQuant[i].data() + 1 + layout.nbQuantVar);
    }
    if (layout.nbQualVar == 0)
        data.Xtild = std::move(XQuant);
    else
        TransformQualData(data.XQual, XQuant, data.Xtild, data.nQualLevels, data.LevelCount);
}

void LoadOtherFormat(const SDataLayout& layout, CDataSet& data) {
    {
        // The counts of the file, read with the options, size the store.
        SGenotypeCounts counts;
        counts.N = layout.N;
        counts.A = layout.A;
        counts.L = layout.L;
        SGenotypeTable table = ReadGenotypeTable(layout.format, layout.File, counts);
        data.X = std::move(table.genotypes);
        data.ids = std::move(table.ids);
        data.popIndex = std::move(table.popIndex);
    }
    InitVctr2D(data.C, layout.N, 2, 0.0);
    InitVctr2D(data.XQual, layout.N, layout.nbQualVar, 0);
    InitVctr1D(data.nQualLevels, layout.nbQualVar, 0);
    InitVctr1D(data.isBase, layout.N, 0);
    InitVctr1D(data.recAllele, layout.L, 0);
    const SSideColumns wanted = ColumnsAskedFor(layout);
    if (layout.sideTable.empty())
        return;
    SSideValues side;
    ReadSideTable(layout.sideTable, wanted, data.ids, layout.File, side);
    if (wanted.ref)
        data.isBase = std::move(side.isBase);
    if (wanted.coordinates)
        data.C = std::move(side.C);
    if (layout.nbQualVar > 0)
        data.XQual = std::move(side.XQual);
    BuildDesign(layout, side, data);
}

// The options that describe where things sit in the ordinary layout.
void RefuseOrdinaryLayoutOptions(const SDataLayout& layout) {
    const std::string format = FormatName(layout.format);
    auto refuse = [&](const char* option) {
        RefuseInput("The option " + std::string(option) +
                    " describes the ordinary layout; it cannot be used with " + format + ".");
    };
    if (layout.ER != 0)
        refuse("-r");
    if (layout.EC != 0)
        refuse("-c");
    if (layout.specialFormat)
        refuse("-spy");
    if (layout.isRecAllele)
        refuse("-rcy");
    if (layout.nd != 0)
        refuse("-d");
}

// A format without coordinates or covariates needs the -C table for the
// columns the options ask for; the ordinary layout holds its own.
void CheckSideTableOptions(const SDataLayout& layout) {
    if (!layout.sideTable.empty() && layout.format == EInputFormat::Ordinary)
        RefuseInput(
            "The option -C gives the coordinates and covariates of a -fvcf or -fgenepop file; "
            "the ordinary layout holds its own.");
    if (!layout.sideTable.empty() || layout.format == EInputFormat::Ordinary)
        return;
    const SSideColumns wanted = ColumnsAskedFor(layout);
    std::string asked;
    if (wanted.coordinates)
        asked = "coordinates (-T" + std::to_string(layout.trendDegree) + ")";
    else if (wanted.nbQualVar > 0 || wanted.nbQuantVar > 0)
        asked = "covariates (-X, -XL)";
    else if (wanted.ref)
        asked = "reference flags (-ref)";
    if (!asked.empty())
        RefuseInput("A " + FormatName(layout.format) + " file holds no " + asked +
                    ": give them in a table with -C<file>.");
}

}  // namespace

void LoadDataSet(const SDataLayout& layout, CDataSet& data) {
    data = CDataSet();
    if (layout.format == EInputFormat::Ordinary)
        LoadOrdinaryLayout(layout, data);
    else
        LoadOtherFormat(layout, data);
    if (data.ids.empty())
        data.ids = PositionIds(layout.N);
}

std::vector<std::string> PositionIds(int N) {
    std::vector<std::string> ids;
    ids.reserve(N > 0 ? N : 0);
    for (int i = 1; i <= N; ++i)
        ids.push_back(std::to_string(i));
    return ids;
}

void CheckDataLayout(const SDataLayout& layout) {
    if (layout.N < 1)
        RefuseInput("The number of individuals (-N) must be at least 1.");
    if (layout.A < 1)
        RefuseInput("The ploidy (-A) must be at least 1.");
    if (layout.L < 1)
        RefuseInput("The number of loci (-L) must be at least 1.");
    if (layout.nbQuantVar < 0)
        RefuseInput("The number of quantitative covariates (-X) must not be negative.");
    if (layout.nbQualVar < 0)
        RefuseInput("The number of qualitative covariates (-XL) must not be negative.");
    if (layout.ER < 0)
        RefuseInput("The number of extra rows (-r) must not be negative.");
    if (layout.EC < 0)
        RefuseInput("The number of extra columns (-c) must not be negative.");
    if (layout.nd < 0)
        RefuseInput("The number of dummy individuals (-d) must not be negative.");
    if (layout.format != EInputFormat::Ordinary)
        RefuseOrdinaryLayoutOptions(layout);
    CheckSideTableOptions(layout);
}

void CheckClusterCount(int K, const SDataLayout& layout) {
    const long long copies = static_cast<long long>(layout.N) * layout.A;
    if (K > copies)
        RefuseInput("The number of clusters (-K" + std::to_string(K) + ") must not exceed the " +
                    std::to_string(copies) + " allele copies of the data (-N" +
                    std::to_string(layout.N) + " x -A" + std::to_string(layout.A) + ").");
}

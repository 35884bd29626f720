// The genotype files of -fvcf (VCF/BCF through htslib) and -fgenepop, and
// the -C side table that gives their individuals coordinates, covariates
// and reference flags.
// Parameters: format (0 VCF, 1 GENEPOP, 2 side table), then for the side
// table: ref nbQualVar nbQuantVar coordinates and the number of ids
// ("1" ... "n") of the data file.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "io/GenotypeTable.h"
#include "io/InputFormat.h"
#include "io/SideTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int kind = in.Param(0, 2);
    if (kind < 2) {
        const std::string file = in.WriteBody(kind == 0 ? "data.vcf" : "data.gen");
        return RunFuzzCase([&] {
            const EInputFormat format = kind == 0 ? EInputFormat::Vcf : EInputFormat::Genepop;
            const SGenotypeTable table = ReadGenotypeTable(format, file);
            table.genotypes.ToCodes();
        });
    }
    SSideColumns wanted;
    wanted.ref = in.Flag();
    wanted.nbQualVar = in.Param(0, 4);
    wanted.nbQuantVar = in.Param(0, 4);
    wanted.coordinates = in.Flag();
    std::vector<std::string> ids;
    for (int i = 1, n = in.Param(1, 50); i <= n; ++i)
        ids.push_back(std::to_string(i));
    const std::string file = in.WriteBody("side.txt");
    return RunFuzzCase([&] {
        SSideValues values;
        ReadSideTable(file, wanted, ids, "data.vcf", values);
    });
}

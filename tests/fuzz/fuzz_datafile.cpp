// The genotype data file in every layout and format, as both programs load
// it (counts checked against the file before anything is sized), and the
// estimation-data scan of prediction mode.
// Parameters: N A L nd ER EC nbQuantVar nbQualVar trendDegree nb_var_regr
// specialFormat isRecAllele bbase breloAdm.
#include <set>
#include <vector>

#include "FuzzSupport.h"
#include "core/ProgramFlavour.h"
#include "io/DataSet.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    SDataLayout layout;
    layout.N = in.Param(-1, 2147483647);
    layout.A = in.Param(-1, 2147483647);
    layout.L = in.Param(-1, 2147483647);
    layout.nd = in.Param(-1, 2147483647);
    layout.ER = in.Param(-1, 2147483647);
    layout.EC = in.Param(-1, 2147483647);
    layout.nbQuantVar = in.Param(-1, 2147483647);
    layout.nbQualVar = in.Param(-1, 2147483647);
    layout.trendDegree = in.Param(-1, 3);
    layout.nb_var_regr = in.Param(0, 2);
    layout.specialFormat = in.Flag();
    layout.isRecAllele = in.Flag();
    layout.bbase = in.Flag();
    SetProgramFlavour(in.Flag() ? ProgramFlavour::BreloAdm : ProgramFlavour::Brelo);
    layout.File = in.WriteBody("data.txt");
    RunFuzzCase([&] {
        CheckDataLayout(layout);
        CDataSet loaded;
        LoadDataSet(layout, loaded);
        for (int l = 0; l < loaded.X.L(); ++l)
            for (int i = 0; i < loaded.X.N(); ++i)
                for (int a = 0; a < loaded.X.A(); ++a)
                    loaded.X.Code(i, a, l);
    });
    RunFuzzCase([&] {
        CheckDataLayout(layout);
        std::vector<std::set<int>> levelS;
        LoadQualInfoFromData(layout.N, layout.nbQualVar, layout.nbQuantVar, layout.L, layout.A,
                             layout.ER, layout.EC, layout.specialFormat, layout.bbase,
                             layout.isRecAllele, layout.trendDegree != -1, levelS, layout.File,
                             layout.nd);
    });
    return 0;
}

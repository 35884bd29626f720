#include "io/DataSet.h"

#include "io/IOUtilities.h"

void LoadDataSet(const SDataLayout& layout, CDataSet& data) {
    data = CDataSet();
    InitVctr3D(data.X, layout.N, layout.A, layout.L, 0);
    InitVctr2D(data.C, layout.N + layout.nd, 2, 0.0);
    InitVctr2D(data.XQual, layout.N, layout.nbQualVar, 0);
    InitVctr1D(data.nQualLevels, layout.nbQualVar, 0);
    InitVctr1D(data.isBase, layout.N, 0);
    InitVctr1D(data.recAllele, layout.L, 0);
    LoadData(layout.bbase, data.isBase, data.C, data.Xtild, data.XQual, data.LevelCount,
             data.nQualLevels, data.X, data.recAllele, layout.ER, layout.EC, layout.File,
             layout.specialFormat, layout.nbQuantVar, layout.nb_var_regr, layout.isRecAllele,
             layout.trendDegree);
}

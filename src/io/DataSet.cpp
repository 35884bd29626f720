#include "io/DataSet.h"

#include "core/MiscUtilities.h"
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
             layout.trendDegree, &data.ids);
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
}

#include "brelo/BreloData.h"

#include <iostream>
#include <utility>

#include "core/MiscUtilities.h"
#include "io/DataSet.h"
#include "io/ResultTables.h"

namespace {

SDataLayout MakeLayout(const SBreloOptions& opts) {
    return MakeDataLayout(opts, MakeInputPath(opts.FoI, opts.F));
}

INT_VCTR_1D ZeroBased(const INT_VCTR_1D& oneBased) {
    INT_VCTR_1D rows;
    rows.reserve(oneBased.size());
    for (int index : oneBased)
        rows.push_back(index - 1);
    return rows;
}

template <class T>
std::vector<T> SelectRows(const std::vector<T>& all, const INT_VCTR_1D& rows) {
    std::vector<T> out;
    if (all.empty())
        return out;
    out.reserve(rows.size());
    for (int r : rows)
        out.push_back(all[r]);
    return out;
}

void SplitIndividuals(CDataSet& all, const INT_VCTR_1D& training, const INT_VCTR_1D& heldOut,
                      SBreloData& data) {
    data.X = all.X.SelectIndividuals(training);
    data.Xtild = SelectRows(all.Xtild, training);
    data.XQual = SelectRows(all.XQual, training);
    data.isBase = SelectRows(all.isBase, training);
    data.ids = SelectRows(all.ids, training);
    data.popIndex = SelectRows(all.popIndex, training);
    data.locusNumber = PositionLocusNumbers(data.L);
    data.XsameLoci = all.X.SelectIndividuals(heldOut);
    data.Xtild_valid = SelectRows(all.Xtild, heldOut);
    data.XQual_valid = SelectRows(all.XQual, heldOut);
    all.X = CGenotypeStore();
    data.LevelCount = CountLevels(data.XQual, data.nQualLevels);
    data.LevelCount_valid = CountLevels(data.XQual_valid, data.nQualLevels);
}

void SplitLoci(CDataSet& all, const INT_VCTR_1D& training, const INT_VCTR_1D& heldOut,
               SBreloData& data) {
    data.X = all.X.SelectLoci(training);
    data.XnewLoci = all.X.SelectLoci(heldOut);
    all.X = CGenotypeStore();
    data.Xtild = std::move(all.Xtild);
    data.XQual = std::move(all.XQual);
    data.isBase = std::move(all.isBase);
    data.ids = std::move(all.ids);
    data.popIndex = std::move(all.popIndex);
    for (int l : training)
        data.locusNumber.push_back(l + 1);
    data.LevelCount = std::move(all.LevelCount);
    data.Xtild_valid = data.Xtild;
    data.XQual_valid = data.XQual;
    data.LevelCount_valid = data.LevelCount;
}

}  // namespace

INT_VCTR_2D CountLevels(const INT_VCTR_2D& XQual, const INT_VCTR_1D& nQualLevels) {
    INT_VCTR_2D count(nQualLevels.size());
    for (size_t v = 0; v < nQualLevels.size(); ++v)
        count[v].assign(nQualLevels[v], 0);
    for (const INT_VCTR_1D& row : XQual)
        for (size_t v = 0; v < nQualLevels.size() && v < row.size(); ++v)
            ++count[v][row[v]];
    return count;
}

INT_VCTR_1D ComplementIndices(const INT_VCTR_1D& oneBased, int M) {
    BOOL_VCTR_1D listed(M, false);
    for (int index : oneBased)
        if (index >= 1 && index <= M)
            listed[index - 1] = true;
    INT_VCTR_1D out;
    for (int m = 0; m < M; ++m)
        if (!listed[m])
            out.push_back(m);
    return out;
}

double TraceValuesPerSweep(int K, int beta_length) {
    return static_cast<double>(K - 1) * beta_length + 1.0 + 2.0 * K;
}

void LoadInvocationData(const SBreloOptions& opts, SLoadedData& loaded) {
    loaded.readStart = std::chrono::system_clock::now();
    LoadDataSet(MakeLayout(opts), loaded.set);
    const CDataSet& all = loaded.set;
    const int beta_length = all.Xtild.empty() ? 0 : static_cast<int>(all.Xtild[0].size());
    CheckTraceMemory(opts.TotalSweep, TraceValuesPerSweep(opts.K, beta_length));
}

void LoadBreloData(const SBreloOptions& opts, bool bFIT, bool bValOnIndiv,
                   const CTrainingConfig& trainingConfig, SBreloData& data, SLoadedData* loaded) {
    data = SBreloData();
    data.bFIT = bFIT;
    data.bValOnIndiv = bFIT && bValOnIndiv;
    data.N = opts.N;
    data.A = opts.A;
    data.L = opts.L;
    if (bFIT && bValOnIndiv) {
        data.N = trainingConfig.size();
        data.NV = opts.N - data.N;
        std::cout << "Training Config Code: " << trainingConfig.name
                  << "   Nb of Individuals,   in the Training Set:" << data.N
                  << "   in the Validation Set:" << data.NV << std::endl;
    } else if (bFIT) {
        data.L = trainingConfig.size();
        data.LV = opts.L - data.L;
        data.NV = opts.N;
        std::cout << "Training Configuration Code: " << trainingConfig.name
                  << "   Nb of Loci,   in the Training Set:" << data.L
                  << "   in the Validation Set:" << data.LV << std::endl;
    }

    CDataSet all;
    if (!loaded)
        LoadDataSet(MakeLayout(opts), all);
    else if (loaded->lastUse)
        all = std::move(loaded->set);
    else
        all = loaded->set;
    data.nQualLevels = all.nQualLevels;
    if (!bFIT) {
        data.X = std::move(all.X);
        data.Xtild = std::move(all.Xtild);
        data.XQual = std::move(all.XQual);
        data.LevelCount = std::move(all.LevelCount);
        data.isBase = std::move(all.isBase);
        data.ids = std::move(all.ids);
        data.popIndex = std::move(all.popIndex);
        data.locusNumber = PositionLocusNumbers(data.L);
        return;
    }
    const int M = bValOnIndiv ? opts.N : opts.L;
    INT_VCTR_1D training = ZeroBased(trainingConfig.index);
    INT_VCTR_1D heldOut = ComplementIndices(trainingConfig.index, M);
    if (bValOnIndiv)
        SplitIndividuals(all, training, heldOut, data);
    else
        SplitLoci(all, training, heldOut, data);
}

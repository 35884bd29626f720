#include "io/DataSet.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <type_traits>
#include <utility>

#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"
#include "io/CovariateCoding.h"
#include "io/IOUtilities.h"
#include "io/SideTable.h"

namespace {

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
        SGenotypeTable table = TakeGenotypeTable(layout.format, layout.File);
        if (table.N != layout.N || table.A != layout.A || table.L != layout.L)
            RefuseInput("The file " + layout.File + " holds " + std::to_string(table.N) +
                        " individuals, " + std::to_string(table.A) + " copies and " +
                        std::to_string(table.L) + " loci, where the options give -N" +
                        std::to_string(layout.N) + " -A" + std::to_string(layout.A) + " -L" +
                        std::to_string(layout.L) + ".");
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
            "The option -C gives the coordinates and covariates of a -fvcf, -fgenepop or -fplink "
            "file; "
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

// "a, b, c and 4 more": the first names of a list that may be long.
std::string FirstNames(const std::vector<std::string>& names) {
    constexpr size_t kShown = 10;
    std::string text;
    for (size_t n = 0; n < names.size() && n < kShown; ++n)
        text += (n > 0 ? ", " : "") + names[n];
    if (names.size() > kShown)
        text += " and " + std::to_string(names.size() - kShown) + " more";
    return text;
}

// Individuals with at least one observed copy.
// Packed rows, read in place: a genotype is missing when both its bits are
// set.
std::vector<bool> ObservedPackedIndividuals(const CGenotypeStore& X) {
    constexpr uint64_t kLowBits = 0x5555555555555555ULL;
    const int tail = X.L() % CGenotypeStore::kLociPerWord;
    const uint64_t lastMask = tail == 0 ? kLowBits : kLowBits & ((uint64_t{1} << (2 * tail)) - 1);
    std::vector<bool> observed(X.N(), false);
    for (int i = 0; i < X.N(); ++i) {
        const uint64_t* row = X.Row(i);
        for (size_t w = 0; w < X.Words() && !observed[i]; ++w) {
            const uint64_t mask = w + 1 == X.Words() ? lastMask : kLowBits;
            observed[i] = (row[w] & (row[w] >> 1) & mask) != mask;
        }
    }
    return observed;
}

std::vector<bool> ObservedIndividuals(const CGenotypeStore& X) {
    if (X.IsPacked())
        return ObservedPackedIndividuals(X);
    std::vector<bool> observed(X.N(), false);
    const size_t perIndividual = static_cast<size_t>(X.A()) * X.L();
    X.VisitIndices([&](const auto* index) {
        using T = std::remove_const_t<std::remove_pointer_t<decltype(index)>>;
        const T missing = CGenotypeStore::MissingMarker<T>();
        for (int i = 0; i < X.N(); ++i) {
            const T* copy = index + i * perIndividual;
            observed[i] =
                std::any_of(copy, copy + perIndividual, [&](T v) { return v != missing; });
        }
        return 0;
    });
    return observed;
}

}  // namespace

void CheckObservedAlleles(const CDataSet& data, const std::string& File) {
    std::vector<std::string> loci, individuals;
    for (int l = 0; l < data.X.L(); ++l)
        if (data.X.J(l) == 0)
            loci.push_back(std::to_string(l + 1));
    if (static_cast<int>(loci.size()) == data.X.L())
        RefuseInput(File + " holds no observed allele (every genotype is missing) - LoadData");
    const std::vector<bool> observed = ObservedIndividuals(data.X);
    for (int i = 0; i < data.X.N(); ++i)
        if (!observed[i])
            individuals.push_back(i < static_cast<int>(data.ids.size()) ? data.ids[i]
                                                                        : std::to_string(i + 1));
    const bool oneLocus = loci.size() == 1, oneIndividual = individuals.size() == 1;
    if (!loci.empty())
        PrintMessage("Warning: " + std::string(oneLocus ? "locus " : "loci ") + FirstNames(loci) +
                     " of " + File + (oneLocus ? " has" : " have") +
                     " no observed allele and tell" + (oneLocus ? "s" : "") +
                     " nothing of the clusters.");
    if (!individuals.empty())
        PrintMessage("Warning: " + std::string(oneIndividual ? "individual " : "individuals ") +
                     FirstNames(individuals) + " of " + File +
                     (oneIndividual ? " has no observed allele: its cluster comes"
                                    : " have no observed allele: their clusters come") +
                     " from the prior alone.");
}

void LoadDataSet(const SDataLayout& layout, CDataSet& data) {
    data = CDataSet();
    if (layout.format == EInputFormat::Ordinary)
        LoadOrdinaryDataSet(layout, data);
    else
        LoadOtherFormat(layout, data);
    // Diploid data of at most two alleles a locus: two bits a genotype. The
    // recessive-allele step rewrites single copies, so those stay apart.
    if (!layout.isRecAllele)
        data.X.Pack();
    if (data.ids.empty())
        data.ids = PositionIds(layout.N);
    CheckObservedAlleles(data, layout.File);
}

SDataLayout OrdinaryLayout(const std::string& File, int N, int A, int L, int nd, int ER, int EC,
                           int nbQualVar, int nbQuantVar, int trendDegree, int nb_var_regr,
                           bool specialFormat, bool isRecAllele, bool bbase) {
    SDataLayout layout;
    layout.File = File;
    layout.N = N;
    layout.A = A;
    layout.L = L;
    layout.nd = nd;
    layout.ER = ER;
    layout.EC = EC;
    layout.nbQualVar = nbQualVar;
    layout.nbQuantVar = nbQuantVar;
    layout.trendDegree = trendDegree;
    layout.nb_var_regr = nb_var_regr;
    layout.specialFormat = specialFormat;
    layout.isRecAllele = isRecAllele;
    layout.bbase = bbase;
    return layout;
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

void CheckClusterCount(int K, const SDataLayout& layout, bool admixture) {
    if (!admixture && K > layout.N)
        RefuseInput("The number of clusters (-K" + std::to_string(K) + ") must not exceed the " +
                    std::to_string(layout.N) + " individuals of the data (-N" +
                    std::to_string(layout.N) + "): each individual belongs to one cluster.");
    const long long copies = static_cast<long long>(layout.N) * layout.A;
    if (K > copies)
        RefuseInput("The number of clusters (-K" + std::to_string(K) + ") must not exceed the " +
                    std::to_string(copies) + " allele copies of the data (-N" +
                    std::to_string(layout.N) + " x -A" + std::to_string(layout.A) + ").");
}

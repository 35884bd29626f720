#include "io/GenotypeStore.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <type_traits>

#include "core/MiscUtilities.h"

namespace {

// Loci with more alleles than this find a code through a hash table while
// the store is filled; shorter lists are searched in order.
constexpr size_t kLookupFrom = 16;

}  // namespace

CGenotypeStore::CGenotypeStore(int N, int A, int L)
    : m_nN(std::max(N, 0)),
      m_nA(std::max(A, 0)),
      m_nL(std::max(L, 0)),
      m_vNarrow(Copies(), kNarrowMissing),
      m_vvAlleles(m_nL),
      m_vLookup(m_nL),
      m_vnMissingCode(m_nL, 0) {}

CGenotypeStore CGenotypeStore::FromCodes(const INT_VCTR_3D& X) {
    const int N = static_cast<int>(X.size());
    const int A = N > 0 ? static_cast<int>(X[0].size()) : 0;
    const int L = A > 0 ? static_cast<int>(X[0][0].size()) : 0;
    CGenotypeStore store(N, A, L);
    for (int i = 0; i < N; ++i) {
        if (static_cast<int>(X[i].size()) != A)
            RefuseInput("Genotypes of individuals of different shapes - CGenotypeStore");
        for (int a = 0; a < A; ++a) {
            if (static_cast<int>(X[i][a].size()) != L)
                RefuseInput("Genotypes of individuals of different shapes - CGenotypeStore");
            for (int l = 0; l < L; ++l)
                store.Put(i, a, l, X[i][a][l]);
        }
    }
    store.Finish();
    return store;
}

// ---------------------------------------------------------------------------
// Filling

void CGenotypeStore::Store(size_t copy, int index) {
    if (m_bWide)
        m_vWide[copy] = index < 0 ? kWideMissing : static_cast<uint16_t>(index);
    else
        m_vNarrow[copy] = index < 0 ? kNarrowMissing : static_cast<uint8_t>(index);
}

void CGenotypeStore::Widen() {
    m_vWide.resize(m_vNarrow.size());
    for (size_t c = 0; c < m_vNarrow.size(); ++c)
        m_vWide[c] = m_vNarrow[c] == kNarrowMissing ? kWideMissing : m_vNarrow[c];
    std::vector<uint8_t>().swap(m_vNarrow);
    m_bWide = true;
}

int CGenotypeStore::AlleleSlot(int l, int code) {
    INT_VCTR_1D& list = m_vvAlleles[l];
    std::unordered_map<int, int>& lookup = m_vLookup[l];
    if (!lookup.empty()) {
        const auto found = lookup.find(code);
        if (found != lookup.end())
            return found->second;
    } else {
        for (size_t j = 0; j < list.size(); ++j)
            if (list[j] == code)
                return static_cast<int>(j);
    }
    const int j = static_cast<int>(list.size());
    if (j >= kMaxAlleles)
        RefuseInput("Locus " + std::to_string(l + 1) + " holds more than " +
                    std::to_string(kMaxAlleles) + " distinct allele codes - CGenotypeStore");
    if (j == kNarrowMissing && !m_bWide)
        Widen();
    if (j > 0 && list.back() > code)
        m_bSorted = false;
    list.push_back(code);
    if (list.size() == kLookupFrom)
        for (size_t s = 0; s < list.size(); ++s)
            lookup.emplace(list[s], static_cast<int>(s));
    else if (!lookup.empty())
        lookup.emplace(code, j);
    return j;
}

void CGenotypeStore::NoteMissingCode(size_t copy, int l, int code) {
    int& first = m_vnMissingCode[l];
    if (first == 0)
        first = code;
    else if (code != first)
        m_vOtherMissing.emplace_back(copy, code);
}

void CGenotypeStore::Put(int i, int a, int l, int code) {
    if (m_bPacked)
        RefuseInput("Internal error: copy-wise filling of a packed store - CGenotypeStore");
    const size_t copy = CopyIndex(i, a, l);
    if (code < 0) {
        Store(copy, kMissing);
        NoteMissingCode(copy, l, code);
        return;
    }
    Store(copy, AlleleSlot(l, code));
}

void CGenotypeStore::Finish() {
    m_vLookup.assign(m_nL, std::unordered_map<int, int>());
    std::sort(m_vOtherMissing.begin(), m_vOtherMissing.end());
    if (m_bSorted)
        return;
    if (m_bPacked) {
        for (int l = 0; l < m_nL; ++l)
            if (m_vvAlleles[l].size() == 2 && m_vvAlleles[l][0] > m_vvAlleles[l][1])
                SwapPackedAlleles(l);
        m_bSorted = true;
        return;
    }
    // New index of each old one, for the loci whose list was not in order.
    std::vector<std::vector<uint16_t>> renumber(m_nL);
    for (int l = 0; l < m_nL; ++l) {
        INT_VCTR_1D& list = m_vvAlleles[l];
        if (std::is_sorted(list.begin(), list.end()))
            continue;
        INT_VCTR_1D order(list.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int x, int y) { return list[x] < list[y]; });
        renumber[l].resize(list.size());
        INT_VCTR_1D sorted(list.size());
        for (size_t s = 0; s < order.size(); ++s) {
            renumber[l][order[s]] = static_cast<uint16_t>(s);
            sorted[s] = list[order[s]];
        }
        list.swap(sorted);
    }
    const size_t rows = static_cast<size_t>(m_nN) * m_nA;
    auto apply = [&](auto* index) {
        using T = std::remove_pointer_t<decltype(index)>;
        for (size_t row = 0; row < rows; ++row, index += m_nL)
            for (int l = 0; l < m_nL; ++l)
                if (!renumber[l].empty() && index[l] != MissingMarker<T>())
                    index[l] = static_cast<T>(renumber[l][index[l]]);
    };
    if (m_bWide)
        apply(m_vWide.data());
    else
        apply(m_vNarrow.data());
    m_bSorted = true;
}

// ---------------------------------------------------------------------------
// Reading

int CGenotypeStore::Code(int i, int a, int l) const {
    const size_t copy = CopyIndex(i, a, l);
    const int j = IndexAt(copy);
    if (j != kMissing)
        return m_vvAlleles[l][j];
    if (!m_vOtherMissing.empty()) {
        const auto other = std::lower_bound(m_vOtherMissing.begin(), m_vOtherMissing.end(),
                                            std::make_pair(copy, std::numeric_limits<int>::min()));
        if (other != m_vOtherMissing.end() && other->first == copy)
            return other->second;
    }
    return m_vnMissingCode[l] < 0 ? m_vnMissingCode[l] : -1;
}

INT_VCTR_2D CGenotypeStore::Codes(int i) const {
    INT_VCTR_2D codes(m_nA, INT_VCTR_1D(m_nL, 0));
    for (int a = 0; a < m_nA; ++a)
        for (int l = 0; l < m_nL; ++l)
            codes[a][l] = Code(i, a, l);
    return codes;
}

INT_VCTR_3D CGenotypeStore::ToCodes() const {
    INT_VCTR_3D X;
    X.reserve(m_nN);
    for (int i = 0; i < m_nN; ++i)
        X.push_back(Codes(i));
    return X;
}

INT_VCTR_1D CGenotypeStore::AlleleCounts() const {
    INT_VCTR_1D J;
    J.reserve(m_nL);
    for (const INT_VCTR_1D& list : m_vvAlleles)
        J.push_back(static_cast<int>(list.size()));
    return J;
}

int CGenotypeStore::FindAllele(int l, int code) const {
    const INT_VCTR_1D& list = m_vvAlleles[l];
    const auto it = std::lower_bound(list.begin(), list.end(), code);
    return it != list.end() && *it == code ? static_cast<int>(it - list.begin()) : kMissing;
}

// ---------------------------------------------------------------------------
// Rewriting and parts

void CGenotypeStore::SetIndex(int i, int a, int l, int j) {
    if (m_bPacked)
        RefuseInput("Internal error: copy-wise rewriting of a packed store - CGenotypeStore");
    Store(CopyIndex(i, a, l), j);
}

CGenotypeStore CGenotypeStore::EmptyLike(int N, int L) const {
    CGenotypeStore part;
    part.m_nN = N;
    part.m_nA = m_nA;
    part.m_nL = L;
    part.m_vLookup.resize(L);
    return part;
}

CGenotypeStore CGenotypeStore::SelectIndividuals(const INT_VCTR_1D& rows) const {
    if (m_bPacked) {
        CGenotypeStore part = Packed(static_cast<int>(rows.size()), m_nL);
        part.m_vvAlleles = m_vvAlleles;
        part.m_vnMissingCode = m_vnMissingCode;
        for (size_t r = 0; r < rows.size(); ++r)
            std::copy_n(Row(rows[r]), m_nWords, part.m_vPacked.begin() + r * m_nWords);
        CopyOtherMissing(rows, part);
        return part;
    }
    CGenotypeStore part = EmptyLike(static_cast<int>(rows.size()), m_nL);
    part.m_vvAlleles = m_vvAlleles;
    part.m_vnMissingCode = m_vnMissingCode;
    part.m_bWide = m_bWide;
    const size_t block = static_cast<size_t>(m_nA) * m_nL;
    if (m_bWide)
        part.m_vWide.resize(part.Copies());
    else
        part.m_vNarrow.resize(part.Copies());
    for (size_t r = 0; r < rows.size(); ++r) {
        const size_t from = rows[r] * block, to = r * block;
        if (m_bWide)
            std::copy_n(m_vWide.begin() + from, block, part.m_vWide.begin() + to);
        else
            std::copy_n(m_vNarrow.begin() + from, block, part.m_vNarrow.begin() + to);
    }
    CopyOtherMissing(rows, part);
    return part;
}

void CGenotypeStore::CopyOtherMissing(const INT_VCTR_1D& rows, CGenotypeStore& part) const {
    const size_t block = static_cast<size_t>(m_nA) * m_nL;
    for (size_t r = 0; r < rows.size(); ++r) {
        const size_t from = rows[r] * block, to = r * block;
        auto other = std::lower_bound(m_vOtherMissing.begin(), m_vOtherMissing.end(),
                                      std::make_pair(from, std::numeric_limits<int>::min()));
        for (; other != m_vOtherMissing.end() && other->first < from + block; ++other)
            part.m_vOtherMissing.emplace_back(to + (other->first - from), other->second);
    }
    std::sort(part.m_vOtherMissing.begin(), part.m_vOtherMissing.end());
}

CGenotypeStore CGenotypeStore::SelectLoci(const INT_VCTR_1D& loci) const {
    const int L = static_cast<int>(loci.size());
    CGenotypeStore part = m_bPacked ? Packed(m_nN, L) : EmptyLike(m_nN, L);
    part.m_vvAlleles.clear();
    part.m_vnMissingCode.resize(L);
    std::vector<INT_VCTR_1D> positions(m_nL);  // where each locus goes
    for (int m = 0; m < L; ++m) {
        part.m_vvAlleles.push_back(m_vvAlleles[loci[m]]);
        part.m_vnMissingCode[m] = m_vnMissingCode[loci[m]];
        part.m_bWide = part.m_bWide || J(loci[m]) > kNarrowMissing;
        positions[loci[m]].push_back(m);
    }
    if (m_bPacked) {
        for (int i = 0; i < m_nN; ++i) {
            uint64_t* row = part.m_vPacked.data() + i * part.m_nWords;
            std::fill(row, row + part.m_nWords, 0);
            for (int m = 0; m < L; ++m)
                row[m / kLociPerWord] |= static_cast<uint64_t>(Genotype(i, loci[m]))
                                         << (2 * (m % kLociPerWord));
        }
    } else {
        if (part.m_bWide)
            part.m_vWide.resize(part.Copies());
        else
            part.m_vNarrow.resize(part.Copies());
        const size_t rows = static_cast<size_t>(m_nN) * m_nA;
        for (size_t row = 0; row < rows; ++row)
            for (int m = 0; m < L; ++m)
                part.Store(row * L + m, IndexAt(row * m_nL + loci[m]));
    }
    for (const auto& other : m_vOtherMissing) {
        const size_t row = other.first / m_nL;
        for (int m : positions[other.first % m_nL])
            part.m_vOtherMissing.emplace_back(row * L + m, other.second);
    }
    std::sort(part.m_vOtherMissing.begin(), part.m_vOtherMissing.end());
    return part;
}

// ---------------------------------------------------------------------------
// Packed layout

namespace {

// Words of a row of L genotypes.
size_t WordsFor(int L) {
    return (static_cast<size_t>(std::max(L, 0)) + CGenotypeStore::kLociPerWord - 1) /
           CGenotypeStore::kLociPerWord;
}

// The genotype values of the 32 loci of a word, one byte each.
void UnpackWord(uint64_t word, uint8_t* out) {
    for (int c = 0; c < CGenotypeStore::kLociPerWord; ++c)
        out[c] = static_cast<uint8_t>((word >> (2 * c)) & 3);
}

}  // namespace

CGenotypeStore CGenotypeStore::Packed(int N, int L) {
    CGenotypeStore store;
    store.m_nN = std::max(N, 0);
    store.m_nA = 2;
    store.m_nL = std::max(L, 0);
    store.m_bPacked = true;
    store.m_nWords = WordsFor(store.m_nL);
    store.m_vvAlleles.resize(store.m_nL);
    store.m_vLookup.resize(store.m_nL);
    store.m_vnMissingCode.assign(store.m_nL, 0);
    // Every genotype missing (3), the bits past the last locus 0.
    store.m_vPacked.assign(static_cast<size_t>(store.m_nN) * store.m_nWords, ~0ULL);
    const int tail = store.m_nL % kLociPerWord;
    if (tail != 0)
        for (int i = 0; i < store.m_nN; ++i)
            store.m_vPacked[(i + 1) * store.m_nWords - 1] = (1ULL << (2 * tail)) - 1;
    return store;
}

size_t CGenotypeStore::GenotypeBytes() const {
    if (m_bPacked)
        return m_vPacked.size() * sizeof(uint64_t);
    return m_bWide ? m_vWide.size() * 2 : m_vNarrow.size();
}

void CGenotypeStore::PutLoci(int first, int count, const uint8_t* values) {
    const size_t w = static_cast<size_t>(first) / kLociPerWord;
    const uint64_t keep = count >= kLociPerWord ? 0 : ~0ULL << (2 * count);
    for (int i = 0; i < m_nN; ++i) {
        uint64_t bits = 0;
        for (int c = count - 1; c >= 0; --c)
            bits = bits << 2 | (values[static_cast<size_t>(c) * m_nN + i] & 3);
        uint64_t& word = m_vPacked[i * m_nWords + w];
        word = (word & keep) | bits;
    }
    m_bSorted = false;
}

// Allele 0 of locus l becomes allele 1 and the other way round: 2 - g for
// every observed genotype.
void CGenotypeStore::SwapPackedAlleles(int l) {
    std::swap(m_vvAlleles[l][0], m_vvAlleles[l][1]);
    const size_t w = static_cast<size_t>(l) / kLociPerWord;
    const int shift = 2 * (l % kLociPerWord);
    for (int i = 0; i < m_nN; ++i) {
        uint64_t& word = m_vPacked[i * m_nWords + w];
        const int g = static_cast<int>(word >> shift) & 3;
        if (g != kMissingGenotype)
            word ^= static_cast<uint64_t>(g ^ (2 - g)) << shift;
    }
}

bool CGenotypeStore::CanPack() const {
    if (m_bPacked)
        return true;
    if (m_nA != 2 || m_bWide || empty())
        return false;
    for (const INT_VCTR_1D& list : m_vvAlleles)
        if (list.size() > 2)
            return false;
    const size_t rows = static_cast<size_t>(m_nN) * m_nA;
    for (size_t row = 0; row < rows; row += 2) {
        const uint8_t* c0 = m_vNarrow.data() + row * m_nL;
        const uint8_t* c1 = c0 + m_nL;
        for (int l = 0; l < m_nL; ++l)
            if ((c0[l] == kNarrowMissing) != (c1[l] == kNarrowMissing))
                return false;
    }
    return true;
}

void CGenotypeStore::PackFromCopies() {
    m_nWords = WordsFor(m_nL);
    m_vPacked.assign(static_cast<size_t>(m_nN) * m_nWords, 0);
    for (int i = 0; i < m_nN; ++i) {
        const uint8_t* c0 = m_vNarrow.data() + CopyIndex(i, 0, 0);
        const uint8_t* c1 = c0 + m_nL;
        uint64_t* row = m_vPacked.data() + i * m_nWords;
        for (int l = 0; l < m_nL; ++l) {
            const uint64_t g = c0[l] == kNarrowMissing ? kMissingGenotype : c0[l] + c1[l];
            row[l / kLociPerWord] |= g << (2 * (l % kLociPerWord));
        }
    }
    std::vector<uint8_t>().swap(m_vNarrow);
    m_bPacked = true;
}

bool CGenotypeStore::Pack() {
    if (!m_bPacked && CanPack())
        PackFromCopies();
    return m_bPacked;
}

std::vector<uint8_t> CGenotypeStore::ExpandIndices() const {
    std::vector<uint8_t> out(Copies());
    uint8_t values[kLociPerWord];
    for (int i = 0; i < m_nN; ++i) {
        uint8_t* c0 = out.data() + CopyIndex(i, 0, 0);
        uint8_t* c1 = c0 + m_nL;
        const uint64_t* row = Row(i);
        for (size_t w = 0; w < m_nWords; ++w) {
            UnpackWord(row[w], values);
            const int first = static_cast<int>(w) * kLociPerWord;
            const int last = std::min(m_nL, first + kLociPerWord);
            for (int l = first; l < last; ++l) {
                const int g = values[l - first];
                c0[l] = g == kMissingGenotype ? kNarrowMissing : static_cast<uint8_t>(g >> 1);
                c1[l] = g == kMissingGenotype ? kNarrowMissing : static_cast<uint8_t>((g + 1) >> 1);
            }
        }
    }
    return out;
}

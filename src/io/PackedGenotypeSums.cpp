#include "io/PackedGenotypeSums.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/ThreadPool.h"

namespace {

// A byte of a row holds four genotypes. For each byte value, the four
// loci's allele-1 copies and observed flags, one per byte of a 32-bit word:
// words of these add up to 127 individuals before a lane may overflow.
struct SByteLanes {
    std::array<uint32_t, 256> allele1{}, observed{};
    SByteLanes() {
        for (int v = 0; v < 256; ++v)
            for (int c = 0; c < 4; ++c) {
                const uint32_t g = (v >> (2 * c)) & 3;
                if (g == CGenotypeStore::kMissingGenotype)
                    continue;
                allele1[v] |= g << (8 * c);
                observed[v] |= 1u << (8 * c);
            }
    }
};

const SByteLanes& Lanes() {
    static const SByteLanes lanes;
    return lanes;
}

constexpr int kLaneCapacity = 127;  // individuals a lane of 8 bits holds

const uint8_t* RowBytes(const CGenotypeStore& X, int i) {
    return reinterpret_cast<const uint8_t*>(X.Row(i));
}

// Adds the lanes of group k to the counts and clears them.
void FlushLanes(uint32_t* a1, uint32_t* ob, int nBytes, int firstLocus, int L, int* observed,
                int* allele1) {
    for (int b = 0; b < nBytes; ++b) {
        const int l0 = firstLocus + 4 * b;
        for (int c = 0; c < 4 && l0 + c < L; ++c) {
            allele1[l0 + c] += (a1[b] >> (8 * c)) & 255;
            observed[l0 + c] += (ob[b] >> (8 * c)) & 255;
        }
        a1[b] = 0;
        ob[b] = 0;
    }
}

// Loci per block of the sums: the byte tables of a block (64 bytes x 256
// values x K) stay in the cache while every individual reads them.
constexpr int kBytesPerBlock = 64;

// next[(g * values + v) * K + k] = before[v * K + k] + t[g * K + k]: the
// sums of `values` byte values of the loci so far extended by the next
// locus's four genotype values (the higher bits of the byte); t null for a
// locus past the last, which adds nothing.
void ExtendByLocus(const double* before, int values, const double* t, int K, double* next) {
    for (int g = 0; g < 4; ++g)
        for (int v = 0; v < values; ++v) {
            const double* in = before + static_cast<size_t>(v) * K;
            double* out = next + (static_cast<size_t>(g) * values + v) * K;
            if (t == nullptr)
                std::copy(in, in + K, out);
            else
                for (int k = 0; k < K; ++k)
                    out[k] = in[k] + t[g * K + k];
        }
}

// table4[(b * 256 + v) * K + k]: the sum of the values of the four loci of
// byte b of the block for the byte value v, added in locus order
// ((v0 + v1) + v2) + v3. Built a locus at a time over the 16, 64 and 256
// values of the first two, three and four loci: 336 K additions a byte
// where adding each locus to all 256 values takes 1024 K.
void BuildByteTables(const double* table, int K, int firstLocus, int nBytes, int L,
                     double* table4) {
    std::vector<double> two(static_cast<size_t>(16) * K), three(static_cast<size_t>(64) * K);
    const auto values = [&](int l) {
        return l < L ? table + static_cast<size_t>(l) * 4 * K : nullptr;
    };
    for (int b = 0; b < nBytes; ++b) {
        const int l0 = firstLocus + 4 * b;
        ExtendByLocus(values(l0), 4, values(l0 + 1), K, two.data());
        ExtendByLocus(two.data(), 16, values(l0 + 2), K, three.data());
        ExtendByLocus(three.data(), 64, values(l0 + 3), K,
                      table4 + static_cast<size_t>(b) * 256 * K);
    }
}

// Rows are summed four at a time: each row's additions keep their order,
// and the four chains of additions run side by side instead of each waiting
// on its last addition.
template <int KK>
void SumRowsFixedK(const CGenotypeStore& X, const double* table4, int byte0, int nBytes,
                   int firstRow, int lastRow, double* out) {
    constexpr int kRows = 4;
    int i = firstRow;
    for (; i + kRows <= lastRow; i += kRows) {
        const uint8_t* bytes[kRows];
        for (int r = 0; r < kRows; ++r)
            bytes[r] = RowBytes(X, i + r) + byte0;
        double acc[kRows][KK] = {};
        for (int b = 0; b < nBytes; ++b) {
            const double* block = table4 + static_cast<size_t>(b) * 256 * KK;
            for (int r = 0; r < kRows; ++r) {
                const double* t = block + static_cast<size_t>(bytes[r][b]) * KK;
                for (int k = 0; k < KK; ++k)
                    acc[r][k] += t[k];
            }
        }
        for (int r = 0; r < kRows; ++r) {
            double* o = out + static_cast<size_t>(i + r - firstRow) * KK;
            for (int k = 0; k < KK; ++k)
                o[k] += acc[r][k];
        }
    }
    for (; i < lastRow; ++i) {
        const uint8_t* bytes = RowBytes(X, i) + byte0;
        double acc[KK] = {};
        for (int b = 0; b < nBytes; ++b) {
            const double* t = table4 + (static_cast<size_t>(b) * 256 + bytes[b]) * KK;
            for (int k = 0; k < KK; ++k)
                acc[k] += t[k];
        }
        double* o = out + static_cast<size_t>(i - firstRow) * KK;
        for (int k = 0; k < KK; ++k)
            o[k] += acc[k];
    }
}

// As SumRowsFixedK: the sum of the block from 0, then added to out (the
// parallel form relies on that order).
void SumRowsAnyK(const CGenotypeStore& X, const double* table4, int K, int byte0, int nBytes,
                 int firstRow, int lastRow, double* out) {
    std::vector<double> acc(K);
    for (int i = firstRow; i < lastRow; ++i) {
        const uint8_t* bytes = RowBytes(X, i) + byte0;
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int b = 0; b < nBytes; ++b) {
            const double* t = table4 + (static_cast<size_t>(b) * 256 + bytes[b]) * K;
            for (int k = 0; k < K; ++k)
                acc[k] += t[k];
        }
        double* o = out + static_cast<size_t>(i - firstRow) * K;
        for (int k = 0; k < K; ++k)
            o[k] += acc[k];
    }
}

void SumRows(const CGenotypeStore& X, const double* table4, int K, int byte0, int nBytes,
             int firstRow, int lastRow, double* out) {
    switch (K) {
        case 1:
            return SumRowsFixedK<1>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        case 2:
            return SumRowsFixedK<2>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        case 3:
            return SumRowsFixedK<3>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        case 4:
            return SumRowsFixedK<4>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        case 5:
            return SumRowsFixedK<5>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        case 6:
            return SumRowsFixedK<6>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        case 8:
            return SumRowsFixedK<8>(X, table4, byte0, nBytes, firstRow, lastRow, out);
        default:
            return SumRowsAnyK(X, table4, K, byte0, nBytes, firstRow, lastRow, out);
    }
}

}  // namespace

SWordRange AllWords(const CGenotypeStore& X) {
    return {0, static_cast<int>(X.Words())};
}

namespace {

// The counts of the individuals firstRow .. lastRow - 1 alone.
void CountPackedRows(const CGenotypeStore& X, const int* group, int K, SWordRange range,
                     int firstRow, int lastRow, int* observed, int* allele1,
                     std::vector<uint32_t>& work) {
    const int L = X.L();
    const int firstLocus = range.firstWord * CGenotypeStore::kLociPerWord;
    const int lastLocus = std::min(range.lastWord * CGenotypeStore::kLociPerWord, L);
    for (int k = 0; k < K; ++k) {
        std::fill(observed + static_cast<size_t>(k) * L + firstLocus,
                  observed + static_cast<size_t>(k) * L + lastLocus, 0);
        std::fill(allele1 + static_cast<size_t>(k) * L + firstLocus,
                  allele1 + static_cast<size_t>(k) * L + lastLocus, 0);
    }
    const int byte0 = range.firstWord * 8;
    const int nBytes = (range.lastWord - range.firstWord) * 8;
    if (nBytes <= 0)
        return;
    // Lanes of each group: allele-1 words then observed words, and the
    // individuals added since their last flush.
    work.assign(static_cast<size_t>(K) * 2 * nBytes + K, 0);
    uint32_t* pending = work.data() + static_cast<size_t>(K) * 2 * nBytes;
    const SByteLanes& lanes = Lanes();
    const auto flush = [&](int k) {
        uint32_t* a1 = work.data() + static_cast<size_t>(k) * 2 * nBytes;
        FlushLanes(a1, a1 + nBytes, nBytes, firstLocus, L, observed + static_cast<size_t>(k) * L,
                   allele1 + static_cast<size_t>(k) * L);
        pending[k] = 0;
    };
    for (int i = firstRow; i < lastRow; ++i) {
        const int k = group[i];
        if (k < 0)
            continue;
        const uint8_t* bytes = RowBytes(X, i) + byte0;
        uint32_t* a1 = work.data() + static_cast<size_t>(k) * 2 * nBytes;
        uint32_t* ob = a1 + nBytes;
        for (int b = 0; b < nBytes; ++b) {
            a1[b] += lanes.allele1[bytes[b]];
            ob[b] += lanes.observed[bytes[b]];
        }
        if (++pending[k] == kLaneCapacity)
            flush(k);
    }
    for (int k = 0; k < K; ++k)
        if (pending[k] > 0)
            flush(k);
}

}  // namespace

void CountPackedAlleles(const CGenotypeStore& X, const int* group, int K, SWordRange range,
                        int* observed, int* allele1, std::vector<uint32_t>& work) {
    CountPackedRows(X, group, K, range, 0, X.N(), observed, allele1, work);
}

void SumPackedGenotypeValues(const CGenotypeStore& X, const double* table, int K, int firstRow,
                             int lastRow, double* out, std::vector<double>& work) {
    std::fill(out, out + static_cast<size_t>(lastRow - firstRow) * K, 0.0);
    const int L = X.L();
    const int totalBytes = static_cast<int>(X.Words()) * 8;
    work.resize(static_cast<size_t>(kBytesPerBlock) * 256 * K);
    for (int byte0 = 0; byte0 < totalBytes && 4 * byte0 < L; byte0 += kBytesPerBlock) {
        const int nBytes = std::min(kBytesPerBlock, (L - 4 * byte0 + 3) / 4);
        BuildByteTables(table, K, 4 * byte0, nBytes, L, work.data());
        SumRows(X, work.data(), K, byte0, nBytes, firstRow, lastRow, out);
    }
}

namespace {

// Individuals a share of the parallel counts takes at the least.
constexpr int kCountRowsPerShare = 64;
// Blocks of loci of the parallel sums run in one go: their partial sums
// (rows x K each) are kept until they are added in order.
constexpr int kSumBlocksPerRound = 16;

bool Serial(const CThreadPool* pool) {
    return pool == nullptr || pool->Threads() <= 1;
}

}  // namespace

void CountPackedAlleles(const CGenotypeStore& X, const int* group, int K, int* observed,
                        int* allele1, std::vector<uint32_t>& work, CThreadPool* pool) {
    const int N = X.N();
    const int shares = Serial(pool) ? 1 : std::min(pool->Threads(), N / kCountRowsPerShare);
    if (shares <= 1) {
        CountPackedAlleles(X, group, K, AllWords(X), observed, allele1, work);
        return;
    }
    // Each thread's share of the individuals is counted over whole rows,
    // read as the serial form reads them (a block of loci would read a few
    // bytes of every row, the row after row strides costing more than the
    // counting); share 0 into the outputs, the others into work, then
    // added. The counts are integers: they do not depend on the shares.
    const size_t KL = static_cast<size_t>(K) * X.L();
    work.assign(2 * KL * (shares - 1), 0);
    pool->ParallelFor(shares, [&](int c) {
        thread_local std::vector<uint32_t> lanes;
        int* ob = c == 0 ? observed : reinterpret_cast<int*>(work.data() + 2 * KL * (c - 1));
        int* a1 = c == 0 ? allele1 : ob + KL;
        const int first = static_cast<int>(static_cast<long>(N) * c / shares);
        const int last = static_cast<int>(static_cast<long>(N) * (c + 1) / shares);
        CountPackedRows(X, group, K, AllWords(X), first, last, ob, a1, lanes);
    });
    for (int c = 1; c < shares; ++c) {
        const int* ob = reinterpret_cast<const int*>(work.data() + 2 * KL * (c - 1));
        const int* a1 = ob + KL;
        for (size_t v = 0; v < KL; ++v) {
            observed[v] += ob[v];
            allele1[v] += a1[v];
        }
    }
}

void SumPackedGenotypeValues(const CGenotypeStore& X, const double* table, int K, int firstRow,
                             int lastRow, double* out, std::vector<double>& work,
                             CThreadPool* pool) {
    const int L = X.L();
    const int blocks = (L + 4 * kBytesPerBlock - 1) / (4 * kBytesPerBlock);
    if (Serial(pool) || blocks <= 1) {
        SumPackedGenotypeValues(X, table, K, firstRow, lastRow, out, work);
        return;
    }
    const size_t rows = static_cast<size_t>(lastRow - firstRow);
    const size_t block = rows * K;
    std::fill(out, out + block, 0.0);
    // work: the partial sums of the blocks of one round, each the sum over
    // its loci from 0 as the serial form makes it, then added to out in
    // block order as the serial form adds them.
    work.assign(block * kSumBlocksPerRound, 0.0);
    for (int first = 0; first < blocks; first += kSumBlocksPerRound) {
        const int count = std::min(kSumBlocksPerRound, blocks - first);
        // Each thread takes a run of consecutive blocks: it reads the
        // consecutive bytes of every row.
        const int shares = std::min(pool->Threads(), count);
        pool->ParallelFor(shares, [&](int t) {
            thread_local std::vector<double> table4;
            table4.resize(static_cast<size_t>(kBytesPerBlock) * 256 * K);
            for (int c = count * t / shares; c < count * (t + 1) / shares; ++c) {
                const int byte0 = (first + c) * kBytesPerBlock;
                const int nBytes = std::min(kBytesPerBlock, (L - 4 * byte0 + 3) / 4);
                double* partial = work.data() + c * block;
                std::fill(partial, partial + block, 0.0);
                BuildByteTables(table, K, 4 * byte0, nBytes, L, table4.data());
                SumRows(X, table4.data(), K, byte0, nBytes, firstRow, lastRow, partial);
            }
        });
        for (int c = 0; c < count; ++c) {
            const double* partial = work.data() + c * block;
            for (size_t v = 0; v < block; ++v)
                out[v] += partial[v];
        }
    }
}

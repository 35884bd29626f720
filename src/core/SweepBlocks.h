// The items of a sweep's draws (its loci, or its individuals) cut into
// blocks whose size the data alone fixes, never the number of threads. Each
// block is one task of the thread pool and draws from a generator stream of
// its own (RandomStreams.h), so a sweep makes the same draws on any number
// of threads; sums over the blocks are added by the caller in block order.
#ifndef BRELO_CORE_SWEEPBLOCKS_H
#define BRELO_CORE_SWEEPBLOCKS_H

#include <algorithm>
#include <vector>

#include "core/RandomStreams.h"
#include "core/ThreadPool.h"

// Items first .. last-1 of one block.
struct SBlockRange {
    int first = 0, last = 0;
};

class CBlockRanges {
  public:
    CBlockRanges() = default;
    // items in blocks of perBlock (at least 1), the last one shorter.
    CBlockRanges(int items, int perBlock)
        : m_nItems(std::max(items, 0)), m_nPerBlock(std::max(perBlock, 1)) {}

    int Count() const { return (m_nItems + m_nPerBlock - 1) / m_nPerBlock; }
    int PerBlock() const { return m_nPerBlock; }
    SBlockRange operator[](int b) const {
        return {b * m_nPerBlock, std::min(m_nItems, (b + 1) * m_nPerBlock)};
    }

  private:
    int m_nItems = 0;
    int m_nPerBlock = 1;
};

// body(b, range) for every block b: on the pool's threads when there is a
// pool and more than one block, else in block order on the caller.
template <class Body>
void ForEachBlock(CThreadPool* pool, const CBlockRanges& blocks, const Body& body) {
    const int n = blocks.Count();
    if (pool == nullptr || pool->Threads() == 1 || n <= 1) {
        for (int b = 0; b < n; ++b)
            body(b, blocks[b]);
        return;
    }
    pool->ParallelFor(n, [&](int b) { body(b, blocks[b]); });
}

// The two kinds of blocks of a replica's sweep take disjoint ranges of block
// stream ids: blocks of loci 0, 1, ...; blocks of individuals from
// kIndividualBlockIds on.
enum class EBlockItems { Loci, Individuals };
constexpr int kIndividualBlockIds = 1 << 30;

// The generator streams of count blocks of the given items of replica r of
// the run seeded with runSeed.
std::vector<CRandomStream> BlockStreams(unsigned long runSeed, int replica, EBlockItems items,
                                        int count);

#endif

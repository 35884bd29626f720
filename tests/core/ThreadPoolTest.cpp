// The thread pool (every index once, nested loops on any number of threads),
// the blocks of a sweep, the derivation of generator streams, and the
// replica exchange giving the same states whatever the number of threads.
#include "core/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <vector>

#include "core/RandomStreams.h"
#include "core/ReplicaExchange.h"
#include "core/SweepBlocks.h"

TEST(ThreadPool, RunsEveryIndexOnceOnAnyNumberOfThreads) {
    for (int threads : {1, 2, 4}) {
        CThreadPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        for (int n : {0, 1, 3, 1000}) {
            std::vector<std::atomic<int>> runs(n);
            pool.ParallelFor(n, [&](int i) { runs[i].fetch_add(1); });
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(runs[i].load(), 1) << threads << " threads, n = " << n << ", i = " << i;
        }
    }
    EXPECT_GE(ThreadsFromOption(0), 1);
    EXPECT_EQ(ThreadsFromOption(3), 3);
}

TEST(ThreadPool, NestedLoopsFinishAndGiveTheSameSums) {
    // Outer loops (replicas) whose bodies open inner loops (blocks), more
    // outer indices than threads and fewer: a nested wait that could not be
    // served would hang here. Each inner index writes its own slot; the sums
    // are made in index order after the loops.
    const int outer = 5, inner = 64;
    std::vector<double> reference;
    for (int threads : {1, 2, 3, 8}) {
        CThreadPool pool(threads);
        std::vector<double> sums(outer, 0.0);
        for (int repeat = 0; repeat < 20; ++repeat) {
            std::vector<std::vector<double>> parts(outer, std::vector<double>(inner));
            pool.ParallelFor(outer, [&](int r) {
                pool.ParallelFor(inner, [&](int b) {
                    double x = 0.0;
                    for (int t = 0; t < 200; ++t)
                        x += std::sin(r * 1000.0 + b * 10.0 + t);
                    parts[r][b] = x;
                });
                for (int b = 0; b < inner; ++b)
                    sums[r] += parts[r][b];
            });
        }
        if (reference.empty())
            reference = sums;
        EXPECT_EQ(sums, reference) << threads << " threads";
    }
}

TEST(RandomStreams, StreamZeroIsTheRunSeedAndOthersAreDistinct) {
    for (unsigned long seed : {0UL, 1UL, 12345UL, 0xFFFFFFFFUL}) {
        EXPECT_EQ(DeriveStreamSeed(seed, 0), seed);
        std::set<unsigned long> seeds;
        for (int r = 1; r < 200; ++r) {
            seeds.insert(DeriveStreamSeed(seed, ReplicaStreamId(r)));
            for (int b = 0; b < 5; ++b)
                seeds.insert(DeriveStreamSeed(seed, BlockStreamId(r, b)));
        }
        seeds.insert(DeriveStreamSeed(seed, kExchangeStreamId));
        EXPECT_EQ(seeds.size(), 199u * 6 + 1) << "seed " << seed;
        EXPECT_EQ(seeds.count(0), 0u);
        EXPECT_LE(*seeds.rbegin(), 0xFFFFFFFFUL);
    }
    // Neighbouring run seeds (the runs of a series) give unrelated streams.
    EXPECT_NE(DeriveStreamSeed(7, 1), DeriveStreamSeed(8, 1));
    EXPECT_NE(DeriveStreamSeed(7, 1) + 1, DeriveStreamSeed(8, 1));
    CRandomStream a(99, 3), b(99, 3);
    EXPECT_EQ(gsl_rng_get(a.get()), gsl_rng_get(b.get()));
    CRandomStream moved = std::move(a);
    EXPECT_EQ(gsl_rng_get(moved.get()), gsl_rng_get(b.get()));
}

namespace {

// A random walk on 0..20 with two modes, each replica drawing from its own
// stream: the states on every rung over the rounds.
std::vector<std::vector<int>> ExchangeTrajectory(int threads) {
    const int n = 4, rounds = 300;
    CThreadPool pool(threads);
    CReplicaExchange exchange(n, 2024, 0.3);
    std::vector<CRandomStream> streams;
    for (int r = 0; r < n; ++r)
        streams.emplace_back(2024, ReplicaStreamId(r));
    std::vector<int> x(n, 0);
    auto logLik = [](int v) { return -0.2 * (v - 4) * (v - 4) * (v - 16) * (v - 16) / 20.0; };
    auto sweep = [&](int r, double beta) {
        for (int t = 0; t < 10; ++t) {
            const int y = x[r] + (gsl_rng_uniform(streams[r].get()) < 0.5 ? -1 : 1);
            if (y >= 0 && y <= 20 &&
                std::log(gsl_rng_uniform_pos(streams[r].get())) < beta * (logLik(y) - logLik(x[r])))
                x[r] = y;
        }
        return true;
    };
    std::vector<std::vector<int>> trajectory;
    for (int s = 0; s < rounds; ++s) {
        EXPECT_TRUE(exchange.Round(
            pool, sweep, [&](int r) { return logLik(x[r]); }, s < 100));
        std::vector<int> rungs(n);
        for (int j = 0; j < n; ++j)
            rungs[j] = x[exchange.ReplicaAt(j)];
        trajectory.push_back(rungs);
    }
    return trajectory;
}

}  // namespace

TEST(ReplicaExchange, GivesTheSameStatesWhateverTheNumberOfThreads) {
    const std::vector<std::vector<int>> one = ExchangeTrajectory(1);
    EXPECT_EQ(ExchangeTrajectory(2), one);
    EXPECT_EQ(ExchangeTrajectory(3), one);
}

TEST(ReplicaExchange, StopsWhenASweepFails) {
    CThreadPool pool(2);
    CReplicaExchange exchange(3, 1);
    const bool ok = exchange.Round(
        pool, [](int r, double) { return r != 1; }, [](int) { return 0.0; }, false);
    EXPECT_FALSE(ok);
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(exchange.ReplicaAt(j), j);
    EXPECT_EQ(exchange.SwapCounter(0).proposed, 0);
}

// Blocks of a sweep: every item in one block, blocks of the data's size
// alone, run on any number of threads; the two kinds of blocks of every
// replica draw from streams of their own.
TEST(SweepBlocks, CoverTheItemsOnceWithStreamsOfTheirOwn) {
    for (int items : {0, 1, 255, 256, 257, 1100}) {
        const CBlockRanges blocks(items, 256);
        EXPECT_EQ(blocks.Count(), (items + 255) / 256) << items;
        for (int threads : {1, 2, 3}) {
            CThreadPool pool(threads);
            std::vector<std::atomic<int>> seen(items);
            std::vector<SBlockRange> ranges(blocks.Count());
            ForEachBlock(&pool, blocks, [&](int b, SBlockRange r) {
                ranges[b] = r;
                for (int i = r.first; i < r.last; ++i)
                    seen[i].fetch_add(1);
            });
            for (int i = 0; i < items; ++i)
                ASSERT_EQ(seen[i].load(), 1) << items << " items, " << threads << " threads";
            for (int b = 0; b < blocks.Count(); ++b)
                EXPECT_EQ(ranges[b].last - ranges[b].first,
                          b + 1 < blocks.Count() ? 256 : items - 256 * b);
        }
    }
    std::set<unsigned long> seeds;
    for (int replica : {0, 1})
        for (EBlockItems kind : {EBlockItems::Loci, EBlockItems::Individuals})
            for (const CRandomStream& s : BlockStreams(12345, replica, kind, 40))
                seeds.insert(s.Seed());
    seeds.insert(DeriveStreamSeed(12345, ReplicaStreamId(1)));
    EXPECT_EQ(seeds.size(), 4u * 40 + 1);
    EXPECT_EQ(seeds.count(12345), 0u);
}

// Generator streams of one run: every stream's seed is derived from the
// run's seed and a stream id, so that the draws of a run depend on its seed
// alone and never on which thread makes them.
//
// Ids: stream 0 is the run's own generator (its seed is the run's seed, so a
// run without replicas draws exactly as it always did); replica r > 0 draws
// from stream ReplicaStreamId(r); the swaps of the replica exchange from
// kExchangeStreamId; a block b of the draws inside replica r's sweep (a range
// of loci or individuals given to one task of the thread pool) from
// BlockStreamId(r, b). A block stream lives as long as the run, so block b
// of replica r continues its own sequence from sweep to sweep.
#ifndef BRELO_CORE_RANDOMSTREAMS_H
#define BRELO_CORE_RANDOMSTREAMS_H

#include <cstdint>
#include <vector>

#include <gsl/gsl_rng.h>

constexpr uint64_t kExchangeStreamId = 0xFFFFFFFFULL;

inline uint64_t ReplicaStreamId(int replica) {
    return static_cast<uint64_t>(replica);
}
inline uint64_t BlockStreamId(int replica, int block) {
    return (static_cast<uint64_t>(replica) + 1) << 32 | static_cast<uint32_t>(block);
}

// splitmix64: advances state and returns the next output (Steele, Lea and
// Flood 2014); distinct states give well-mixed, distinct outputs.
uint64_t SplitMix64(uint64_t& state);

// Seed of stream id of the run seeded with runSeed: runSeed itself for
// stream 0, otherwise a splitmix64 mix of both, kept within 32 bits (the
// Mersenne twister reads only the low 32 bits of its seed) and never 0
// (which GSL's generators replace by their default seed).
unsigned long DeriveStreamSeed(unsigned long runSeed, uint64_t streamId);

// A generator of type T (GSL's default type when null) seeded for stream id
// of the run, freed with the object. Movable, not copyable. A failed
// allocation is fatal.
class CRandomStream {
  public:
    CRandomStream() = default;
    CRandomStream(unsigned long runSeed, uint64_t streamId, const gsl_rng_type* T = nullptr);
    ~CRandomStream();
    CRandomStream(CRandomStream&& other) noexcept;
    CRandomStream& operator=(CRandomStream&& other) noexcept;
    CRandomStream(const CRandomStream&) = delete;
    CRandomStream& operator=(const CRandomStream&) = delete;

    // The generator, in the form the samplers' steps take it.
    gsl_rng*& get() { return m_rng; }
    unsigned long Seed() const { return m_seed; }

  private:
    gsl_rng* m_rng = nullptr;
    unsigned long m_seed = 0;
};

// The generators of the replicas of a run: the run's own (not owned) for
// replica 0, so that one replica draws as a plain chain, and the stream
// ReplicaStreamId(r) of the run's seed for each replica r > 0.
class CReplicaGenerators {
  public:
    CReplicaGenerators(gsl_rng* runGenerator, unsigned long runSeed, int replicas);
    gsl_rng*& operator[](int r) { return m_rngs[r]; }

  private:
    std::vector<CRandomStream> m_streams;
    std::vector<gsl_rng*> m_rngs;
};

#endif

#include "core/RandomStreams.h"

#include <iostream>
#include <utility>

#include "core/Messages.h"
#include "core/ProgramExit.h"

uint64_t SplitMix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

unsigned long DeriveStreamSeed(unsigned long runSeed, uint64_t streamId) {
    if (streamId == 0)
        return runSeed;
    uint64_t state = static_cast<uint64_t>(runSeed);
    const uint64_t first = SplitMix64(state);
    state = first ^ streamId;
    uint64_t mixed = SplitMix64(state);
    unsigned long seed = static_cast<unsigned long>((mixed ^ (mixed >> 32)) & 0xFFFFFFFFULL);
    while (seed == 0) {
        mixed = SplitMix64(state);
        seed = static_cast<unsigned long>(mixed & 0xFFFFFFFFULL);
    }
    return seed;
}

CRandomStream::CRandomStream(unsigned long runSeed, uint64_t streamId, const gsl_rng_type* T)
    : m_seed(DeriveStreamSeed(runSeed, streamId)) {
    m_rng = gsl_rng_alloc(T != nullptr ? T : gsl_rng_default);
    if (m_rng == nullptr) {
        Refuse("Cannot allocate a random number generator - CRandomStream");
    }
    gsl_rng_set(m_rng, m_seed);
}

CRandomStream::~CRandomStream() {
    if (m_rng != nullptr)
        gsl_rng_free(m_rng);
}

CRandomStream::CRandomStream(CRandomStream&& other) noexcept
    : m_rng(std::exchange(other.m_rng, nullptr)), m_seed(other.m_seed) {}

CRandomStream& CRandomStream::operator=(CRandomStream&& other) noexcept {
    if (this != &other) {
        if (m_rng != nullptr)
            gsl_rng_free(m_rng);
        m_rng = std::exchange(other.m_rng, nullptr);
        m_seed = other.m_seed;
    }
    return *this;
}

CReplicaGenerators::CReplicaGenerators(gsl_rng* runGenerator, unsigned long runSeed, int replicas) {
    m_rngs.push_back(runGenerator);
    m_streams.reserve(replicas > 1 ? replicas - 1 : 0);
    for (int r = 1; r < replicas; ++r) {
        m_streams.emplace_back(runSeed, ReplicaStreamId(r));
        m_rngs.push_back(m_streams.back().get());
    }
}

#include "core/SweepBlocks.h"

std::vector<CRandomStream> BlockStreams(unsigned long runSeed, int replica, EBlockItems items,
                                        int count) {
    const int first = items == EBlockItems::Individuals ? kIndividualBlockIds : 0;
    std::vector<CRandomStream> streams;
    streams.reserve(count > 0 ? count : 0);
    for (int b = 0; b < count; ++b)
        streams.emplace_back(runSeed, BlockStreamId(replica, first + b));
    return streams;
}

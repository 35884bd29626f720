// Processor time of the whole process (every thread) and of the calling
// thread, for benchmarks that report them beside the wall time on a machine
// shared with other work.
#ifndef BRELO_BENCH_CPUTIME_H
#define BRELO_BENCH_CPUTIME_H

#include <ctime>

inline double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

#endif

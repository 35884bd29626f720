#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "io/RunDiagnostics.h"

namespace {

// A well-mixed trace (independent draws) and a sticky one (an
// autoregressive trace whose effective size is far below 100).
std::vector<double> Trace(double rho, size_t n, unsigned long seed) {
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(rng, seed);
    std::vector<double> x(n, 0.0);
    for (size_t t = 1; t < n; ++t)
        x[t] = rho * x[t - 1] + gsl_ran_gaussian(rng, 1.0);
    gsl_rng_free(rng);
    return x;
}

SRunDiagnostics Example() {
    SRunDiagnostics d;
    CAcceptanceCounter field, never;
    for (int t = 0; t < 8; ++t)
        field.Count(t < 6);
    AddStepDiagnostic(d, "CAR field[1]", field);
    AddStepDiagnostic(d, "psi[1]", never);  // never proposed: left out
    const std::vector<double> good = Trace(0.0, 2000, 1), sticky = Trace(0.999, 2000, 2);
    std::vector<double> frozen = Trace(0.0, 2000, 3);
    std::fill(frozen.begin() + 900, frozen.end(), 0.25);
    AddTraceDiagnostic(d, "log-likelihood", good.data(), good.size());
    AddTraceDiagnostic(d, "beta[1][2]", sticky.data(), sticky.size());
    AddTraceDiagnostic(d, "sigma[2]", frozen.data(), frozen.size());
    AddTraceDiagnostic(d, "empty", nullptr, 0);
    return d;
}

}  // namespace

TEST(RunDiagnostics, WarningNamesEveryFlaggedTraceOnOneLine) {
    const SRunDiagnostics d = Example();
    ASSERT_EQ(d.steps.size(), 1u);
    ASSERT_EQ(d.traces.size(), 3u);
    EXPECT_FALSE(d.traces[0].Flagged());
    EXPECT_TRUE(d.traces[1].Flagged());
    EXPECT_TRUE(d.traces[2].frozen);
    const std::string w = ConvergenceWarning(d);
    EXPECT_EQ(w.find('\n'), std::string::npos);
    EXPECT_EQ(w.find("log-likelihood"), std::string::npos);
    EXPECT_NE(w.find("beta[1][2] (effective sample size "), std::string::npos) << w;
    EXPECT_NE(w.find("sigma[2] (constant over the last half)"), std::string::npos) << w;
    EXPECT_NE(w.find("more sweeps (-S)"), std::string::npos) << w;
    SRunDiagnostics healthy;
    healthy.traces.push_back(d.traces[0]);
    EXPECT_EQ(ConvergenceWarning(healthy), "");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WarnIfNotConverged(healthy));
    EXPECT_TRUE(WarnIfNotConverged(d));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), w + "\n");
}

// The report file ends the section with the warning; the screen gets the
// section without it (the warning is said once, on the error stream).
TEST(RunDiagnostics, SectionGoesToTheReportAndTheScreenAlike) {
    const SRunDiagnostics d = Example();
    std::ostringstream report;
    testing::internal::CaptureStdout();
    ReportRunDiagnostics(report, d);
    const std::string screen = testing::internal::GetCapturedStdout();
    EXPECT_EQ(report.str(), screen + ConvergenceWarning(d) + "\n\n\n\n");
    EXPECT_NE(screen.find("Run Diagnostics\nAcceptance rate of the Metropolis steps:\n"
                          "CAR field[1]\t0.7500\t(6 of 8 proposals)\n"
                          "Effective sample size over the 2000 kept sweeps"),
              std::string::npos)
        << screen;
    EXPECT_NE(screen.find("sigma[2]\t"), std::string::npos);
    EXPECT_NE(screen.find("(constant over the last half)"), std::string::npos);
    EXPECT_EQ(screen.find("Warning"), std::string::npos);
}

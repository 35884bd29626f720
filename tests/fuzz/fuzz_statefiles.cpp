// The continuation file and the best-run record of breloAdm, read into the
// shapes of a command line, and the pair of them as a later run finds it.
// Parameters: K L N A B, then J for each locus.
#include "FuzzSupport.h"
#include "io/BestRunRecord.h"
#include "io/IOUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int K = in.Param(1, 6), L = in.Param(1, 32), N = in.Param(1, 32), A = in.Param(1, 3),
              B = in.Param(1, 10);
    INT_VCTR_1D J(L);
    for (int& j : J)
        j = in.Param(1, 32);
    const std::string file = in.WriteBody("CFadmCAR");
    RunFuzzCase([&] {
        DBL_VCTR_1D sigma(K, 1.0);
        DBL_VCTR_2D beta(K, DBL_VCTR_1D(B, 0.0)), alpha(N, DBL_VCTR_1D(K, 0.0)),
            q(N, DBL_VCTR_1D(K, 0.0));
        CCopyLabels zadmix(N, A, L);
        DBL_VCTR_3D p(K);
        for (DBL_VCTR_2D& pk : p)
            for (int j : J)
                pk.push_back(DBL_VCTR_1D(j, 0.0));
        LoadCF(sigma, beta, alpha, q, zadmix, p, file);
    });
    RunFuzzCase([&] {
        int trendDeg = 0;
        double minDIC = 0.0;
        LoadML(trendDeg, minDIC, file, false);
    });
    // The same text as an older pair (record and continuation file named
    // without K), found by a later run of K clusters.
    const std::string record = in.WriteBody("MDIC_admCAR");
    const std::string FIFN = record.substr(0, record.size() - std::string("MDIC_admCAR").size());
    RunFuzzCase([&] {
        SBestRun best;
        ReadBestRun(FIFN, K, best);
    });
    return 0;
}

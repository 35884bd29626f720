#include "core/CopyLabels.h"

CCopyLabels& CCopyLabels::operator=(const INT_VCTR_3D& labels) {
    const int N = static_cast<int>(labels.size());
    const int A = N > 0 ? static_cast<int>(labels[0].size()) : 0;
    const int L = A > 0 ? static_cast<int>(labels[0][0].size()) : 0;
    Assign(N, A, L);
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < A && a < static_cast<int>(labels[i].size()); ++a)
            for (int l = 0; l < L && l < static_cast<int>(labels[i][a].size()); ++l)
                (*this)[i][a][l] = static_cast<uint8_t>(labels[i][a][l]);
    return *this;
}

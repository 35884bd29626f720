#include "io/GenotypeTable.h"

void FillGenotypes(const SGenotypeTable& table, INT_VCTR_3D& X) {
    X.clear();
    InitVctr3D(X, table.N, table.A, table.L, 0);
    for (int l = 0; l < table.L; ++l)
        for (int i = 0; i < table.N; ++i)
            for (int a = 0; a < table.A; ++a)
                X[i][a][l] = table.Code(i, a, l);
}

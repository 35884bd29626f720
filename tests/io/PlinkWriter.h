// Test fixtures as PLINK binary filesets: genotypes given as the copies of
// the .bim's first allele (0, 1, 2, or -1 for a missing call), written
// SNP-major with the standard magic bytes.
#ifndef BRELO_TESTS_IO_PLINKWRITER_H
#define BRELO_TESTS_IO_PLINKWRITER_H

#include <fstream>
#include <string>
#include <vector>

// dosage[l][i]: copies of allele A1 of individual i at SNP l, -1 missing.
// families[i] and ids[i] are the .fam's first two columns. mode is the third
// byte of the .bed (1: SNP-major).
inline void WritePlink(const std::string& prefix, const std::vector<std::string>& families,
                       const std::vector<std::string>& ids,
                       const std::vector<std::vector<int>>& dosage, unsigned char mode = 1) {
    std::ofstream fam(prefix + ".fam");
    for (size_t i = 0; i < ids.size(); ++i)
        fam << families[i] << " " << ids[i] << " 0 0 0 -9\n";
    std::ofstream bim(prefix + ".bim");
    std::ofstream bed(prefix + ".bed", std::ios::binary);
    const char magic[3] = {0x6c, 0x1b, static_cast<char>(mode)};
    bed.write(magic, 3);
    const size_t N = ids.size();
    for (size_t l = 0; l < dosage.size(); ++l) {
        bim << "1\tsnp" << l + 1 << "\t0\t" << 100 * (l + 1) << "\tT\tC\n";
        std::vector<unsigned char> row((N + 3) / 4, 0);
        for (size_t i = 0; i < N; ++i) {
            const int d = dosage[l][i];
            const unsigned char code = d < 0 ? 1 : d == 2 ? 0 : d == 1 ? 2 : 3;
            row[i / 4] |= static_cast<unsigned char>(code << (2 * (i % 4)));
        }
        bed.write(reinterpret_cast<const char*>(row.data()),
                  static_cast<std::streamsize>(row.size()));
    }
}

#endif

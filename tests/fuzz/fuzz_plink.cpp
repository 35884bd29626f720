// The PLINK fileset reader (.bed, .bim, .fam), for what it makes of the
// files, not only that it survives them.
// Parameters: mode N L famBytes bimBytes.
// - mode 0: the body is cut into the .fam (famBytes), the .bim (bimBytes)
//   and the .bed (the rest): any bytes in any of the three files.
// - mode 1: a sound .fam of N individuals (families of two) and .bim of L
//   SNPs are written, and the .bed is the SNP-major header followed by the
//   body. When the .bed has the size N and L give it, the reader must accept
//   it and give back every genotype the two-bit codes hold (the copies of
//   the .bim's first allele counted, missing calls missing at both copies);
//   otherwise it must refuse it. Anything else is a finding (the harness
//   aborts, naming what differs).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "io/PlinkReader.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

[[noreturn]] void Finding(int N, int L, const std::string& what) {
    std::fprintf(stderr, "PLINK fileset (N %d, L %d): %s\n", N, L, what.c_str());
    std::abort();
}

// Copies of the .bim's first allele in the two-bit code of the .bed: 00 two,
// 01 missing (-1), 10 one, 11 none.
int FirstAlleleCopies(unsigned code) {
    static const int kCopies[4] = {2, -1, 1, 0};
    return kCopies[code & 3];
}

void CheckSoundFileset(int N, int L, const std::string& prefix, const std::string& body) {
    const size_t rowBytes = (static_cast<size_t>(N) + 3) / 4;
    const bool rightSize = body.size() == rowBytes * L;
    SGenotypeTable table;
    const bool refused = RunRefusableCase([&] { table = ReadPlink(prefix + ".bed"); });
    if (refused == rightSize)
        Finding(N, L,
                refused ? "a sound fileset was refused" : "a .bed of the wrong size was read");
    if (refused)
        return;
    if (table.N != N || table.A != 2 || table.L != L)
        Finding(N, L, "the counts differ");
    for (int i = 0; i < N; ++i)
        if (table.ids[i] != "I" + std::to_string(i + 1))
            Finding(N, L, "the ids differ");
    for (int l = 0; l < L; ++l)
        for (int i = 0; i < N; ++i) {
            const unsigned char byte = static_cast<unsigned char>(body[rowBytes * l + i / 4]);
            const int expected = FirstAlleleCopies(byte >> (2 * (i % 4)));
            const int c0 = table.Code(i, 0, l), c1 = table.Code(i, 1, l);
            const int read = c0 < 0 || c1 < 0 ? (c0 < 0 && c1 < 0 ? -1 : -2) : c0 + c1;
            if (read != expected)
                Finding(N, L,
                        "individual " + std::to_string(i + 1) + ", SNP " + std::to_string(l + 1) +
                            ": written " + std::to_string(expected) + ", read " +
                            std::to_string(read));
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int mode = in.Param(0, 1), N = in.Param(1, 40), L = in.Param(1, 40);
    const int famBytes = in.Param(0, 1 << 20), bimBytes = in.Param(0, 1 << 20);
    const std::string prefix = ScratchPath("plink");
    const std::string& body = in.Body();
    if (mode == 0) {
        const size_t fam = std::min<size_t>(famBytes, body.size());
        const size_t bim = std::min<size_t>(bimBytes, body.size() - fam);
        WriteFile(prefix + ".fam", body.substr(0, fam));
        WriteFile(prefix + ".bim", body.substr(fam, bim));
        WriteFile(prefix + ".bed", body.substr(fam + bim));
        return RunFuzzCase([&] { ReadPlink(prefix); });
    }
    std::string fam, bim;
    for (int i = 0; i < N; ++i)
        fam += "F" + std::to_string(i / 2 + 1) + " I" + std::to_string(i + 1) + " 0 0 0 -9\n";
    for (int l = 0; l < L; ++l)
        bim += "1\trs" + std::to_string(l + 1) + "\t0\t" + std::to_string(100 + l) + "\tA\tG\n";
    WriteFile(prefix + ".fam", fam);
    WriteFile(prefix + ".bim", bim);
    WriteFile(prefix + ".bed", std::string("\x6c\x1b\x01", 3) + body);
    CheckSoundFileset(N, L, prefix, body);
    return 0;
}

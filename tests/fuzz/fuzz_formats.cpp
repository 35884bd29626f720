// What the GENEPOP and VCF readers must make of a file, not only that they
// survive it. The input drives a generator: it describes individuals (names
// that are hard to read back: blanks, quotes, '#', backslashes, UTF-8, names
// beginning with "pop"), Pop blocks, loci and genotypes (missing copies,
// wholly missing calls, three-digit codes), the way the file is written
// (CRLF, blank lines, locus names on one line or one a line, "Pop" spelled
// in several ways; VCF plain or bgzip-compressed) and, at times, one fault
// (a genotype too few, a record with one column too many, a compressed file
// cut at a block boundary, an allele index beyond the record's alleles,
// every copy missing). The harness writes the file, loads it as the
// programs do (counts from the file, then the data set) and checks the
// outcome against what the description says: the ids, populations and
// allele codes exactly, or a refusal where the file is at fault. Anything
// else is a finding (the harness aborts, naming what differs).
// Input: any bytes (the first line, parameters of the other harnesses, is
// read as bytes too).
#include <htslib/bgzf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "io/DataSet.h"
#include "io/InputFormat.h"

namespace {

// The input as a stream of choices; zeros once it is used up.
class CChoices {
  public:
    CChoices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    int Next(int n) { return n <= 1 ? 0 : (m_pos < m_size ? m_data[m_pos++] : 0) % n; }
    bool Chance(int inEight) { return Next(8) < inEight; }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Pieces of names a reader could misread; none holds a comma, a tab or a
// line break, and none starts or ends with a blank (GENEPOP trims names).
const char* const kNamePieces[] = {"a",   "B7",  "O'Brien", "say \"hi\"", "x\\y", "#1",
                                   "NA",  "été", "Zürich",  "two words",  "pop",  "Pop x",
                                   "POP", "-1",  "\"",      "id",         "1e5"};

std::string Name(CChoices& c, int index) {
    std::string name = kNamePieces[c.Next(sizeof kNamePieces / sizeof *kNamePieces)];
    if (c.Chance(3))
        name += std::string(c.Chance(4) ? " " : "_") + kNamePieces[c.Next(6)];
    return name + "_" + std::to_string(index);  // unique: VCF refuses repeated samples
}

struct SDescription {
    bool vcf = false;
    int N = 0, A = 0, L = 0;
    std::vector<std::string> ids;
    std::vector<int> pop;    // GENEPOP: Pop block of each individual, from 1
    std::vector<int> codes;  // (i * A + a) * L + l, -1 missing
    bool faulty = false;     // the file is at fault: a refusal is expected
    std::string fault;
    int& Code(int i, int a, int l) { return codes[(static_cast<size_t>(i) * A + a) * L + l]; }
};

bool AnyObserved(const SDescription& d) {
    for (int code : d.codes)
        if (code >= 0)
            return true;
    return false;
}

[[noreturn]] void Finding(const SDescription& d, const std::string& what) {
    std::fprintf(stderr, "%s file (N %d, A %d, L %d, fault: %s): %s\n", d.vcf ? "VCF" : "GENEPOP",
                 d.N, d.A, d.L, d.fault.empty() ? "none" : d.fault.c_str(), what.c_str());
    std::abort();
}

// ---- GENEPOP

std::string GenepopFile(CChoices& c, SDescription& d) {
    const int digits = c.Chance(6) ? 2 : 3;  // a copy's digits
    const int largest = digits == 2 ? 99 : 999;
    const std::string eol = c.Chance(2) ? "\r\n" : "\n";
    std::string text = "Title, with a comma" + eol;
    for (int l = 0; l < d.L; ++l)
        text += (c.Chance(4) ? "loc" + std::to_string(l + 1) + eol
                             : "L" + std::to_string(l + 1) + (l + 1 < d.L ? ", " : eol));
    if (text.back() != '\n')
        text += eol;
    const char* const pops[] = {"Pop", "POP", "pop", "Pop 2", "pop Lyon"};
    int block = 0;
    for (int i = 0; i < d.N; ++i) {
        if (i == 0 || c.Chance(2)) {
            text += std::string(pops[c.Next(5)]) + eol;
            ++block;
        }
        if (c.Chance(1))
            text += eol;  // a blank line
        d.pop.push_back(block);
        text += d.ids[i] + (c.Chance(4) ? " , " : ",");
        for (int l = 0; l < d.L; ++l) {
            const bool whollyMissing = c.Chance(1);
            std::string genotype;
            for (int a = 0; a < d.A; ++a) {
                const int code = c.Chance(1) ? 0 : 1 + c.Next(largest);
                d.Code(i, a, l) = whollyMissing || code == 0 ? -1 : code;
                char copy[8];
                std::snprintf(copy, sizeof copy, "%0*d", digits, code);
                genotype += copy;
            }
            text += (l > 0 ? " " : "") + (whollyMissing ? std::string("0") : genotype);
        }
        text += eol;
    }
    // A genotype too few on the last line: the count of the locus list
    // tells the reader.
    if (c.Chance(1) && d.L > 1) {
        text.erase(text.rfind(' '), text.size());
        text += eol;
        d.faulty = true;
        d.fault = "a genotype too few";
    }
    // No genotype but lone 0s: the width, so the ploidy, is unknown.
    bool width = false;
    for (int code : d.codes)
        width = width || code >= 0;
    if (!d.faulty && !width) {
        d.faulty = true;
        d.fault = "no observed allele";
    }
    return text;
}

// ---- VCF

std::string VcfText(CChoices& c, SDescription& d) {
    std::string text =
        "##fileformat=VCFv4.2\n##contig=<ID=1>\n##contig=<ID=chrX>\n"
        "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
        "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (const std::string& id : d.ids)
        text += "\t" + id;
    text += "\n";
    const int wideRecord = c.Chance(1) ? c.Next(d.L) : -1;
    const int beyondRecord = c.Chance(1) ? c.Next(d.L) : -1;
    for (int l = 0; l < d.L; ++l) {
        const int alts = 1 + c.Next(3);
        std::string alt = "C";
        for (int k = 1; k < alts; ++k)
            alt += std::string(",") + "GTA"[k - 1];
        text += std::string(l % 2 ? "chrX" : "1") + "\t" + std::to_string(100 + l) + "\t.\tA\t" +
                alt + "\t.\tPASS\t.\tGT";
        std::vector<std::string> calls;
        for (int i = 0; i < d.N; ++i) {
            if (c.Chance(1)) {  // a wholly missing call, written "." or "./."
                calls.push_back(c.Chance(4) || d.A == 1 ? "." : "./.");
                for (int a = 0; a < d.A; ++a)
                    d.Code(i, a, l) = -1;
                continue;
            }
            const char separator = c.Chance(4) ? '|' : '/';
            std::string call;
            for (int a = 0; a < d.A; ++a) {
                const int allele = c.Chance(1) ? -1 : c.Next(alts + 1);
                d.Code(i, a, l) = allele;
                if (a > 0)
                    call += separator;
                call += allele < 0 ? std::string(".") : std::to_string(allele);
            }
            calls.push_back(call);
        }
        if (l == beyondRecord && !d.faulty) {
            // The last sample's call points past the record's alleles.
            calls.back() = std::to_string(alts + 1) + (d.A == 2 ? "/0" : "");
            d.faulty = true;
            d.fault = "an allele index beyond the record's alleles";
        }
        if (l == wideRecord && !d.faulty) {
            calls.push_back("0/1");
            d.faulty = true;
            d.fault = "a record wider than the header";
        }
        for (const std::string& call : calls)
            text += "\t" + call;
        text += "\n";
    }
    if (!d.faulty && !AnyObserved(d)) {
        d.faulty = true;
        d.fault = "no called genotype";
    }
    return text;
}

bool WriteCompressed(const std::string& path, const std::string& text, bool cut) {
    BGZF* out = bgzf_open(path.c_str(), "w");
    if (out == nullptr)
        return false;
    const bool written = bgzf_write(out, text.data(), text.size()) >= 0;
    if (bgzf_close(out) != 0 || !written)
        return false;
    if (!cut)
        return true;
    // The empty block that ends a BGZF file, 28 bytes.
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    bytes.resize(bytes.size() - 28);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return true;
}

// ---- the check

void Check(SDescription& d, const std::string& file) {
    CDataSet data;
    SDataLayout layout;
    layout.File = file;
    layout.format = d.vcf ? EInputFormat::Vcf : EInputFormat::Genepop;
    const bool refused = RunRefusableCase([&] {
        SInputOptions input;
        input.format = layout.format;
        bool bN = false, bA = false, bL = false;
        TakeCountsFromFile(input, file, {layout.N, bN}, {layout.A, bA}, {layout.L, bL});
        LoadDataSet(layout, data);
    });
    const bool expectRefusal = d.faulty || !AnyObserved(d);
    if (refused != expectRefusal)
        Finding(d, refused ? "a sound file was refused" : "a faulty file was accepted");
    if (refused)
        return;
    if (data.X.N() != d.N || data.X.A() != d.A || data.X.L() != d.L)
        Finding(d, "the counts differ: N " + std::to_string(data.X.N()) + " A " +
                       std::to_string(data.X.A()) + " L " + std::to_string(data.X.L()));
    if (data.ids != d.ids)
        Finding(d, "the ids differ");
    if (!d.vcf && data.popIndex != d.pop)
        Finding(d, "the Pop blocks differ");
    // Diploid biallelic data are held as genotypes: the two copies of a
    // heterozygote come back in allele order, which the models never tell
    // apart, so the copies are compared as a sorted pair there.
    const bool unordered = data.X.IsPacked();
    auto copyOf = [&](auto code, int i, int a, int l) {
        if (!unordered)
            return code(i, a, l);
        const int c0 = code(i, 0, l), c1 = code(i, 1, l);
        return a == 0 ? std::min(c0, c1) : std::max(c0, c1);
    };
    auto readCode = [&](int i, int a, int l) { return data.X.Code(i, a, l); };
    auto writtenCode = [&](int i, int a, int l) { return d.Code(i, a, l); };
    for (int i = 0; i < d.N; ++i)
        for (int a = 0; a < d.A; ++a)
            for (int l = 0; l < d.L; ++l) {
                const int read = copyOf(readCode, i, a, l), written = copyOf(writtenCode, i, a, l);
                if ((written < 0) != (read < 0) || (written >= 0 && read != written))
                    Finding(d, "individual " + std::to_string(i + 1) + ", copy " +
                                   std::to_string(a + 1) + ", locus " + std::to_string(l + 1) +
                                   ": written " + std::to_string(written) + ", read " +
                                   std::to_string(read));
            }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    CChoices c(bytes, size);
    SDescription d;
    d.vcf = c.Chance(4);
    d.N = 1 + c.Next(6);
    d.A = 1 + c.Next(2);
    d.L = 1 + c.Next(5);
    d.codes.assign(static_cast<size_t>(d.N) * d.A * d.L, -1);
    for (int i = 0; i < d.N; ++i)
        d.ids.push_back(Name(c, i + 1));
    const std::string scratch = ScratchPath("formats");
    if (!d.vcf) {
        const std::string text = GenepopFile(c, d);
        std::ofstream(scratch, std::ios::binary | std::ios::trunc) << text;
        Check(d, scratch);
        return 0;
    }
    const std::string text = VcfText(c, d);
    const int container = c.Next(3);  // plain, compressed, compressed and cut
    if (container == 0) {
        std::ofstream(scratch, std::ios::binary | std::ios::trunc) << text;
    } else {
        if (!WriteCompressed(scratch, text, container == 2))
            return 0;
        if (container == 2) {
            d.faulty = true;
            d.fault = "a compressed file cut at a block boundary";
        }
    }
    Check(d, scratch);
    return 0;
}

// Test fixtures in VCF and BCF, written by htslib itself: the records are
// given as VCF text lines, parsed by htslib and written in the container
// asked for.
#ifndef BRELO_TESTS_IO_VCFWRITER_H
#define BRELO_TESTS_IO_VCFWRITER_H

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <string>
#include <vector>

// mode "w": plain VCF; "wz": bgzip-compressed VCF; "wb": BCF. Each line is
// one record without its sample columns' header: CHROM POS ID REF ALT QUAL
// FILTER INFO FORMAT and one field per sample, tab-separated. False when
// htslib refuses a line or cannot write.
inline bool WriteVariants(const std::string& path, const char* mode,
                          const std::vector<std::string>& samples,
                          const std::vector<std::string>& lines) {
    bcf_hdr_t* header = bcf_hdr_init("w");
    bcf_hdr_append(header, "##contig=<ID=1>");
    bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
    bcf_hdr_append(header, "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">");
    for (const std::string& sample : samples)
        bcf_hdr_add_sample(header, sample.c_str());
    bool ok = bcf_hdr_sync(header) == 0;
    htsFile* out = hts_open(path.c_str(), mode);
    ok = ok && out != nullptr && bcf_hdr_write(out, header) == 0;
    bcf1_t* record = bcf_init();
    kstring_t text = {0, 0, nullptr};
    for (const std::string& line : lines) {
        text.l = 0;
        kputs(line.c_str(), &text);
        ok = ok && vcf_parse(&text, header, record) == 0 && bcf_write(out, header, record) == 0;
    }
    free(text.s);
    bcf_destroy(record);
    if (out != nullptr)
        ok = hts_close(out) == 0 && ok;
    bcf_hdr_destroy(header);
    return ok;
}

// One biallelic or multi-allelic record at position pos of contig 1 with the
// given GT fields.
inline std::string VariantLine(int pos, const std::string& alt,
                               const std::vector<std::string>& genotypes) {
    std::string line = "1\t" + std::to_string(pos) + "\t.\tA\t" + alt + "\t.\tPASS\t.\tGT";
    for (const std::string& gt : genotypes)
        line += "\t" + gt;
    return line;
}

#endif

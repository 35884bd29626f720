#include "io/VcfReader.h"

#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <limits>

#include "core/MiscUtilities.h"

namespace {

// The htslib handles of one reading, released however the reading ends.
struct SVcfHandles {
    htsFile* file = nullptr;
    bcf_hdr_t* header = nullptr;
    bcf1_t* record = nullptr;
    int32_t* gt = nullptr;
    int gtSize = 0;
    ~SVcfHandles() {
        free(gt);
        if (record)
            bcf_destroy(record);
        if (header)
            bcf_hdr_destroy(header);
        if (file)
            hts_close(file);
    }
};

class CVcfLoader {
  public:
    explicit CVcfLoader(const std::string& File) : m_file(File) {}
    SGenotypeTable Read();

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        RefuseInput(m_file + ": " + what + " - LoadVcf");
    }
    [[noreturn]] void FailRecord(const std::string& what) const;
    void Open();
    void ReadRecord();
    // Number of copies of one sample's call and whether all are missing.
    int CountCopies(const int32_t* call, int width, bool& allMissing) const;
    void StoreCall(const int32_t* call, bool allMissing);
    void SetPloidy(int A);

    std::string m_file;
    SVcfHandles m_h;
    SGenotypeTable m_table;
    int m_nRecord = 0;
    int m_nSample = 0;
    // Leading records whose calls are all missing wait until the ploidy is
    // known from a called genotype.
    long m_nPendingMissing = 0;
};

void CVcfLoader::FailRecord(const std::string& what) const {
    const char* chrom = bcf_hdr_id2name(m_h.header, m_h.record->rid);
    Fail("record " + std::to_string(m_nRecord) + " (" + (chrom ? chrom : "?") + ":" +
         std::to_string(m_h.record->pos + 1) + "): " + what);
}

void CVcfLoader::Open() {
    // htslib's own messages would duplicate ours; the refusals below say
    // what went wrong in one line.
    hts_set_log_level(HTS_LOG_OFF);
    m_h.file = hts_open(m_file.c_str(), "r");
    if (!m_h.file)
        RefuseInput("Cannot open file " + m_file + " - LoadVcf");
    const htsFormat* format = hts_get_format(m_h.file);
    if (format->format != vcf && format->format != bcf)
        Fail("not a VCF or BCF file");
    m_h.header = bcf_hdr_read(m_h.file);
    if (!m_h.header)
        Fail("cannot read the VCF header (is it a VCF or BCF file?)");
    m_table.N = bcf_hdr_nsamples(m_h.header);
    if (m_table.N < 1)
        Fail("the file holds no sample, so no individual");
    for (int i = 0; i < m_table.N; ++i)
        m_table.ids.push_back(m_h.header->samples[i]);
    m_h.record = bcf_init();
}

int CVcfLoader::CountCopies(const int32_t* call, int width, bool& allMissing) const {
    int copies = 0;
    allMissing = true;
    for (; copies < width && call[copies] != bcf_int32_vector_end; ++copies)
        if (!bcf_gt_is_missing(call[copies]))
            allMissing = false;
    return copies;
}

void CVcfLoader::SetPloidy(int A) {
    m_table.A = A;
    m_table.codes.assign(static_cast<size_t>(m_nPendingMissing) * m_table.N * A,
                         SGenotypeTable::kMissing);
    m_nPendingMissing = 0;
}

void CVcfLoader::StoreCall(const int32_t* call, bool allMissing) {
    for (int a = 0; a < m_table.A; ++a) {
        if (allMissing || bcf_gt_is_missing(call[a])) {
            m_table.codes.push_back(SGenotypeTable::kMissing);
            continue;
        }
        const int allele = bcf_gt_allele(call[a]);
        if (allele < 0 || allele > std::numeric_limits<int16_t>::max())
            FailRecord("allele index " + std::to_string(allele) + " is out of range");
        m_table.codes.push_back(static_cast<int16_t>(allele));
    }
}

void CVcfLoader::ReadRecord() {
    const int n = bcf_get_genotypes(m_h.header, m_h.record, &m_h.gt, &m_h.gtSize);
    if (n <= 0)
        FailRecord("no GT field (genotypes are read from GT)");
    const int width = n / m_table.N;
    // Ploidy comes from the first called genotype of the file.
    if (m_table.A == 0) {
        for (int i = 0; i < m_table.N && m_table.A == 0; ++i) {
            bool allMissing = true;
            const int copies = CountCopies(m_h.gt + i * width, width, allMissing);
            if (!allMissing)
                SetPloidy(copies);
        }
        if (m_table.A == 0) {
            ++m_nPendingMissing;
            return;
        }
    }
    for (int i = 0; i < m_table.N; ++i) {
        const int32_t* call = m_h.gt + i * width;
        bool allMissing = true;
        const int copies = CountCopies(call, width, allMissing);
        if (!allMissing && copies != m_table.A)
            FailRecord("sample " + m_table.ids[i] + " has " + std::to_string(copies) +
                       " allele copies where the genotypes before have " +
                       std::to_string(m_table.A) + " (mixed ploidy is not supported)");
        StoreCall(call, allMissing);
    }
}

SGenotypeTable CVcfLoader::Read() {
    Open();
    int status = 0;
    while ((status = bcf_read(m_h.file, m_h.header, m_h.record)) == 0) {
        ++m_nRecord;
        // A contig or tag missing from the header is added by htslib and
        // harmless; any other error code means the record was not understood.
        if (m_h.record->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF))
            FailRecord("malformed record");
        ReadRecord();
    }
    if (status < -1)
        Fail("record " + std::to_string(m_nRecord + 1) + " is malformed or cut short");
    if (m_nRecord == 0)
        Fail("the file holds no variant record, so no locus");
    if (m_table.A == 0)
        Fail("the file holds no called genotype (every GT is missing)");
    m_table.L = m_nRecord;
    return std::move(m_table);
}

}  // namespace

SGenotypeTable ReadVcf(const std::string& File) {
    CVcfLoader loader(File);
    return loader.Read();
}

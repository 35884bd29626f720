#include "io/VcfReader.h"

#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cstdlib>

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

// One reading of the file: counting its samples, copies and records when
// store is null, else storing the genotypes into store, whose shape comes
// from a counting reading.
class CVcfLoader {
  public:
    CVcfLoader(const std::string& File, CGenotypeStore* store) : m_file(File), m_store(store) {}
    SGenotypeCounts Read(std::vector<std::string>* ids);

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        RefuseInput(m_file + ": " + what + " - LoadVcf");
    }
    [[noreturn]] void FailRecord(const std::string& what) const;
    [[noreturn]] void FailChanged() const {
        Fail("the file changed while it was read (it no longer holds the " +
             std::to_string(m_store->N()) + " samples, " + std::to_string(m_store->A()) +
             " copies and " + std::to_string(m_store->L()) + " records counted before)");
    }
    void Open(std::vector<std::string>* ids);
    void ReadRecord();
    // Number of copies of one sample's call and whether all are missing.
    int CountCopies(const int32_t* call, int width, bool& allMissing) const;
    void StoreCall(int i, const int32_t* call, bool allMissing);
    void SetPloidy(int A);

    std::string m_file;
    CGenotypeStore* m_store;
    SVcfHandles m_h;
    SGenotypeCounts m_counts;
    int m_nRecord = 0;
};

void CVcfLoader::FailRecord(const std::string& what) const {
    const char* chrom = bcf_hdr_id2name(m_h.header, m_h.record->rid);
    Fail("record " + std::to_string(m_nRecord) + " (" + (chrom ? chrom : "?") + ":" +
         std::to_string(m_h.record->pos + 1) + "): " + what);
}

void CVcfLoader::Open(std::vector<std::string>* ids) {
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
    m_counts.N = bcf_hdr_nsamples(m_h.header);
    if (m_counts.N < 1)
        Fail("the file holds no sample, so no individual");
    if (m_store && m_counts.N != m_store->N())
        FailChanged();
    if (ids)
        for (int i = 0; i < m_counts.N; ++i)
            ids->push_back(m_h.header->samples[i]);
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
    m_counts.A = A;
    if (m_store && A != m_store->A())
        FailChanged();
}

// A missing copy stays missing in the store.
void CVcfLoader::StoreCall(int i, const int32_t* call, bool allMissing) {
    if (allMissing)
        return;
    const int l = m_nRecord - 1;
    for (int a = 0; a < m_counts.A; ++a) {
        if (bcf_gt_is_missing(call[a]))
            continue;
        const int allele = bcf_gt_allele(call[a]);
        if (allele < 0 || allele >= m_h.record->n_allele)
            FailRecord("allele index " + std::to_string(allele) + " is out of range (the record " +
                       "lists " + std::to_string(m_h.record->n_allele) + " alleles)");
        if (m_store)
            m_store->Put(i, a, l, allele);
    }
}

void CVcfLoader::ReadRecord() {
    const int N = m_counts.N;
    const int n = bcf_get_genotypes(m_h.header, m_h.record, &m_h.gt, &m_h.gtSize);
    if (n <= 0)
        FailRecord("no GT field (genotypes are read from GT)");
    if (m_store && m_nRecord > m_store->L())
        FailChanged();
    const int width = n / N;
    // Ploidy comes from the first called genotype of the file; the records
    // before it are wholly missing.
    for (int i = 0; i < N && m_counts.A == 0; ++i) {
        bool allMissing = true;
        const int copies = CountCopies(m_h.gt + i * width, width, allMissing);
        if (!allMissing)
            SetPloidy(copies);
    }
    if (m_counts.A == 0)
        return;
    for (int i = 0; i < N; ++i) {
        const int32_t* call = m_h.gt + i * width;
        bool allMissing = true;
        const int copies = CountCopies(call, width, allMissing);
        if (!allMissing && copies != m_counts.A)
            FailRecord("sample " + std::string(m_h.header->samples[i]) + " has " +
                       std::to_string(copies) + " allele copies where the genotypes before have " +
                       std::to_string(m_counts.A) + " (mixed ploidy is not supported)");
        StoreCall(i, call, allMissing);
    }
}

SGenotypeCounts CVcfLoader::Read(std::vector<std::string>* ids) {
    Open(ids);
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
    if (m_counts.A == 0)
        Fail("the file holds no called genotype (every GT is missing)");
    m_counts.L = m_nRecord;
    if (m_store && m_counts.L != m_store->L())
        FailChanged();
    return m_counts;
}

}  // namespace

SGenotypeCounts CountVcf(const std::string& File) {
    return CVcfLoader(File, nullptr).Read(nullptr);
}

SGenotypeTable ReadVcf(const std::string& File, const SGenotypeCounts& counts) {
    SGenotypeTable table;
    table.genotypes = CGenotypeStore(counts.N, counts.A, counts.L);
    const SGenotypeCounts read = CVcfLoader(File, &table.genotypes).Read(&table.ids);
    table.N = read.N;
    table.A = read.A;
    table.L = read.L;
    table.genotypes.Finish();
    return table;
}

SGenotypeTable ReadVcf(const std::string& File) {
    return ReadVcf(File, CountVcf(File));
}

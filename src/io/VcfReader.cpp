#include "io/VcfReader.h"

#include <htslib/hts.h>
#include <htslib/kseq.h>
#include <htslib/kstring.h>
#include <htslib/vcf.h>

#include <cstdlib>

#include "core/MiscUtilities.h"
#include "io/GenotypeCollector.h"

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

// One reading of the file, record by record: the genotypes of each record
// (a locus) are collected, and go into a store of the counts read once the
// file ends.
class CVcfLoader {
  public:
    explicit CVcfLoader(const std::string& File) : m_file(File) {}
    SGenotypeTable Read();

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        RefuseInput(m_file + ": " + what + " - LoadVcf");
    }
    [[noreturn]] void FailRecord(const std::string& what) const;
    void Open(std::vector<std::string>& ids);
    void CheckEndOfFile() const;
    // Reads the next record; false at the end of the file.
    bool NextRecord();
    // Columns of a line of VCF text (read before htslib parses it in place).
    static long long CountColumns(const kstring_t& line);
    void CheckColumns(long long columns) const;
    void ReadRecord();
    // Number of copies of one sample's call and whether all are missing.
    int CountCopies(const int32_t* call, int width, bool& allMissing) const;
    void CollectCall(const int32_t* call, bool allMissing, int* codes);

    std::string m_file;
    SVcfHandles m_h;
    bool m_bText = false;  // VCF text, not BCF
    int m_nN = 0;
    int m_nA = 0;  // 0 until the first called genotype
    int m_nRecord = 0;
    int m_nWhollyMissing = 0;  // records before the first called genotype
    std::vector<int> m_vCodes;
    CGenotypeCollector m_collector;
};

void CVcfLoader::FailRecord(const std::string& what) const {
    const char* chrom = bcf_hdr_id2name(m_h.header, m_h.record->rid);
    Fail("record " + std::to_string(m_nRecord) + " (" + (chrom ? chrom : "?") + ":" +
         std::to_string(m_h.record->pos + 1) + "): " + what);
}

// A compressed file cut at a block boundary (a partial download) reads to
// its end without an error: only its missing end-of-file block tells.
void CVcfLoader::CheckEndOfFile() const {
    if (hts_check_EOF(m_h.file) == 0)
        Fail(
            "the file is truncated (its compressed data lack the end-of-file block): is the "
            "download or copy complete?");
}

void CVcfLoader::Open(std::vector<std::string>& ids) {
    // htslib's own messages would duplicate ours; the refusals below say
    // what went wrong in one line.
    hts_set_log_level(HTS_LOG_OFF);
    m_h.file = hts_open(m_file.c_str(), "r");
    if (!m_h.file)
        RefuseInput("Cannot open file " + m_file + " - LoadVcf");
    const htsFormat* format = hts_get_format(m_h.file);
    if (format->format != vcf && format->format != bcf)
        Fail("not a VCF or BCF file");
    m_bText = format->format == vcf;
    CheckEndOfFile();
    m_h.header = bcf_hdr_read(m_h.file);
    if (!m_h.header)
        Fail("cannot read the VCF header (is it a VCF or BCF file?)");
    m_nN = bcf_hdr_nsamples(m_h.header);
    if (m_nN < 1)
        Fail("the file holds no sample, so no individual");
    for (int i = 0; i < m_nN; ++i)
        ids.push_back(m_h.header->samples[i]);
    m_h.record = bcf_init();
}

long long CVcfLoader::CountColumns(const kstring_t& line) {
    size_t end = line.l;
    while (end > 0 &&
           (line.s[end - 1] == '\t' || line.s[end - 1] == ' ' || line.s[end - 1] == '\r'))
        --end;
    long long columns = end > 0 ? 1 : 0;
    for (size_t c = 0; c < end; ++c)
        columns += line.s[c] == '\t';
    return columns;
}

// A line of VCF text holds the 9 fixed columns and one genotype column a
// sample; htslib would read the first ones and drop what is beyond.
void CVcfLoader::CheckColumns(long long columns) const {
    const long long expected = 9LL + m_nN;
    if (columns != expected)
        FailRecord("it holds " + std::to_string(columns - 9) +
                   " genotype columns where the header " + "names " + std::to_string(m_nN) +
                   " samples");
}

bool CVcfLoader::NextRecord() {
    int status = 0;
    if (m_bText) {
        kstring_t& line = m_h.file->line;
        status = hts_getline(m_h.file, KS_SEP_LINE, &line);
        if (status >= 0) {
            ++m_nRecord;
            const long long columns = CountColumns(line);
            if (vcf_parse(&line, m_h.header, m_h.record) != 0)
                Fail("record " + std::to_string(m_nRecord) + " is malformed or cut short");
            CheckColumns(columns);
        }
    } else {
        status = bcf_read(m_h.file, m_h.header, m_h.record);
        if (status >= 0)
            ++m_nRecord;
    }
    if (status == -1)
        return false;
    if (status < -1)
        Fail("record " + std::to_string(m_nRecord + 1) + " is malformed or cut short");
    // A contig or tag missing from the header is added by htslib and
    // harmless; any other error code means the record was not understood.
    if (m_h.record->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF))
        FailRecord("malformed record");
    return true;
}

int CVcfLoader::CountCopies(const int32_t* call, int width, bool& allMissing) const {
    int copies = 0;
    allMissing = true;
    for (; copies < width && call[copies] != bcf_int32_vector_end; ++copies)
        if (!bcf_gt_is_missing(call[copies]))
            allMissing = false;
    return copies;
}

void CVcfLoader::CollectCall(const int32_t* call, bool allMissing, int* codes) {
    for (int a = 0; a < m_nA; ++a) {
        codes[a] = SGenotypeTable::kMissing;
        if (allMissing || bcf_gt_is_missing(call[a]))
            continue;
        const int allele = bcf_gt_allele(call[a]);
        if (allele < 0 || allele >= m_h.record->n_allele)
            FailRecord("allele index " + std::to_string(allele) + " is out of range (the record " +
                       "lists " + std::to_string(m_h.record->n_allele) + " alleles)");
        if (allele > CGenotypeCollector::kMaxCode)
            FailRecord("allele index " + std::to_string(allele) + " is beyond the " +
                       std::to_string(CGenotypeCollector::kMaxCode + 1) +
                       " alleles a locus may have");
        codes[a] = allele;
    }
}

void CVcfLoader::ReadRecord() {
    const int N = m_nN;
    const int n = bcf_get_genotypes(m_h.header, m_h.record, &m_h.gt, &m_h.gtSize);
    if (n <= 0)
        FailRecord("no GT field (genotypes are read from GT)");
    const int width = n / N;
    // Ploidy comes from the first called genotype of the file; the records
    // before it are wholly missing.
    for (int i = 0; i < N && m_nA == 0; ++i) {
        bool allMissing = true;
        const int copies = CountCopies(m_h.gt + i * width, width, allMissing);
        if (!allMissing) {
            m_nA = copies;
            m_collector.AppendMissing(static_cast<size_t>(m_nWhollyMissing) * N * m_nA);
            m_vCodes.assign(static_cast<size_t>(N) * m_nA, SGenotypeTable::kMissing);
        }
    }
    if (m_nA == 0) {
        ++m_nWhollyMissing;
        return;
    }
    for (int i = 0; i < N; ++i) {
        const int32_t* call = m_h.gt + i * width;
        bool allMissing = true;
        const int copies = CountCopies(call, width, allMissing);
        if (!allMissing && copies != m_nA)
            FailRecord("sample " + std::string(m_h.header->samples[i]) + " has " +
                       std::to_string(copies) + " allele copies where the genotypes before have " +
                       std::to_string(m_nA) + " (mixed ploidy is not supported)");
        CollectCall(call, allMissing, m_vCodes.data() + static_cast<size_t>(i) * m_nA);
    }
    m_collector.Append(m_vCodes.data(), m_vCodes.size());
}

SGenotypeTable CVcfLoader::Read() {
    SGenotypeTable table;
    Open(table.ids);
    while (NextRecord())
        ReadRecord();
    if (m_nRecord == 0)
        Fail("the file holds no variant record, so no locus");
    if (m_nA == 0)
        Fail("the file holds no called genotype (every GT is missing)");
    table.N = m_nN;
    table.A = m_nA;
    table.L = m_nRecord;
    table.genotypes = m_collector.LociToStore(table.N, table.A, table.L);
    return table;
}

}  // namespace

SGenotypeTable ReadVcf(const std::string& File) {
    return CVcfLoader(File).Read();
}

#include "engine/run/RunRecord.h"

#include <charconv>

namespace quernfold {

namespace {

constexpr std::string_view kMagic = "quernfold run record 1\n";

class Writer {
public:
    explicit Writer(std::string& out) : m_out(out) {}
    void Number(std::uint64_t value) {
        m_out.append(std::to_string(value));
        m_out.push_back('\n');
    }
    void Signed(std::int64_t value) {
        m_out.append(std::to_string(value));
        m_out.push_back('\n');
    }
    void Text(std::string_view text) {
        Number(text.size());
        m_out.append(text);
        m_out.push_back('\n');
    }
    void Stamp(const FileStamp& stamp) {
        Number(stamp.id.device);
        Number(stamp.id.inode);
        Number(stamp.size);
        Signed(stamp.modifiedNs);
        Signed(stamp.changedNs);
    }

private:
    std::string& m_out;
};

/**
 * Reads what Writer wrote; the first malformed field makes every later read fail. A field that runs past the end
 * of what is at hand is marked short: with more bytes it may still be whole.
 */
class Reader {
public:
    explicit Reader(std::string_view in) : m_in(in) {}
    bool Ok() const { return m_ok; }
    bool Short() const { return m_short; }
    std::size_t At() const { return m_at; }

    bool Expect(std::string_view text) {
        if (!m_ok) return false;
        const std::string_view rest = m_in.substr(m_at);
        if (rest.size() < text.size()) return text.starts_with(rest) ? Short<bool>() : Fail<bool>();
        if (!rest.starts_with(text)) return Fail<bool>();
        m_at += text.size();
        return true;
    }
    template <typename T>
    T Number() {
        // No number the writer writes is longer than this; a longer run of digits is no number.
        constexpr std::size_t kLongest = 24;
        T value{};
        if (!m_ok) return T{};
        const std::size_t end = m_in.find('\n', m_at);
        if (end == std::string_view::npos) return m_in.size() - m_at > kLongest ? Fail<T>() : Short<T>();
        const char* first = m_in.data() + m_at;
        const auto [stop, error] = std::from_chars(first, m_in.data() + end, value);
        if (error != std::errc() || stop != m_in.data() + end) return Fail<T>();
        m_at = end + 1;
        return value;
    }
    std::string Text() { return std::string(View()); }
    /** A text field in place, without a copy. */
    std::string_view View() {
        const auto size = Number<std::uint64_t>();
        if (!m_ok) return {};
        if (size >= m_in.size() - m_at) return Short<std::string_view>();
        if (m_in[m_at + size] != '\n') return Fail<std::string_view>();
        const std::string_view text = m_in.substr(m_at, size);
        m_at += size + 1;
        return text;
    }
    FileStamp Stamp() {
        FileStamp stamp;
        stamp.id.device = Number<std::uint64_t>();
        stamp.id.inode = Number<std::uint64_t>();
        stamp.size = Number<std::uint64_t>();
        stamp.modifiedNs = Number<std::int64_t>();
        stamp.changedNs = Number<std::int64_t>();
        return stamp;
    }
    /** A count of items that follow, each taking at least minBytes: more than the rest could hold is short. */
    std::size_t Count(std::size_t minBytes) {
        const auto count = Number<std::uint64_t>();
        if (!m_ok) return 0;
        if (count > (m_in.size() - m_at) / minBytes) return Short<std::size_t>();
        return static_cast<std::size_t>(count);
    }

private:
    template <typename T>
    T Fail() {
        m_ok = false;
        return T{};
    }
    template <typename T>
    T Short() {
        m_short = true;
        return Fail<T>();
    }
    std::string_view m_in;
    std::size_t m_at = 0;
    bool m_ok = true;
    bool m_short = false;
};

void WriteLookup(Writer& out, const ReadTrace::Lookup& lookup) {
    out.Text(lookup.resolved);
    out.Text(lookup.cleaned);
    out.Number(lookup.tryRaw ? 1 : 0);
    out.Text(lookup.pageDir);
    out.Number(lookup.found ? 1 : 0);
    out.Text(lookup.found.value_or(std::string()));
}

ReadTrace::Lookup ReadLookup(Reader& in) {
    ReadTrace::Lookup lookup;
    lookup.resolved = in.Text();
    lookup.cleaned = in.Text();
    lookup.tryRaw = in.Number<unsigned>() != 0;
    lookup.pageDir = in.Text();
    const bool found = in.Number<unsigned>() != 0;
    std::string path = in.Text();
    if (found) lookup.found = std::move(path);
    return lookup;
}

void WritePage(Writer& out, const RunRecord::Page& page, const std::uint32_t* uses) {
    out.Text(page.source);
    out.Text(page.output);
    out.Number(page.outputId.device);
    out.Number(page.outputId.inode);
    out.Number(page.outputSize);
    out.Signed(page.outputSettledNs);
    out.Stamp(page.sourceStamp);
    out.Number(page.fileCount);
    out.Number(page.lookupCount);
    for (std::uint32_t i = 0; i < page.fileCount + page.lookupCount; ++i) out.Number(uses[i]);
}

// A page's numbers must name entries of the lists.
bool ReadPage(Reader& in, RunRecord::Page& page, std::vector<std::uint32_t>& uses, std::size_t files,
              std::size_t lookups) {
    page.source = in.View();
    page.output = in.View();
    page.outputId.device = in.Number<std::uint64_t>();
    page.outputId.inode = in.Number<std::uint64_t>();
    page.outputSize = in.Number<std::uint64_t>();
    page.outputSettledNs = in.Number<std::int64_t>();
    page.sourceStamp = in.Stamp();
    page.first = static_cast<std::uint32_t>(uses.size());
    page.fileCount = static_cast<std::uint32_t>(in.Count(2));
    page.lookupCount = static_cast<std::uint32_t>(in.Count(2));
    for (std::uint32_t i = 0; in.Ok() && i < page.fileCount + page.lookupCount; ++i) {
        const auto number = in.Number<std::uint32_t>();
        if (in.Ok() && number >= (i < page.fileCount ? files : lookups)) return false;
        uses.push_back(number);
    }
    return in.Ok();
}

bool ReadHeadFields(Reader& in, RunRecord& head, std::size_t& pages) {
    if (!in.Expect(kMagic)) return false;
    head.choices = in.Text();
    for (std::size_t n = in.Count(12); in.Ok() && n > 0; --n) {
        ReadTrace::Opened file;
        file.path = in.Text();
        file.stamp = in.Stamp();
        head.files.push_back(std::move(file));
    }
    for (std::size_t n = in.Count(12); in.Ok() && n > 0; --n) head.lookups.push_back(ReadLookup(in));
    // Pages are read one at a time, so their count is not held against the bytes at hand.
    pages = in.Number<std::uint32_t>();
    return in.Ok();
}

}  // namespace

RunRecordWriter::RunRecordWriter(std::function<void(std::string_view)> sink, const std::string& choices,
                                 const std::vector<ReadTrace::Opened>& files,
                                 const std::vector<ReadTrace::Lookup>& lookups, std::size_t pageCount)
    : m_sink(std::move(sink)), m_pending(kMagic) {
    Writer out(m_pending);
    out.Text(choices);
    out.Number(files.size());
    for (const ReadTrace::Opened& file : files) {
        out.Text(file.path);
        out.Stamp(file.stamp);
        Flush(false);
    }
    out.Number(lookups.size());
    for (const ReadTrace::Lookup& lookup : lookups) {
        WriteLookup(out, lookup);
        Flush(false);
    }
    out.Number(pageCount);
}

void RunRecordWriter::AddPage(const RunRecord::Page& page, const std::uint32_t* uses) {
    Writer out(m_pending);
    WritePage(out, page, uses);
    Flush(false);
}

void RunRecordWriter::Finish() {
    Flush(true);
}

void RunRecordWriter::Flush(bool always) {
    constexpr std::size_t kPiece = 64 << 10;
    if (m_pending.empty() || (!always && m_pending.size() < kPiece)) return;
    m_sink(m_pending);
    m_pending.clear();
}

std::string SerializeRunRecord(const RunRecord& record) {
    std::string bytes;
    RunRecordWriter writer([&](std::string_view piece) { bytes.append(piece); }, record.choices, record.files,
                           record.lookups, record.pages.size());
    for (const RunRecord::Page& page : record.pages) writer.AddPage(page, record.uses.data() + page.first);
    writer.Finish();
    return bytes;
}

RunRecordReader::RunRecordReader(Pieces pieces) : m_pieces(std::move(pieces)) {}

RunRecordReader::RunRecordReader(std::string_view bytes) : m_in(bytes), m_sourceEnded(true) {}

template <typename Read>
bool RunRecordReader::Take(Read&& read) {
    for (;;) {
        Reader in(m_in);
        if (read(in) && in.Ok()) {
            m_in.remove_prefix(in.At());
            return true;
        }
        if (!in.Short() || !Refill()) {
            m_failed = true;
            return false;
        }
    }
}

bool RunRecordReader::Refill() {
    // Big enough for most records' head and many pages; a longer field grows it.
    constexpr std::size_t kPiece = 64 << 10;
    if (m_failed || m_sourceEnded) return false;
    if (!m_buffer.empty()) m_buffer.erase(0, static_cast<std::size_t>(m_in.data() - m_buffer.data()));
    const std::size_t kept = m_buffer.size();
    m_buffer.resize(kept + kPiece);
    const std::ptrdiff_t got = m_pieces(m_buffer.data() + kept, kPiece);
    m_buffer.resize(kept + static_cast<std::size_t>(got > 0 ? got : 0));
    m_in = m_buffer;
    if (got < 0) m_failed = true;
    if (got == 0) m_sourceEnded = true;
    return got > 0;
}

bool RunRecordReader::ReadHead(RunRecord& head) {
    if (m_failed) return false;
    return Take([&](Reader& in) {
        head = RunRecord();
        const bool ok = ReadHeadFields(in, head, m_pagesLeft);
        m_fileCount = head.files.size();
        m_lookupCount = head.lookups.size();
        return ok;
    });
}

bool RunRecordReader::NextPage(RunRecord::Page& page, std::vector<std::uint32_t>& uses) {
    if (m_failed || m_whole) return false;
    if (m_pagesLeft == 0) {
        // Nothing may follow the last page: a record that goes on is not the one that was written.
        m_whole = m_in.empty() && !Refill() && !m_failed;
        m_failed = !m_whole;
        return false;
    }
    const std::size_t mark = uses.size();
    const bool ok = Take([&](Reader& in) {
        uses.resize(mark);
        return ReadPage(in, page, uses, m_fileCount, m_lookupCount);
    });
    if (!ok) {
        uses.resize(mark);
        return false;
    }
    --m_pagesLeft;
    return true;
}

std::optional<RunRecord> ParseRunRecord(std::string_view bytes) {
    RunRecordReader reader(bytes);
    RunRecord record;
    if (!reader.ReadHead(record)) return std::nullopt;
    RunRecord::Page page;
    while (reader.NextPage(page, record.uses)) record.pages.push_back(page);
    if (!reader.Whole()) return std::nullopt;
    return record;
}

}  // namespace quernfold

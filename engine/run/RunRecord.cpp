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

/** Reads what Writer wrote; the first malformed field makes every later read fail. */
class Reader {
public:
    explicit Reader(std::string_view in) : m_in(in) {}
    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_ok && m_at == m_in.size(); }

    template <typename T>
    T Number() {
        T value{};
        const std::size_t end = m_in.find('\n', m_at);
        if (!m_ok || end == std::string_view::npos) return Fail<T>();
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
        if (!m_ok || size > m_in.size() - m_at || m_in.size() - m_at - size < 1 || m_in[m_at + size] != '\n') {
            return Fail<std::string_view>();
        }
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
    /** A count of items that follow, each taking at least minBytes: more than the rest could hold is malformed. */
    std::size_t Count(std::size_t minBytes) {
        const auto count = Number<std::uint64_t>();
        if (!m_ok || count > (m_in.size() - m_at) / minBytes) return Fail<std::size_t>();
        return static_cast<std::size_t>(count);
    }

private:
    template <typename T>
    T Fail() {
        m_ok = false;
        return T{};
    }
    std::string_view m_in;
    std::size_t m_at = 0;
    bool m_ok = true;
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
bool ReadPage(Reader& in, RunRecord& record) {
    RunRecord::Page page;
    page.source = in.View();
    page.output = in.View();
    page.outputId.device = in.Number<std::uint64_t>();
    page.outputId.inode = in.Number<std::uint64_t>();
    page.outputSize = in.Number<std::uint64_t>();
    page.outputSettledNs = in.Number<std::int64_t>();
    page.sourceStamp = in.Stamp();
    page.first = static_cast<std::uint32_t>(record.uses.size());
    page.fileCount = static_cast<std::uint32_t>(in.Count(2));
    page.lookupCount = static_cast<std::uint32_t>(in.Count(2));
    for (std::uint32_t i = 0; in.Ok() && i < page.fileCount + page.lookupCount; ++i) {
        const auto number = in.Number<std::uint32_t>();
        if (number >= (i < page.fileCount ? record.files.size() : record.lookups.size())) return false;
        record.uses.push_back(number);
    }
    record.pages.push_back(std::move(page));
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

std::optional<RunRecord> ParseRunRecord(std::string_view bytes) {
    if (!bytes.starts_with(kMagic)) return std::nullopt;
    Reader in(bytes.substr(kMagic.size()));
    RunRecord record;
    record.choices = in.Text();
    for (std::size_t n = in.Count(12); in.Ok() && n > 0; --n) {
        ReadTrace::Opened file;
        file.path = in.Text();
        file.stamp = in.Stamp();
        record.files.push_back(std::move(file));
    }
    for (std::size_t n = in.Count(12); in.Ok() && n > 0; --n) record.lookups.push_back(ReadLookup(in));
    const std::size_t pages = in.Count(16);
    record.pages.reserve(pages);  // a record of many pages is not held twice while it grows
    for (std::size_t n = pages; in.Ok() && n > 0; --n) {
        if (!ReadPage(in, record)) return std::nullopt;
    }
    if (!in.AtEnd()) return std::nullopt;
    return record;
}

}  // namespace quernfold

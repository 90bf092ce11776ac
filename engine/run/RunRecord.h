#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/page/ReadTrace.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * What the last run into an output folder published, so that the next run can keep the pages nothing changed
 * for: the program's version and the choices (one text: any difference drops the whole record), and per page
 * published cleanly (no warning, no failure) its source, what its expansion read and looked up, and the output
 * file it left. The files read and the lookups made are listed once and named by their number, as most pages of
 * a site share their includes.
 */
struct RunRecord {
    struct Page {
        // Parsed pages point into the bytes they were read from (a record of many pages is not copied whole).
        std::string_view source;
        std::string_view output;
        FileId outputId;
        std::uint64_t outputSize = 0;
        // The output file was whole by then (nanoseconds since the epoch): one changed or touched since has a
        // later change time, which nobody can set back.
        std::int64_t outputSettledNs = 0;
        FileStamp sourceStamp;       // the page's own source as it was read
        std::uint32_t first = 0;     // the page's numbers start here in `uses`: its includes, then its lookups
        std::uint32_t fileCount = 0;
        std::uint32_t lookupCount = 0;
    };

    std::string choices;  // the program's version and the choices
    std::vector<ReadTrace::Opened> files;
    std::vector<ReadTrace::Lookup> lookups;
    std::vector<std::uint32_t> uses;  // numbers of files and lookups, page after page
    std::vector<Page> pages;
};

/**
 * Writes a record piece by piece, so a record of many pages never stands whole in memory: the lists first, then
 * the pages. Fields are length-prefixed, so any byte of a path survives.
 */
class RunRecordWriter {
public:
    /** sink receives the bytes in pieces, in order. */
    RunRecordWriter(std::function<void(std::string_view)> sink, const std::string& choices,
                    const std::vector<ReadTrace::Opened>& files, const std::vector<ReadTrace::Lookup>& lookups,
                    std::size_t pageCount);
    /** uses: the page's file numbers, then its lookup numbers. */
    void AddPage(const RunRecord::Page& page, const std::uint32_t* uses);
    /** Hands over what is still held; the record is complete once every page was added. */
    void Finish();

private:
    void Flush(bool always);
    std::function<void(std::string_view)> m_sink;
    std::string m_pending;
};

/**
 * Reads a record piece by piece, so that a record of many pages is never held whole: the head (choices and lists)
 * first, then one page at a time. Only a record read to its very end without a fault is whole; a caller that acts
 * on pages before then must be ready to take it all back.
 */
class RunRecordReader {
public:
    /** Fills up to size bytes at into and says how many (0 at the end), or -1 when the rest cannot be read. */
    using Pieces = std::function<std::ptrdiff_t(char* into, std::size_t size)>;

    explicit RunRecordReader(Pieces pieces);
    /** Over bytes held by the caller (which must outlive the reader and what it reads). */
    explicit RunRecordReader(std::string_view bytes);

    /** The choices and the lists into head (its pages stay empty); false for anything malformed. */
    bool ReadHead(RunRecord& head);
    /**
     * The next page into page, its numbers appended to uses (page.first is where they start); its paths stay valid
     * until the next call. false after the last page or at a fault (then Whole() says which).
     */
    bool NextPage(RunRecord::Page& page, std::vector<std::uint32_t>& uses);
    /** Every page was read and nothing follows them. */
    bool Whole() const { return m_whole; }

private:
    template <typename Read>
    bool Take(Read&& read);
    bool Refill();

    Pieces m_pieces;
    std::string m_buffer;
    std::string_view m_in;  // what is read but not yet parsed (in m_buffer, or the caller's bytes)
    bool m_sourceEnded = false;
    bool m_failed = false;
    bool m_whole = false;
    std::size_t m_pagesLeft = 0;
    std::size_t m_fileCount = 0;
    std::size_t m_lookupCount = 0;
};

/** The whole record as bytes (what RunRecordWriter writes). */
std::string SerializeRunRecord(const RunRecord& record);

/**
 * The record from bytes, which must outlive it (its pages' paths point into them); nullopt for anything
 * malformed, truncated, inconsistent or of another format.
 */
std::optional<RunRecord> ParseRunRecord(std::string_view bytes);

}  // namespace quernfold

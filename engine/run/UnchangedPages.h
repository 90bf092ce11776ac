#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/run/RunRecord.h"
#include "engine/site/IncludeLookup.h"

namespace quernfold {

class RunPlan;

/**
 * The record of the last run into an output folder, and the one this run leaves for the next. A page whose
 * source, every file its expansion read, every include lookup it made and its output file are all as the record
 * says keeps its output; anything missing, unreadable or different means the page is converted again. The record
 * is kept outside the output tree, written whole or not at all; a record that cannot be written only costs the
 * next run its shortcut.
 */
class UnchangedPages {
public:
    /**
     * recordPath: where the record is (nullopt: none is read); choices: the program's version and every choice
     * that shapes a page, as one text; ignoreEarlier: convert every page (--full), still leaving a record for the
     * next run. plan must outlive this.
     */
    UnchangedPages(const RunPlan& plan, std::optional<std::string> recordPath, std::string choices,
                   bool ignoreEarlier);

    /**
     * Which pages keep their output, decided once before any page is converted; lookup is how the run finds
     * include targets (its site and choices). The earlier record is let go here.
     */
    std::vector<bool> Find(const IncludeLookup& lookup);

    /** The identities of the files a kept page read (for the run's set of files read). */
    std::vector<FileId> FilesOf(std::size_t index) const;
    /** A page Find kept is converted after all: its earlier record no longer holds. */
    void Forget(std::size_t index);
    /** Notes a page converted cleanly (no warning): its output file, whole since settledNs, and what it read. */
    void Converted(std::size_t index, FileId outputId, std::uint64_t outputSize, std::int64_t settledNs,
                   const ReadTrace& trace);

    /** Writes the record for the next run (at the output folder's record path, found again now it exists). */
    void Save(const std::string& outputRoot);

private:
    // A page of this run's record: its source and output path are the plan's, its numbers in m_uses (from
    // first: the includes read, then the lookups). Only a recorded entry is written.
    struct Entry {
        bool recorded = false;
        FileStamp sourceStamp;
        FileId outputId;
        std::uint64_t outputSize = 0;
        std::int64_t settledNs = 0;
        std::uint32_t first = 0;
        std::uint32_t fileCount = 0;
        std::uint32_t lookupCount = 0;
    };
    bool IsUnchanged(const RunRecord& earlier, const RunRecord::Page& page, const std::uint32_t* uses,
                     const std::string& outputPath, const IncludeLookup& lookup);
    void Keep(std::size_t index, const RunRecord& earlier, const RunRecord::Page& page, const std::uint32_t* uses,
              std::vector<std::int64_t>& fileNumber, std::vector<std::int64_t>& lookupNumber);
    void ForgetAll();
    std::uint32_t FileNumber(const ReadTrace::Opened& file);
    std::uint32_t LookupNumber(const ReadTrace::Lookup& lookup);

    const RunPlan& m_plan;
    std::string m_choices;
    // The earlier record, read page by page in Find: its head (choices and lists) is read at once.
    std::unique_ptr<RunRecordReader> m_earlierPages;
    RunRecord m_earlier;
    // This run's record: the files and lookups listed once, and an entry per page that has one.
    std::vector<ReadTrace::Opened> m_files;
    std::vector<ReadTrace::Lookup> m_lookups;
    // A file's numbers by its path (one per stamp it was read with), found without building a key per page.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
    };
    std::unordered_map<std::string, std::vector<std::uint32_t>, PathHash, std::equal_to<>> m_fileNumbers;
    std::unordered_map<std::string, std::uint32_t> m_lookupNumbers;
    std::vector<Entry> m_entries;  // by page index
    std::vector<std::uint32_t> m_uses;
    // While Find runs: whether each file and lookup of the earlier record is as it was, each asked once.
    enum : signed char { kUnknown, kSame, kDifferent };
    std::vector<signed char> m_fileSame;
    std::vector<signed char> m_lookupSame;
};

}  // namespace quernfold

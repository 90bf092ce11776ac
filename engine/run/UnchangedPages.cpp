#include "engine/run/UnchangedPages.h"

#include <string_view>
#include <unordered_map>

#include "engine/platform/AtomicFile.h"
#include "engine/platform/RunRecords.h"
#include "engine/run/RunPlan.h"

namespace quernfold {

namespace {

// A file changed this shortly before it was read may change again within the same tick of the file system's
// clock, leaving its stamp as it was: such a page is not recorded. File systems that keep whole seconds (FAT, some
// network file systems) get the widest tick there is, two seconds.
constexpr std::int64_t kFineTickNs = 50'000'000;
constexpr std::int64_t kCoarseTickNs = 2'000'000'000;

bool ChangedTooRecently(const FileStamp& stamp, std::int64_t readNs) {
    const bool wholeSeconds = stamp.modifiedNs % 1'000'000'000 == 0 && stamp.changedNs % 1'000'000'000 == 0;
    const std::int64_t tick = wholeSeconds ? kCoarseTickNs : kFineTickNs;
    return stamp.modifiedNs > readNs - tick || stamp.changedNs > readNs - tick;
}

std::string LookupKey(const ReadTrace::Lookup& lookup) {
    std::string key = lookup.resolved;
    key.append(1, '\0').append(lookup.cleaned).append(1, '\0').append(lookup.pageDir);
    key.push_back(lookup.tryRaw ? '1' : '0');
    return key;
}

}  // namespace

UnchangedPages::UnchangedPages(const RunPlan& plan, std::optional<std::string> recordPath, std::string choices,
                               bool ignoreEarlier)
    : m_plan(plan), m_choices(std::move(choices)), m_entries(plan.Pages().size()) {
    if (!recordPath || ignoreEarlier) return;
    RunRecordReader::Pieces pieces = OpenRunRecord(*recordPath);
    if (!pieces) return;
    m_earlierPages = std::make_unique<RunRecordReader>(std::move(pieces));
    if (!m_earlierPages->ReadHead(m_earlier) || m_earlier.choices != m_choices) {
        m_earlierPages.reset();
        m_earlier = RunRecord();
    }
}

std::vector<bool> UnchangedPages::Find(const IncludeLookup& lookup) {
    const std::vector<std::string>& pages = m_plan.Pages();
    std::vector<bool> unchanged(pages.size(), false);
    if (!m_earlierPages) return unchanged;
    // The earlier record is let go (and its file closed) when this returns.
    const std::unique_ptr<RunRecordReader> reader = std::move(m_earlierPages);
    const RunRecord earlier = std::move(m_earlier);
    m_earlier = RunRecord();
    // Each file and lookup of the earlier record is checked once, and numbered in this run's record once.
    m_fileSame.assign(earlier.files.size(), kUnknown);
    m_lookupSame.assign(earlier.lookups.size(), kUnknown);
    std::vector<std::int64_t> fileNumber(earlier.files.size(), -1);
    std::vector<std::int64_t> lookupNumber(earlier.lookups.size(), -1);
    // The record lists its pages in the order of the run that wrote it, which is this run's order unless the site
    // changed: pages are matched in step, and by their source only once the orders part.
    std::size_t next = 0;
    std::unordered_map<std::string_view, std::size_t> bySource;
    const auto indexOf = [&](std::string_view source) -> std::optional<std::size_t> {
        if (next < pages.size() && pages[next] == source) return next++;
        if (bySource.empty()) {
            bySource.reserve(pages.size());
            for (std::size_t i = 0; i < pages.size(); ++i) bySource.emplace(pages[i], i);
        }
        const auto found = bySource.find(source);
        if (found == bySource.end()) return std::nullopt;
        next = found->second + 1;
        return found->second;
    };
    std::vector<bool> matched(pages.size(), false);
    RunRecord::Page page;
    std::vector<std::uint32_t> uses;
    while (reader->NextPage(page, uses)) {
        const std::optional<std::size_t> index = indexOf(page.source);
        // A second record of the same page (never expected) is not trusted: only the first may keep its output.
        if (index && !matched[*index]) {
            matched[*index] = true;
            if (IsUnchanged(earlier, page, uses.data(), m_plan.OutputOf(*index).outputPath, lookup)) {
                unchanged[*index] = true;
                Keep(*index, earlier, page, uses.data(), fileNumber, lookupNumber);
            }
        }
        uses.clear();
    }
    m_fileSame.clear();
    m_lookupSame.clear();
    if (!reader->Whole()) {
        // A record damaged anywhere is not trusted anywhere, also for the pages read before the damage.
        ForgetAll();
        unchanged.assign(pages.size(), false);
    }
    return unchanged;
}

void UnchangedPages::Keep(std::size_t index, const RunRecord& earlier, const RunRecord::Page& page,
                          const std::uint32_t* uses, std::vector<std::int64_t>& fileNumber,
                          std::vector<std::int64_t>& lookupNumber) {
    // Kept pages stay in the record even when this run stops before it reaches them: their output stays.
    m_entries[index] = {true, page.sourceStamp, page.outputId, page.outputSize, page.outputSettledNs,
                        static_cast<std::uint32_t>(m_uses.size()), page.fileCount, page.lookupCount};
    for (std::uint32_t n = 0; n < page.fileCount; ++n) {
        const std::uint32_t used = uses[n];
        if (fileNumber[used] < 0) fileNumber[used] = FileNumber(earlier.files[used]);
        m_uses.push_back(static_cast<std::uint32_t>(fileNumber[used]));
    }
    for (std::uint32_t n = 0; n < page.lookupCount; ++n) {
        const std::uint32_t used = uses[page.fileCount + n];
        if (lookupNumber[used] < 0) lookupNumber[used] = LookupNumber(earlier.lookups[used]);
        m_uses.push_back(static_cast<std::uint32_t>(lookupNumber[used]));
    }
}

void UnchangedPages::ForgetAll() {
    m_entries.assign(m_entries.size(), Entry());
    m_uses.clear();
    m_files.clear();
    m_lookups.clear();
    m_fileNumbers.clear();
    m_lookupNumbers.clear();
}

bool UnchangedPages::IsUnchanged(const RunRecord& earlier, const RunRecord::Page& page, const std::uint32_t* uses,
                                 const std::string& outputPath, const IncludeLookup& lookup) {
    if (page.output != outputPath) return false;
    const std::optional<FileStamp> source = StampAt(std::string(page.source));
    if (!source || *source != page.sourceStamp) return false;
    // The output file as this program left it: the same file (not a link put in its place), the same size, not
    // changed since it was whole.
    const std::optional<FileStamp> output = StampAt(outputPath, false);
    if (!output || output->id != page.outputId || output->size != page.outputSize ||
        output->changedNs > page.outputSettledNs || output->modifiedNs > page.outputSettledNs) {
        return false;
    }
    for (std::uint32_t n = 0; n < page.fileCount; ++n) {
        const std::uint32_t used = uses[n];
        if (m_fileSame[used] == kUnknown) {
            const ReadTrace::Opened& file = earlier.files[used];
            const std::optional<FileStamp> now = StampAt(file.path);
            m_fileSame[used] = now && *now == file.stamp ? kSame : kDifferent;
        }
        if (m_fileSame[used] != kSame) return false;
    }
    for (std::uint32_t n = 0; n < page.lookupCount; ++n) {
        const std::uint32_t used = uses[page.fileCount + n];
        if (m_lookupSame[used] == kUnknown) {
            const ReadTrace::Lookup& made = earlier.lookups[used];
            const bool same = lookup.FindTarget(made.resolved, made.cleaned, made.tryRaw, made.pageDir) == made.found;
            m_lookupSame[used] = same ? kSame : kDifferent;
        }
        if (m_lookupSame[used] != kSame) return false;
    }
    return true;
}

std::uint32_t UnchangedPages::FileNumber(const ReadTrace::Opened& file) {
    auto at = m_fileNumbers.find(std::string_view(file.path));
    if (at == m_fileNumbers.end()) at = m_fileNumbers.emplace(file.path, std::vector<std::uint32_t>()).first;
    for (const std::uint32_t number : at->second) {
        if (m_files[number].stamp == file.stamp) return number;
    }
    const auto number = static_cast<std::uint32_t>(m_files.size());
    m_files.push_back(file);
    at->second.push_back(number);
    return number;
}

std::uint32_t UnchangedPages::LookupNumber(const ReadTrace::Lookup& lookup) {
    std::string key = LookupKey(lookup);
    key.append(1, lookup.found ? '+' : '-').append(lookup.found.value_or(std::string()));
    const auto [at, added] = m_lookupNumbers.try_emplace(std::move(key), static_cast<std::uint32_t>(m_lookups.size()));
    if (added) m_lookups.push_back(lookup);
    return at->second;
}

std::vector<FileId> UnchangedPages::FilesOf(std::size_t index) const {
    std::vector<FileId> ids;
    const Entry& entry = m_entries.at(index);
    ids.push_back(entry.sourceStamp.id);
    for (std::uint32_t n = 0; n < entry.fileCount; ++n) ids.push_back(m_files[m_uses[entry.first + n]].stamp.id);
    return ids;
}

void UnchangedPages::Forget(std::size_t index) {
    m_entries.at(index) = Entry();
}

void UnchangedPages::Converted(std::size_t index, FileId outputId, std::uint64_t outputSize, std::int64_t settledNs,
                               const ReadTrace& trace) {
    Forget(index);
    // The page itself is read first; its includes follow.
    if (trace.doubtful || !outputId.Known() || trace.opened.empty()) return;
    if (trace.opened.front().path != m_plan.Pages().at(index)) return;
    for (const ReadTrace::Opened& opened : trace.opened) {
        if (ChangedTooRecently(opened.stamp, trace.startedNs)) return;
    }
    const auto first = static_cast<std::uint32_t>(m_uses.size());
    for (std::size_t n = 1; n < trace.opened.size(); ++n) m_uses.push_back(FileNumber(trace.opened[n]));
    for (const ReadTrace::Lookup& lookup : trace.lookups) m_uses.push_back(LookupNumber(lookup));
    m_entries.at(index) = {true,
                           trace.opened.front().stamp,
                           outputId,
                           outputSize,
                           settledNs,
                           first,
                           static_cast<std::uint32_t>(trace.opened.size() - 1),
                           static_cast<std::uint32_t>(trace.lookups.size())};
}

void UnchangedPages::Save(const std::string& outputRoot) {
    const std::optional<std::string> path = RunRecordPath(outputRoot);
    if (!path || !MakeRunRecordFolder(*path)) return;
    try {
        std::size_t count = 0;
        for (const Entry& entry : m_entries) count += entry.recorded ? 1 : 0;
        const std::unique_ptr<PageOutput> file = CreateAtomicFile(*path, WritePolicy{});
        RunRecordWriter writer([&](std::string_view piece) { file->Write(piece); }, m_choices, m_files, m_lookups,
                               count);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            const Entry& entry = m_entries[i];
            if (!entry.recorded) continue;
            writer.AddPage({m_plan.Pages()[i], m_plan.OutputOf(i).outputPath, entry.outputId, entry.outputSize,
                            entry.settledNs, entry.sourceStamp, 0, entry.fileCount, entry.lookupCount},
                           m_uses.data() + entry.first);
        }
        writer.Finish();
        file->Publish();
    } catch (const std::exception&) {
        // Without a record the next run converts every page, which is always right (nothing half-written stays).
    }
}

}  // namespace quernfold

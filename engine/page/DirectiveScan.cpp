#include "engine/page/DirectiveScan.h"

#include <memory>

#include "engine/site/SiteFiles.h"
#include "engine/text/CodePageDetector.h"

namespace quernfold {

namespace {

constexpr std::size_t kLongestBlock = 64 * 1024;
constexpr std::size_t kChunk = 1024 * 1024;

}  // namespace

void BlockScanner::Feed(std::string_view bytes) {
    FeedKind(m_code, bytes);
    if (m_aspComments) FeedKind(m_comment, bytes);
}

void BlockScanner::FeedKind(Kind& kind, std::string_view bytes) {
    // The carried bytes cannot hold a whole marker, so joining them to the piece finds each marker once.
    std::string joined = std::move(kind.carry);
    joined.append(bytes);
    const std::string_view text = joined;
    std::size_t at = 0;
    for (;;) {
        const std::string_view marker = kind.inBlock ? kind.close : kind.open;
        const std::size_t found = text.find(marker, at);
        if (found == std::string_view::npos) break;
        if (kind.inBlock) {
            if (!kind.tooLong && kind.text.size() + (found - at) <= kLongestBlock) {
                kind.text.append(text.substr(at, found - at));
                m_found(kind.text);
            }
            kind.text.clear();
            kind.tooLong = false;
        }
        kind.inBlock = !kind.inBlock;
        at = found + marker.size();
    }
    // Keep what could begin a marker; inside a block the rest is block text.
    const std::size_t keep = std::min(text.size() - at, (kind.inBlock ? kind.close : kind.open).size() - 1);
    const std::size_t end = text.size() - keep;
    if (kind.inBlock && !kind.tooLong) {
        if (kind.text.size() + (end - at) > kLongestBlock) {
            kind.tooLong = true;
            kind.text.clear();
        } else {
            kind.text.append(text.substr(at, end - at));
        }
    }
    kind.carry.assign(text.substr(end));
}

void ScanBlocks(SiteFiles& files, const std::string& path, CodePageChoice choice, bool aspComments,
                const std::function<void(std::string_view blockText, CodePage cp)>& found) {
    std::unique_ptr<SourceFile> file;
    std::string chunk(kChunk, '\0');
    std::size_t got = 0;
    try {
        file = files.Open(path);
        got = file->Read(chunk.data(), chunk.size());
    } catch (const std::exception&) {
        return;
    }
    // The code page only decides how a directive's target reads; the head of the file tells it well enough.
    CodePageDetector detector(choice);
    detector.Feed(std::string_view(chunk.data(), got));
    const DetectedCodePage detected = detector.Finish();
    if (detected.utf16) return;
    BlockScanner scanner(aspComments, [&](std::string_view block) { found(block, detected.codePage); });
    try {
        while (got > 0) {
            scanner.Feed(std::string_view(chunk.data(), got));
            got = file->Read(chunk.data(), chunk.size());
        }
    } catch (const std::exception&) {
        // What could be read has been scanned.
    }
}

}  // namespace quernfold

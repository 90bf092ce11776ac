#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/text/CodePage.h"

namespace quernfold {

class SiteFiles;

/**
 * Finds the code blocks of a file without expanding anything: every "<%" … "%>" and, for ASP pages, every
 * "<!--" … "-->" (a superset of the comments the expander turns into blocks). Used to learn which fragments a
 * page names when its expansion ended early, so none of them is ever published as a static file. A block longer
 * than a directive can sensibly be (64 KiB) is passed over.
 */
class BlockScanner {
public:
    using Found = std::function<void(std::string_view blockText)>;

    BlockScanner(bool aspComments, Found found) : m_aspComments(aspComments), m_found(std::move(found)) {}

    /** Scans the next bytes of the file; markers may be cut between two calls. */
    void Feed(std::string_view bytes);

private:
    struct Kind {
        std::string_view open;
        std::string_view close;
        bool inBlock = false;
        bool tooLong = false;
        std::string text;
        std::string carry;  // the last bytes of the previous piece, for a marker cut in two
    };
    void FeedKind(Kind& kind, std::string_view bytes);

    bool m_aspComments;
    Found m_found;
    Kind m_code{"<%", "%>", false, false, {}, {}};
    Kind m_comment{"<!--", "-->", false, false, {}, {}};
};

/**
 * Reads the file at path through files to its end and hands each of its code blocks, with the file's code page,
 * to found. A file that cannot be opened or read gives what was read so far.
 */
void ScanBlocks(SiteFiles& files, const std::string& path, CodePageChoice choice, bool aspComments,
                const std::function<void(std::string_view blockText, CodePage cp)>& found);

}  // namespace quernfold

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/text/CodePage.h"

namespace quernfold {

/**
 * Decides a file's code page from its bytes, fed in chunks (the whole file under Auto, since a file is UTF-8
 * only when all of it is valid UTF-8). Fixed rules, no statistics:
 * a byte-order mark decides; else UTF-8 when the whole file is valid UTF-8 and holds non-ASCII bytes; else the
 * first charset the file declares in its first 4 KB; else GBK. Under a fixed choice the choice holds, but the
 * UTF-8 mark is still measured and a UTF-16 mark still refuses the file.
 */
class CodePageDetector {
public:
    explicit CodePageDetector(CodePageChoice choice);

    /** Whether Feed needs more than the first 4 KB to decide (only Auto does). */
    bool NeedsWholeFile() const;
    void Feed(std::string_view chunk);
    DetectedCodePage Finish() const;

private:
    CodePageChoice m_choice;
    std::string m_head;  // first 4 KB
    bool m_validUtf8 = true;
    bool m_sawNonAscii = false;
    int m_pendingContinuation = 0;  // continuation bytes still expected by an open UTF-8 sequence
    unsigned char m_pendingLead = 0;
    int m_pendingIndex = 0;
};

}  // namespace quernfold

#include "engine/text/CodePageDetector.h"

#include "engine/text/AsciiText.h"
#include "engine/text/CharsetDeclaration.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

constexpr bool InRange(unsigned char c, unsigned char lo, unsigned char hi) {
    return c >= lo && c <= hi;
}

CodePage CodePageOfChoice(CodePageChoice choice) {
    switch (choice) {
        case CodePageChoice::Gb18030:
            return CodePage::Gb18030;
        case CodePageChoice::Big5:
            return CodePage::Big5;
        case CodePageChoice::ShiftJis:
            return CodePage::ShiftJis;
        case CodePageChoice::Utf8:
            return CodePage::Utf8;
        case CodePageChoice::Auto:
        case CodePageChoice::Gbk:
            break;
    }
    return CodePage::Gbk;
}

}  // namespace

CodePageDetector::CodePageDetector(CodePageChoice choice) : m_choice(choice) {
    m_head.reserve(kDeclarationWindow);
}

bool CodePageDetector::NeedsWholeFile() const {
    return m_choice == CodePageChoice::Auto;
}

void CodePageDetector::Feed(std::string_view chunk) {
    if (m_head.size() < kDeclarationWindow) {
        m_head.append(chunk.substr(0, kDeclarationWindow - m_head.size()));
    }
    if (m_choice != CodePageChoice::Auto || !m_validUtf8) {
        return;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(chunk.data());
    const std::size_t size = chunk.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = data[i];
        if (m_pendingContinuation > 0) {
            unsigned char lo = 0x80;
            unsigned char hi = 0xBF;
            if (m_pendingIndex == 0) {
                Utf8LeadInfo(m_pendingLead, lo, hi);
            }
            if (!InRange(c, lo, hi)) {
                m_validUtf8 = false;
                return;
            }
            ++m_pendingIndex;
            --m_pendingContinuation;
            ++i;
        } else if (c < 0x80) {
            i = SkipAsciiBytes(data, i, size);
        } else {
            unsigned char lo = 0;
            unsigned char hi = 0;
            const int continuations = Utf8LeadInfo(c, lo, hi);
            if (continuations < 0) {
                m_validUtf8 = false;
                return;
            }
            m_sawNonAscii = true;
            m_pendingLead = c;
            m_pendingIndex = 0;
            m_pendingContinuation = continuations;
            ++i;
        }
    }
}

DetectedCodePage CodePageDetector::Finish() const {
    DetectedCodePage result;
    const std::string_view head = m_head;
    if (head.starts_with("\xEF\xBB\xBF")) {
        result.bomLength = 3;
    } else if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
        result.utf16 = true;
    }
    if (m_choice != CodePageChoice::Auto) {
        result.codePage = CodePageOfChoice(m_choice);
    } else if (result.bomLength > 0) {
        result.codePage = CodePage::Utf8;
    } else if (result.utf16) {
        result.codePage = CodePage::Gbk;  // not read at all; any value will do
    } else if (m_validUtf8 && m_pendingContinuation == 0 && m_sawNonAscii) {
        result.codePage = CodePage::Utf8;
    } else {
        result.codePage = FindDeclaredCodePage(head).value_or(CodePage::Gbk);
    }
    return result;
}

}  // namespace quernfold

#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace quernfold::bench {

/**
 * Deterministic page text for the micro-benchmarks: GBK characters, one in eight with a trail byte in the ASCII
 * range, mixed with ASCII words and a link to a page now and then; lines of 40..200 bytes ending in CR LF.
 */
class BenchText {
public:
    explicit BenchText(std::uint32_t seed) : m_random(seed) {}

    std::string GbkCharacter() {
        std::string c(2, '\0');
        if (Below(8) == 0) {
            c[0] = static_cast<char>(0x81 + Below(0x20));
            c[1] = static_cast<char>(0x40 + Below(0x3F));  // 0x40..0x7E: looks like ASCII to a byte scan
        } else {
            c[0] = static_cast<char>(0xB0 + Below(0x27));
            c[1] = static_cast<char>(0xA1 + Below(0x5E));
        }
        return c;
    }

    /** Text without markers, about `bytes` long, in whole lines. Every fourth line or so holds a link. */
    std::string PlainLines(std::size_t bytes) {
        std::string text;
        while (text.size() < bytes) {
            AppendProse(text, 40 + Below(160));
            if (Below(4) == 0) text += " <a href=\"/news/2004/item" + std::to_string(Below(10000)) + ".jsp\">more</a>";
            text += "\r\n";
        }
        return text;
    }

    /** Lines that each hold one to three code blocks between short runs of text. */
    std::string BlockDenseLines(std::size_t bytes) {
        static const char* const kCode[] = {
            "= count ", " out.print(title); ", " if (n > 3) { ", " } ", "=session.getAttribute(\"user\")", " i++; "};
        std::string text;
        while (text.size() < bytes) {
            const unsigned blocks = 1 + Below(3);
            for (unsigned i = 0; i < blocks; ++i) {
                AppendProse(text, 4 + Below(24));
                text += "<%";
                text += kCode[Below(6)];
                text += "%>";
            }
            AppendProse(text, Below(20));
            text += "\r\n";
        }
        return text;
    }

    void AppendProse(std::string& text, std::size_t bytes) {
        const std::size_t end = text.size() + bytes;
        while (text.size() < end) {
            const unsigned roll = Below(20);
            if (roll == 0) {
                text += " Web 2004 ";
            } else if (roll == 1) {
                text += " No. 5 v1.2 ";
            } else {
                text += GbkCharacter();
            }
        }
    }

private:
    unsigned Below(unsigned bound) { return std::uniform_int_distribution<unsigned>(0, bound - 1)(m_random); }

    std::mt19937 m_random;
};

}  // namespace quernfold::bench

#include "engine/platform/Transcode.h"

#include <iconv.h>

#include <array>
#include <cerrno>

#include "engine/text/AsciiText.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

// iconv, with descriptors kept per thread: conversions come one include target at a time, on many threads.

const char* IconvName(CodePage cp) {
    switch (cp) {
        case CodePage::Gbk:
            return "GBK";
        case CodePage::Gb18030:
            return "GB18030";
        case CodePage::Big5:
            return "BIG5";
        case CodePage::ShiftJis:
            return "CP932";  // Windows' Shift_JIS: 0x5C stays a backslash, which matters in paths
        case CodePage::SingleByte:
            return "ISO-8859-1";
        case CodePage::Utf8:
            break;
    }
    return "UTF-8";
}

class IconvCache {
public:
    IconvCache() { m_descriptors.fill(Invalid()); }
    ~IconvCache() {
        for (iconv_t cd : m_descriptors) {
            if (cd != Invalid()) {
                iconv_close(cd);
            }
        }
    }
    IconvCache(const IconvCache&) = delete;
    IconvCache& operator=(const IconvCache&) = delete;

    iconv_t Get(CodePage cp, bool toUtf8) {
        iconv_t& cd = m_descriptors[static_cast<std::size_t>(cp) * 2 + (toUtf8 ? 1 : 0)];
        if (cd == Invalid()) {
            cd = toUtf8 ? iconv_open("UTF-8", IconvName(cp)) : iconv_open(IconvName(cp), "UTF-8");
        } else {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
        }
        return cd;
    }

    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::array<iconv_t, 12> m_descriptors{};
};

std::optional<std::string> Convert(iconv_t cd, std::string_view input) {
    if (cd == IconvCache::Invalid()) {
        return std::nullopt;
    }
    std::string output(input.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());  // iconv's signature; it does not write the input
    std::size_t inLeft = input.size();
    std::size_t written = 0;
    bool flushing = false;
    for (;;) {
        char* out = output.data() + written;
        std::size_t outLeft = output.size() - written;
        const std::size_t result =
            flushing ? iconv(cd, nullptr, nullptr, &out, &outLeft) : iconv(cd, &in, &inLeft, &out, &outLeft);
        written = output.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) {
                break;
            }
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            return std::nullopt;  // EILSEQ: invalid or unrepresentable; EINVAL: cut off at the end
        }
        output.resize(output.size() * 2);
    }
    output.resize(written);
    return output;
}

bool IsAscii(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    return SkipAsciiBytes(data, 0, text.size()) == text.size();
}

std::optional<std::string> Transcode(CodePage cp, std::string_view text, bool toUtf8) {
    if (IsAscii(text)) {
        return std::string(text);  // every supported code page is ASCII-compatible
    }
    if (cp == CodePage::Utf8) {
        return IsValidUtf8(text) ? std::optional<std::string>(std::string(text)) : std::nullopt;
    }
    if (!toUtf8 && !IsValidUtf8(text)) {
        return std::nullopt;
    }
    thread_local IconvCache cache;
    return Convert(cache.Get(cp, toUtf8), text);
}

}  // namespace

std::optional<std::string> ToUtf8(CodePage cp, std::string_view text) {
    return Transcode(cp, text, true);
}

std::optional<std::string> FromUtf8(CodePage cp, std::string_view utf8) {
    return Transcode(cp, utf8, false);
}

bool CanConvert(CodePage cp) {
    if (cp == CodePage::Utf8) return true;
    thread_local IconvCache cache;
    return cache.Get(cp, true) != IconvCache::Invalid() && cache.Get(cp, false) != IconvCache::Invalid();
}

}  // namespace quernfold

#include "engine/text/Utf8.h"

namespace quernfold {

int Utf8LeadInfo(unsigned char lead, unsigned char& lo, unsigned char& hi) {
    lo = 0x80;
    hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 1;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (lead == 0xE0) {
            lo = 0xA0;
        } else if (lead == 0xED) {
            hi = 0x9F;
        }
        return 2;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0) {
            lo = 0x90;
        } else if (lead == 0xF4) {
            hi = 0x8F;
        }
        return 3;
    }
    return -1;
}

std::size_t Utf8SequenceLength(const unsigned char* data, std::size_t size) {
    if (data[0] < 0x80) {
        return 1;
    }
    unsigned char lo = 0;
    unsigned char hi = 0;
    const int continuations = Utf8LeadInfo(data[0], lo, hi);
    if (continuations < 0 || size <= static_cast<std::size_t>(continuations) || data[1] < lo || data[1] > hi) {
        return 0;
    }
    for (int i = 2; i <= continuations; ++i) {
        if (!IsUtf8Continuation(data[i])) {
            return 0;
        }
    }
    return static_cast<std::size_t>(continuations) + 1;
}

bool IsValidUtf8(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(data + i, text.size() - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace quernfold

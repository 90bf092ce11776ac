#pragma once

#include <cstddef>
#include <string_view>

namespace quernfold {

/**
 * The continuation bytes a UTF-8 lead byte announces (1..3), with the bounds lo..hi of the first one; those bounds
 * shut out overlong forms, surrogates and anything above U+10FFFF. -1 when the byte cannot lead a sequence.
 */
int Utf8LeadInfo(unsigned char lead, unsigned char& lo, unsigned char& hi);

/**
 * Length of the UTF-8 character at data[0] within size bytes (size > 0): 1 for ASCII, 2..4 for a valid multi-byte
 * sequence, 0 when data[0] does not start a valid character.
 */
std::size_t Utf8SequenceLength(const unsigned char* data, std::size_t size);

inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    return Utf8SequenceLength(reinterpret_cast<const unsigned char*>(text.data()) + at, text.size() - at);
}

/** Whether byte c can only continue a UTF-8 sequence, never start one. */
constexpr bool IsUtf8Continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

bool IsValidUtf8(std::string_view text);

}  // namespace quernfold

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quernfold {

/**
 * Text between the program (UTF-8 everywhere inside) and the W calls of Windows (UTF-16). Both directions refuse
 * what is not valid rather than put U+FFFD in its place: a name changed that way would name another file.
 */
std::optional<std::wstring> WideFromUtf8(std::string_view utf8);
std::optional<std::string> Utf8FromWide(std::wstring_view wide);

/** The text with every '/' turned into '\', the separator Windows shows; both are accepted in arguments. */
std::string WithBackslashes(std::string_view path);

/**
 * The path as the W file calls take it without the MAX_PATH limit: made absolute against the working folder
 * (GetFullPathNameW, which also resolves "." and ".." and turns '/' into '\'), then given the "\\?\" prefix
 * ("\\?\UNC\" for a share). A path that already has the prefix is passed on as it is. nullopt when the text is
 * not valid UTF-8 or the system cannot make it absolute.
 */
std::optional<std::wstring> ExtendedPath(std::string_view utf8Path);

}  // namespace quernfold

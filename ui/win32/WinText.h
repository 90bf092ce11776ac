#pragma once

#include <string>
#include <string_view>

namespace quernfold::win32 {

/** UTF-8 (the program's text) to UTF-16 (the W calls) and back; invalid input loses only what is invalid. */
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
/** Text in the ANSI code page (what an old program wrote with the A calls) as UTF-8. */
std::string Utf8FromAnsi(std::string_view ansi);

}  // namespace quernfold::win32

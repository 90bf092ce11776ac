#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/text/CodePage.h"

namespace quernfold {

/** Converts text in the code page to UTF-8 (for include targets used as file names); nullopt when invalid. */
std::optional<std::string> ToUtf8(CodePage cp, std::string_view text);

/** Converts UTF-8 text to the code page (for the type texts searched in pages); nullopt when not representable. */
std::optional<std::string> FromUtf8(CodePage cp, std::string_view utf8);

/** Whether this system has a converter for the code page at all; without one both conversions give nullopt. */
bool CanConvert(CodePage cp);

}  // namespace quernfold

#pragma once

namespace quernfold {

// The maker's details, shown in the credits line and the about window and opened from the help menu.
// Placeholders until the real ones are known; this is the only place in the code that names them (the packages'
// maintainer and home page, in packaging/CMakeLists.txt, use the same ones).
inline constexpr const char* kMakerName = "Varnholt";
inline constexpr const char* kMakerWebAddress = "https://www.varnholt.example";
inline constexpr const char* kMakerEmail = "support@varnholt.example";

}  // namespace quernfold

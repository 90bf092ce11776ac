#include "engine/text/Errors.h"

#include <cstring>

namespace quernfold {

std::string SystemReason(int errorNumber) {
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return ::strerror_r(errorNumber, buffer, sizeof buffer);
#elif defined(_WIN32)
    // The C runtime's text for its own errno values; Win32 error codes have theirs from the platform layer.
    if (::strerror_s(buffer, sizeof buffer, errorNumber) != 0) return "error " + std::to_string(errorNumber);
    return buffer;
#else
    if (::strerror_r(errorNumber, buffer, sizeof buffer) != 0) return "error " + std::to_string(errorNumber);
    return buffer;
#endif
}

}  // namespace quernfold

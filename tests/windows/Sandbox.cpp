// The Windows side of the suites' temporary folder: no modes to undo first, so the standard library removes it.
#include "tests/support/Sandbox.h"

#include <random>
#include <system_error>

namespace quernfold::test_support {

Sandbox::Sandbox() {
    std::random_device random;
    m_root = std::filesystem::temp_directory_path() / ("quernfold-sandbox-" + std::to_string(random()));
    std::filesystem::create_directories(m_root);
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

}  // namespace quernfold::test_support

#pragma once

#include <filesystem>

namespace quernfold::test_support {

/** A fresh temporary folder, removed with everything in it however deep or locked down (chmod 000 folders too). */
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& Root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

}  // namespace quernfold::test_support

#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quernfold {

/** A fresh folder under the system's temporary folder, removed with everything in it at the end of the test. */
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    /** The UTF-8 path of name inside the folder, with '\' separators. */
    std::string Path(std::string_view name = {}) const;
    /** Writes a file (its folders made first). */
    void Write(std::string_view name, std::string_view bytes) const;
    std::string Read(std::string_view name) const;
    /** The names directly inside the folder name, sorted. */
    std::string Names(std::string_view name = {}) const;

private:
    std::filesystem::path m_root;
};

}  // namespace quernfold

#include "tests/windows/TestFolder.h"

#include <windows.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

namespace quernfold {

namespace {

std::filesystem::path FromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string ToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace

TestFolder::TestFolder() {
    std::random_device random;
    m_root = std::filesystem::temp_directory_path() / ("quernfold-test-" + std::to_string(random()));
    std::filesystem::create_directories(m_root);
}

TestFolder::~TestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string TestFolder::Path(std::string_view name) const {
    std::string path = ToUtf8(name.empty() ? m_root : m_root / FromUtf8(name));
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

void TestFolder::Write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path path = m_root / FromUtf8(name);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + ToUtf8(path));
}

std::string TestFolder::Read(std::string_view name) const {
    std::ifstream file(m_root / FromUtf8(name), std::ios::binary);
    if (!file) return "<missing>";
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string TestFolder::Names(std::string_view name) const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(name.empty() ? m_root : m_root / FromUtf8(name))) {
        names.insert(ToUtf8(entry.path().filename()));
    }
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : " ") + n;
    return joined;
}

}  // namespace quernfold

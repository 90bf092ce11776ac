#include "tests/support/Files.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quernfold::test_support {

namespace fs = std::filesystem;

namespace {

std::string Escaped(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes.substr(0, 300)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    if (bytes.size() > 300) out += "...";
    return out;
}

// Paths are built by hand rather than with fs::relative, which follows links and so would name a link by its
// target, or throw on a loop.
void CollectTree(const fs::path& folder, const std::string& prefix, Tree& tree) {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string relative = prefix + entry.path().filename().string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            tree[relative] = "<link>";
        } else if (fs::is_directory(status)) {
            tree[relative] = "<folder>";
            CollectTree(entry.path(), relative + "/", tree);
        } else if (fs::is_regular_file(status)) {
            tree[relative] = ReadFile(entry.path());
        } else {
            tree[relative] = "<other>";
        }
    }
}

}  // namespace

void WriteFile(const fs::path& path, std::string_view bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void CopyTree(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

Tree ReadTree(const fs::path& root) {
    Tree tree;
    if (fs::exists(root)) CollectTree(root, "", tree);
    return tree;
}

std::string TreeDifferences(const Tree& expected, const Tree& actual) {
    std::string report;
    for (const auto& [path, bytes] : expected) {
        const auto found = actual.find(path);
        if (found == actual.end()) {
            report += "missing: " + path + "\n";
        } else if (found->second != bytes) {
            report += "differs: " + path + "\n  expected: " + Escaped(bytes) +
                      "\n  actual:   " + Escaped(found->second) + "\n";
        }
    }
    for (const auto& [path, bytes] : actual) {
        if (!expected.count(path)) report += "unexpected: " + path + " = " + Escaped(bytes) + "\n";
    }
    return report;
}

}  // namespace quernfold::test_support

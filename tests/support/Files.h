#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace quernfold::test_support {

/** Writes bytes to path, creating its folders; throws when it cannot, so a broken fixture is not a pass. */
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

/** The whole file's bytes; throws when it cannot be read. */
std::string ReadFile(const std::filesystem::path& path);

/** Copies a fixture folder (hidden entries and links as links) into to. */
void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to);

/**
 * Every entry below root, by relative path: a file maps to its bytes, a folder to "<folder>", a link to "<link>",
 * anything else to "<other>". Hidden entries (and any leftover temporary file) are included; links are not followed.
 */
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const std::filesystem::path& root);

/** A readable list of the differences between two trees; empty when they are equal. */
std::string TreeDifferences(const Tree& expected, const Tree& actual);

}  // namespace quernfold::test_support

#include "settings/IniFile.h"

#include <algorithm>

namespace quernfold {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

/** The name of a "[name]" line, or nullopt for any other line. A missing "]" ends the name at the line end. */
std::optional<std::string_view> SectionName(std::string_view line) {
    const auto trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() != '[') {
        return std::nullopt;
    }
    auto name = trimmed.substr(1);
    name = name.substr(0, name.find(']'));
    return TrimBlanks(name);
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    const auto trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') {
        return std::nullopt;
    }
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    const auto key = TrimBlanks(trimmed.substr(0, equals));
    if (key.empty()) {
        return std::nullopt;
    }
    return KeyLine{key, TrimBlanks(trimmed.substr(equals + 1))};
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile file;
    if (text.starts_with(kUtf8Bom)) {
        file.m_bom = kUtf8Bom;
        text.remove_prefix(kUtf8Bom.size());
    }
    bool sawLineEnd = false;
    while (!text.empty()) {
        const auto lf = text.find('\n');
        if (lf == std::string_view::npos) {
            file.m_lines.push_back({std::string(text), ""});
            break;
        }
        auto line = text.substr(0, lf);
        const bool crlf = line.ends_with('\r');
        if (crlf) line.remove_suffix(1);
        const std::string_view ending = crlf ? "\r\n" : "\n";
        if (!sawLineEnd) {
            file.m_newLine = ending;
            sawLineEnd = true;
        }
        file.m_lines.push_back({std::string(line), std::string(ending)});
        text.remove_prefix(lf + 1);
    }
    return file;
}

std::size_t IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = SectionName(m_lines[i].text);
        if (name && EqualsIgnoringAsciiCase(*name, section)) {
            return i;
        }
    }
    return std::string::npos;
}

std::size_t IniFile::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i].text)) {
        ++i;
    }
    return i;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (header == std::string::npos) {
        return std::nullopt;
    }
    const auto end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto entry = ParseKeyLine(m_lines[i].text);
        if (entry && EqualsIgnoringAsciiCase(entry->key, key)) {
            return std::string(entry->value);
        }
    }
    return std::nullopt;
}

void IniFile::InsertLine(std::size_t index, std::string text) {
    // A last line without a line end would otherwise run into the new one.
    if (index == m_lines.size() && !m_lines.empty() && m_lines.back().ending.empty()) {
        m_lines.back().ending = m_newLine;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index), Line{std::move(text), m_newLine});
}

void IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    value = value.substr(0, value.find_first_of("\r\n"));
    auto header = FindSection(section);
    if (header == std::string::npos) {
        std::string headerLine;
        headerLine.reserve(section.size() + 2);
        headerLine.append("[").append(section).append("]");
        InsertLine(m_lines.size(), std::move(headerLine));
        header = m_lines.size() - 1;
    }
    const auto end = SectionEnd(header);
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto entry = ParseKeyLine(m_lines[i].text);
        if (!entry) {
            continue;
        }
        if (EqualsIgnoringAsciiCase(entry->key, key)) {
            m_lines[i].text = std::string(entry->key) + "=" + std::string(value);
            return;
        }
        insertAt = i + 1;
    }
    InsertLine(insertAt, std::string(key) + "=" + std::string(value));
}

std::string IniFile::Text() const {
    std::string text = m_bom;
    for (const auto& line : m_lines) {
        text += line.text;
        text += line.ending;
    }
    return text;
}

}  // namespace quernfold

#pragma once

#include <string>
#include <string_view>

#include "engine/log/Sinks.h"

namespace quernfold {

/**
 * The log as one text: after a clear it starts with CR LF and it never ends with a line break. Appending costs
 * O(line), so a run of many pages does not slow down as the log grows.
 */
class LogText : public LogSink {
public:
    explicit LogText(std::string initial = {}) : m_text(std::move(initial)) {}

    void ClearLog() override { m_text.clear(); }
    void AppendLog(std::string_view line) override {
        m_text += "\r\n";
        m_text += line;
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace quernfold

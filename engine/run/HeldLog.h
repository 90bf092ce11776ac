#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/log/Sinks.h"
#include "engine/page/OutputSink.h"

namespace quernfold {

/**
 * The log lines of the page being converted, held until the page has its result: a page abandoned on a stop
 * request leaves only its two opening lines, whatever it had warned about, as a page converted ahead does.
 */
class HeldLog : public LogSink {
public:
    explicit HeldLog(LogSink& log) : m_log(log) {}
    void ClearLog() override { m_log.ClearLog(); }
    void AppendLog(std::string_view line) override { m_held.emplace_back(line); }
    void Release() {
        for (const std::string& line : m_held) m_log.AppendLog(line);
        m_held.clear();
    }
    void Drop() { m_held.clear(); }

private:
    LogSink& m_log;
    std::vector<std::string> m_held;
};

/** Swallows what a look-ahead expansion would log or write. */
struct Discarding : LogSink, OutputSink {
    void ClearLog() override {}
    void AppendLog(std::string_view) override {}
    void Write(std::string_view) override {}
};

}  // namespace quernfold

#pragma once

#include <string>
#include <string_view>

#include "engine/CodePage.h"

namespace quernfold {

/** Where the bytes of one output page go. A failed write throws OutputError. */
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void Write(std::string_view bytes) = 0;

    /**
     * Tells the sink in which code page the bytes that follow are written (an included file may differ from its
     * page); returns the one it replaces. Only a sink that reads what it is given cares.
     */
    virtual CodePage SwitchCodePage(CodePage cp) { return cp; }

    /** Writes one line of output: its bytes followed by CR LF. */
    void WriteLine(std::string_view line) {
        Write(line);
        Write("\r\n");
    }
};

/** Collects the output in memory (tests, the fuzzer). */
class StringOutput : public OutputSink {
public:
    void Write(std::string_view bytes) override { m_text.append(bytes); }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace quernfold

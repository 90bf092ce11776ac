#pragma once

#include <string>
#include <string_view>

#include "engine/text/CodePage.h"
#include "engine/site/SiteFiles.h"

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

/** One output page being written: it reaches its name only when Publish is called, else nothing is left. */
class PageOutput : public OutputSink {
public:
    /** Puts the page in place. Throws OutputError, leaving what stood at the name before as it was. */
    virtual void Publish() = 0;
    /** Throws the page away; what stood at its name stays. */
    virtual void Discard() noexcept = 0;
    /** Identity of the page's file (kept once published); 0/0 when unknown. */
    virtual FileId Id() const = 0;
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

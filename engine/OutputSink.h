#pragma once

#include <string>
#include <string_view>

namespace quernfold {

/** Where the bytes of one output page go. A failed write throws OutputError. */
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void Write(std::string_view bytes) = 0;

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

#include "engine/platform/StandardStreams.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "engine/platform/windows/WideText.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

DWORD HandleNumber(StandardStream stream) {
    switch (stream) {
    case StandardStream::Input:
        return STD_INPUT_HANDLE;
    case StandardStream::Output:
        return STD_OUTPUT_HANDLE;
    case StandardStream::Error:
        break;
    }
    return STD_ERROR_HANDLE;
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

/**
 * UTF-8 text shown on a console through WriteConsoleW. A character cut between two writes waits for its last
 * bytes; bytes that are not UTF-8 show as U+FFFD rather than being dropped.
 */
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : m_console(console) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) m_pending.push_back(static_cast<char>(c));
        if (m_pending.size() >= 4096) Show(false);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        m_pending.append(text, static_cast<std::size_t>(count));
        if (m_pending.size() >= 4096) Show(false);
        return count;
    }
    int sync() override { return Show(true) ? 0 : -1; }

private:
    // The end of the bytes that form whole characters: a character cut at the end waits for its last bytes.
    static std::size_t CompleteEnd(const std::string& text) {
        const std::size_t size = text.size();
        for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
            const auto c = static_cast<unsigned char>(text[size - back]);
            if (IsUtf8Continuation(c)) continue;
            const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            return needed > back ? size - back : size;
        }
        return size;
    }

    bool Show(bool all) {
        const std::size_t end = all ? m_pending.size() : CompleteEnd(m_pending);
        const int size = static_cast<int>(end);
        std::wstring wide(end, L'\0');
        const int length =
            size == 0 ? 0 : ::MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), size, wide.data(), size);
        m_pending.erase(0, end);
        DWORD written = 0;
        return length == 0 || ::WriteConsoleW(m_console, wide.data(), static_cast<DWORD>(length), &written, nullptr);
    }

    HANDLE m_console;
    std::string m_pending;
};

}  // namespace

namespace {

bool g_closedAtStart[3] = {false, false, false};

}  // namespace

void OpenClosedStandardStreams() noexcept {
    // A program started without standard handles (from a service, or with them closed) gets NUL for each, so no
    // file it opens later takes their place in the C runtime.
    static const char* const kModes[] = {"r", "w", "w"};
    FILE* const streams[] = {stdin, stdout, stderr};
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) != -1 && ::_get_osfhandle(fd) != -2) continue;
        g_closedAtStart[fd] = true;
        FILE* reopened = std::freopen("NUL", kModes[fd], streams[fd]);
        (void)reopened;
    }
}

bool WasClosedAtStart(StandardStream stream) noexcept {
    return g_closedAtStart[stream == StandardStream::Input ? 0 : stream == StandardStream::Output ? 1 : 2];
}

bool ReaderIsGone(StandardStream stream) noexcept {
    // A pipe whose reading end is closed refuses even an empty write (ERROR_NO_DATA); a live one takes it.
    const HANDLE handle = ::GetStdHandle(HandleNumber(stream));
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_PIPE) return false;
    DWORD written = 0;
    if (::WriteFile(handle, "", 0, &written, nullptr)) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

bool IsTerminal(StandardStream stream) noexcept { return IsConsole(::GetStdHandle(HandleNumber(stream))); }

int TerminalColumns(StandardStream stream) noexcept {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(HandleNumber(stream)), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0) return width;
    }
    if (const char* columns = std::getenv("COLUMNS")) {
        char* end = nullptr;
        const long value = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && value > 0 && value < 10000) return static_cast<int>(value);
    }
    return 80;
}

// Windows has no signal for a reader gone away or a size limit: both already show as failed writes.
void KeepRunningOnFailedWrites() noexcept {}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    // argv holds the arguments in the ANSI code page, which loses every character outside it.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        std::optional<std::string> arg = Utf8FromWide(wide[i]);
        if (!arg) {
            // A lone surrogate: shown as U+FFFD; a name holding one cannot be given on the command line.
            const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            arg = std::string(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg->data(), size, nullptr, nullptr);
        }
        args.push_back(std::move(*arg));
    }
    ::LocalFree(wide);
    return args;
}

void UseUtf8StandardStreams() {
    // The log's bytes as they are, "\n" included: text mode would write "\r\n" for it.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    // Never destroyed: the streams are flushed at exit, after function-local objects may be gone.
    if (const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE); IsConsole(out)) std::cout.rdbuf(new ConsoleBuffer(out));
    if (const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE); IsConsole(err)) std::cerr.rdbuf(new ConsoleBuffer(err));
}

}  // namespace quernfold

// quernfold-cli.exe stopped by Ctrl-C on its console: the run ends cleanly (the stop line, the summary, the --log
// file, only whole pages, status 130), as on Linux. The test attaches to the program's own console to send it;
// Ctrl-Break and a closed window, which Wine cannot send, are delivered to the handler in StopSignalsTest.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "tests/windows/TestFolder.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

constexpr int kPages = 300;

std::wstring Wide(const std::string& utf8) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

/** The program under test, whose path the build gives in the build machine's form. */
std::wstring CliPath() {
    std::wstring path = Wide(QUERNFOLD_CLI_EXE);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path.rfind(L"\\", 0) == 0 ? L"Z:" + path : path;
}

std::string PageName(int i) {
    const std::string digits = std::to_string(i);
    return "p" + std::string(4 - std::min<std::size_t>(4, digits.size()), '0') + digits;
}

void GenerateSite(const TestFolder& work) {
    work.Write("site/inc/head.inc", "<title>t</title>\r\n<%@ include file=\"/inc/nav.inc\" %>\r\n");
    work.Write("site/inc/nav.inc", "<a href=\"/index.jsp\">home</a>\n");
    for (int i = 0; i < kPages; ++i) {
        work.Write("site/s" + std::to_string(i / 100) + "/" + PageName(i) + ".jsp",
                   "<%@ include file=\"/inc/head.inc\" %>\r\n<p>page " + std::to_string(i) + " <a href=\"" +
                       PageName(i + 1) + ".jsp\">next</a></p>\r\n<% int x = " + std::to_string(i) + "; %>\r\n");
    }
}

Tree ReadTree(const fs::path& root) {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::u8string name = fs::relative(entry.path(), root).generic_u8string();
        std::string key(reinterpret_cast<const char*>(name.data()), name.size());
        if (entry.is_directory()) {
            tree[key] = "<folder>";
            continue;
        }
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        tree[key] = bytes.str();
    }
    return tree;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

std::string Summary(std::size_t pages) {
    const std::string stars(78, '*');
    const std::string n = std::to_string(pages);
    return stars + "\n共转换文件" + n + "个\n其中：成功" + n + "个\n      失败0个\n转换过程中共发生0次异常警告\n" +
           stars + "\n";
}

/** The --log file's text for the lines stdout shows: CR LF before each line instead of LF after it. */
std::string LogText(const std::string& lines) {
    std::string text;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        text += "\r\n" + lines.substr(start, end - start);
        start = end + 1;
    }
    return text;
}

HANDLE InheritedFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Windows delivers the event to every process on the console, the sender too: the test keeps running.
BOOL WINAPI IgnoreInTheTest(DWORD) {
    return TRUE;
}

struct Stopped {
    DWORD status = 0;
    std::string out;
    std::string err;
};

/** Runs the program on a console of its own in work; with sendCtrlC, sends Ctrl-C once 20 pages are written. */
Stopped RunAndStop(const TestFolder& work, const std::string& arguments, bool sendCtrlC) {
    HANDLE in = InheritedFile("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = InheritedFile(work.Path("stdout"), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = InheritedFile(work.Path("stderr"), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring commandLine = L"\"" + CliPath() + L"\" " + Wide(arguments);
    PROCESS_INFORMATION process{};
    const std::wstring folder = Wide(work.Path());
    const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE,
                                          nullptr, folder.c_str(), &startup, &process);
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    Stopped result;
    if (!started) {
        ADD_FAILURE() << "cannot start " << QUERNFOLD_CLI_EXE << ": error " << ::GetLastError();
        return result;
    }
    // Sent once some pages are written; the polling only waits, nothing is timed.
    bool endedFirst = false;
    while (sendCtrlC && CountOf(work.Read("stdout"), ">>生成") < 20) {
        if (::WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            endedFirst = true;  // the status check below fails
            break;
        }
    }
    if (sendCtrlC && !endedFirst) {
        ::FreeConsole();
        EXPECT_TRUE(::AttachConsole(process.dwProcessId)) << "error " << ::GetLastError();
        ::SetConsoleCtrlHandler(IgnoreInTheTest, TRUE);
        EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << "error " << ::GetLastError();
    }
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    ::FreeConsole();
    ::GetExitCodeProcess(process.hProcess, &result.status);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    result.out = work.Read("stdout");
    result.err = work.Read("stderr");
    return result;
}

class ConsoleStop : public testing::TestWithParam<const char*> {
protected:
    // One whole run of the site, for every case to compare with.
    static void SetUpTestSuite() {
        const TestFolder full;
        GenerateSite(full);
        const Stopped run = RunAndStop(full, "--mkdir site out", false);
        ASSERT_EQ(run.status, 0u) << run.err;
        s_fullTree = new Tree(ReadTree(fs::path(Wide(full.Path("out")))));
    }
    static void TearDownTestSuite() { delete s_fullTree; }
    static Tree* s_fullTree;
};

Tree* ConsoleStop::s_fullTree = nullptr;

TEST_P(ConsoleStop, CtrlCLeavesWholePagesTheSummaryAndTheLog) {
    ASSERT_NE(s_fullTree, nullptr);
    const TestFolder work;
    GenerateSite(work);
    fs::create_directory(Wide(work.Path("out")));
    const Stopped stopped = RunAndStop(work, std::string("--jobs ") + GetParam() + " --log run.log site out", true);

    EXPECT_EQ(stopped.status, 130u) << stopped.err;
    const std::size_t converted = CountOf(stopped.out, ">>生成");
    EXPECT_LT(converted, static_cast<std::size_t>(kPages));
    const std::string ending = "转换已被用户中止\n" + Summary(converted);
    ASSERT_GE(stopped.out.size(), ending.size());
    EXPECT_EQ(stopped.out.substr(stopped.out.size() - ending.size()), ending);
    EXPECT_EQ(stopped.err, "");
    EXPECT_EQ(work.Read("run.log"), LogText(stopped.out));
    // Exactly the pages logged as generated, each whole; no temporary file left.
    std::size_t files = 0;
    for (const auto& [path, bytes] : ReadTree(fs::path(Wide(work.Path("out"))))) {
        EXPECT_EQ(path.find(".quernfold-"), std::string::npos) << path;
        ASSERT_TRUE(s_fullTree->count(path)) << path;
        EXPECT_EQ(bytes, s_fullTree->at(path)) << path;
        files += bytes != "<folder>";
    }
    EXPECT_EQ(files, converted);
}

INSTANTIATE_TEST_SUITE_P(Jobs, ConsoleStop, testing::Values("1", "4"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string("Jobs") + info.param;
                         });

}  // namespace
}  // namespace quernfold

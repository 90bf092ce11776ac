#include "tests/cli/CliTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace quernfold::testing_support {

namespace fs = std::filesystem;

namespace {

// Removes everything inside the folder open as dirFd, relative to it, so no path ever grows long: a test may
// build a tree deeper than the system's path limit, and chmod 000 folders are opened up first.
void RemoveContents(int dirFd) {
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            ::fchmodat(dirFd, name.c_str(), 0700, 0);
            const int child = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) RemoveContents(child);
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

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

void CollectTree(const fs::path& root, const fs::path& folder, Tree& tree) {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_directory(status)) {
            tree[relative] = "<folder>";
            CollectTree(root, entry.path(), tree);
        } else if (fs::is_regular_file(status)) {
            tree[relative] = ReadFile(entry.path());
        } else {
            tree[relative] = "<other>";
        }
    }
}

}  // namespace

Sandbox::Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "quernfold-cli-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    m_root = pattern;
}

Sandbox::~Sandbox() {
    const int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) RemoveContents(fd);
    ::rmdir(m_root.c_str());
}

void CopyTree(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

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

Tree ReadTree(const fs::path& root) {
    Tree tree;
    if (fs::exists(root)) CollectTree(root, root, tree);
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

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    const Sandbox capture;
    const std::string outPath = (capture.Root() / "stdout").string();
    const std::string errPath = (capture.Root() / "stderr").string();
    const std::string workDir = options.workDir.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::dup2(in, 0) < 0) _exit(126);
        ::close(out);
        ::close(err);
        ::close(in);
        for (const int fd : options.closedDescriptors) ::close(fd);
        if (::chdir(workDir.c_str()) != 0) _exit(126);
        if (options.fileSizeLimit) {
            const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        ::execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "waitpid");
    }
    ProcessResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

std::string LogTextFromLines(std::string_view lines) {
    std::string text;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos) end = lines.size();
        text += "\r\n";
        text.append(lines.substr(start, end - start));
        start = end + 1;
    }
    return text;
}

std::string BannerProblems(std::string_view lines) {
    std::string report;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos) end = lines.size();
        const std::string_view line = lines.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line.find_first_not_of(line.front()) != std::string_view::npos) continue;
        const std::size_t wanted = line.front() == '=' ? 77 : line.front() == '#' ? 79 : line.front() == '*' ? 78 : 0;
        if (wanted != 0 && line.size() != wanted) {
            report += std::string(1, line.front()) + " banner of " + std::to_string(line.size()) + " characters\n";
        }
    }
    return report;
}

}  // namespace quernfold::testing_support

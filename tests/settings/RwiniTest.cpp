#include "settings/Rwini.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

using test_support::FileSizeLimit;
using test_support::ReadFile;
using test_support::WriteFile;

namespace fs = std::filesystem;

class RwiniTest : public testing::Test {
protected:
    test_support::Sandbox m_folder;
    fs::path m_ini = m_folder.Root() / "config.ini";
    Rwini m_store{m_ini.string()};
};

TEST_F(RwiniTest, FirstStartWritesTheFourKeysInReadOrderWithTheirDefaults) {
    EXPECT_EQ(m_store.ReadIni("sys", "workPath", "/opt/quernfold/"), "/opt/quernfold/");
    EXPECT_EQ(m_store.ReadIni("sys", "outputDir", "/home/u/"), "/home/u/");
    EXPECT_EQ(m_store.ReadIni("sys", "srcType", "jsp"), "jsp");
    EXPECT_EQ(m_store.ReadIni("sys", "outputType", "html"), "html");
    EXPECT_EQ(ReadFile(m_ini), "[sys]\nworkPath=/opt/quernfold/\noutputDir=/home/u/\nsrcType=jsp\noutputType=html\n");
}

TEST_F(RwiniTest, StoredValueIsReturnedAsWrittenAndNotOverwritten) {
    WriteFile(m_ini, "[sys]\nsrcType=JSP\n");
    EXPECT_EQ(m_store.ReadIni("sys", "srcType", "jsp"), "JSP");
    EXPECT_EQ(ReadFile(m_ini), "[sys]\nsrcType=JSP\n");
}

TEST_F(RwiniTest, EmptyValueIsReplacedByTheDefaultInPlaceKeepingCrLf) {
    WriteFile(m_ini, "[sys]\r\nworkPath=\r\noutputDir=/out/\r\n");
    EXPECT_EQ(m_store.ReadIni("sys", "workPath", "/opt/q/"), "/opt/q/");
    EXPECT_EQ(ReadFile(m_ini), "[sys]\r\nworkPath=/opt/q/\r\noutputDir=/out/\r\n");
}

TEST_F(RwiniTest, WrittenValueIsSeenByTheNextRead) {
    m_store.WriteIni("sys", "workPath", "");
    EXPECT_EQ(m_store.ReadIni("sys", "workPath", "/d/"), "/d/");
    m_store.WriteIni("sys", "workPath", "/picked/");
    EXPECT_EQ(m_store.ReadIni("sys", "workPath", "/d/"), "/picked/");
    EXPECT_EQ(ReadFile(m_ini), "[sys]\nworkPath=/picked/\n");
}

TEST_F(RwiniTest, LongValuesComeBackWhole) {
    for (const std::size_t length : {143u, 144u, 1000u}) {
        std::string value = "/";
        while (value.size() < length) {
            value += (value.size() % 7 == 0) ? "/" : "x";
        }
        m_store.WriteIni("sys", "workPath", value);
        EXPECT_EQ(m_store.ReadIni("sys", "workPath", "/d/"), value) << length;
    }
    const std::string cjk = "/网站/" + std::string(330, 'a') + "/根目录/";  // multi-byte past any old buffer
    m_store.WriteIni("sys", "outputDir", cjk);
    EXPECT_EQ(m_store.ReadIni("sys", "outputDir", "/d/"), cjk);
}

TEST_F(RwiniTest, UnknownSectionsKeysAndCommentsSurviveAWrite) {
    const std::string before = "; my notes\n[view]\nzoom=2\n\n[sys]\nlegacy=1\nworkPath=/a/\n;keep\n[z]\nq=w";
    WriteFile(m_ini, before);
    m_store.WriteIni("SYS", "WORKPATH", "/b/");
    m_store.WriteIni("sys", "srcType", "asp");
    EXPECT_EQ(ReadFile(m_ini),
              "; my notes\n[view]\nzoom=2\n\n[sys]\nlegacy=1\nworkPath=/b/\nsrcType=asp\n;keep\n[z]\nq=w");
}

TEST_F(RwiniTest, WriteKeepsThePermissionsOfTheFile) {
    WriteFile(m_ini, "[sys]\n");
    fs::permissions(m_ini, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    m_store.WriteIni("sys", "srcType", "asp");
    EXPECT_EQ(fs::status(m_ini).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(RwiniTest, WriteThroughASymbolicLinkKeepsTheLink) {
    const auto real = m_folder.Root() / "real.ini";
    WriteFile(real, "[sys]\n");
    fs::create_symlink(real, m_ini);
    m_store.WriteIni("sys", "srcType", "asp");
    EXPECT_TRUE(fs::is_symlink(m_ini));
    EXPECT_EQ(ReadFile(real), "[sys]\nsrcType=asp\n");
}

// Root may write any file, so what a user's permissions decide is tried as nobody when the tests run as root.
int WriteAsOrdinaryUser(const fs::path& ini) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0) {
                _exit(3);
            }
        }
        Rwini store(ini.string());
        store.WriteIni("sys", "srcType", "asp");
        _exit(store.LastError().empty() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RwiniPermissions, TheUsersPermissionsDecideAndNothingElseChanges) {
    struct Row {
        const char* name;
        fs::perms fileMode, folderMode;
        bool linked;        // config.ini is a link to real.ini beside it
        bool written;       // the new value reaches the file
    };
    const fs::perms r = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms rw = r | fs::perms::owner_write;
    const fs::perms rx = r | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    const fs::perms rwx = rx | fs::perms::owner_write;
    const Row rows[] = {
        {"ReadOnlyFileIsLeftByteIdentical", r, rwx, false, false},
        {"WritableFileInAReadOnlyFolderIsWrittenInPlace", rw, rx, false, true},
        {"LinkedFileStaysALink", rw, rwx, true, true},
        {"ReadOnlyFileBehindALinkIsLeftAlone", r, rwx, true, false},
    };
    for (const Row& row : rows) {
        test_support::Sandbox folder;
        const fs::path ini = folder.Root() / "config.ini";
        const fs::path file = row.linked ? folder.Root() / "real.ini" : ini;
        const std::string before = "; mine\r\n[sys]\r\nsrcType=jsp\r\n";
        WriteFile(file, before);
        if (row.linked) fs::create_symlink("real.ini", ini);
        if (::geteuid() == 0) {
            ASSERT_EQ(::lchown(file.c_str(), 65534, 65534), 0);
            ASSERT_EQ(::lchown(ini.c_str(), 65534, 65534), 0);
            ASSERT_EQ(::chown(folder.Root().c_str(), 65534, 65534), 0);
        }
        fs::permissions(file, row.fileMode);
        fs::permissions(folder.Root(), row.folderMode);
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        const ino_t inode = info.st_ino;

        const int status = WriteAsOrdinaryUser(ini);

        fs::permissions(folder.Root(), rwx);
        EXPECT_EQ(status, row.written ? 0 : 1) << row.name;
        EXPECT_EQ(ReadFile(file), row.written ? "; mine\r\n[sys]\r\nsrcType=asp\r\n" : before) << row.name;
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, row.fileMode) << row.name;
        EXPECT_EQ(fs::is_symlink(ini), row.linked) << row.name;
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Root())) ++entries;
        EXPECT_EQ(entries, row.linked ? 2u : 1u) << row.name;
        // Left alone means left alone: not even replaced by an identical copy.
        if (!row.written) {
            ASSERT_EQ(::stat(file.c_str(), &info), 0);
            EXPECT_EQ(info.st_ino, inode) << row.name;
        }
    }
}

// Run as whoever runs the tests, root included: root may write any file, but one without a single write bit was
// made read-only on purpose and is left alone, while a write bit for anybody lets root rewrite it.
TEST(RwiniPermissions, FileWithoutAnyWriteBitIsLeftAloneEvenByRoot) {
    struct Row {
        fs::perms mode;
        bool written;
        bool onlyForRoot;
    };
    using P = fs::perms;
    const Row rows[] = {
        {P::owner_read | P::group_read | P::others_read, false, false},  // 0444
        {P::owner_read, false, false},                                   // 0400
        {P::none, false, true},                                          // 0000: unreadable to anybody but root
        {P::owner_read | P::owner_write | P::group_read, true, false},   // 0640
        {P::group_read | P::group_write, true, true},                    // 0060: root writes it
    };
    for (const Row& row : rows) {
        if (row.onlyForRoot && ::geteuid() != 0) continue;
        SCOPED_TRACE(std::to_string(static_cast<int>(row.mode)));
        test_support::Sandbox folder;
        const fs::path ini = folder.Root() / "config.ini";
        const std::string before = "[sys]\nsrcType=jsp\n";
        WriteFile(ini, before);
        fs::permissions(ini, row.mode);
        struct stat info {};
        ASSERT_EQ(::stat(ini.c_str(), &info), 0);
        const ino_t inode = info.st_ino;

        Rwini store(ini.string());
        store.WriteIni("sys", "srcType", "asp");

        fs::permissions(ini, P::owner_read | P::owner_write);
        EXPECT_EQ(ReadFile(ini), row.written ? "[sys]\nsrcType=asp\n" : before);
        EXPECT_EQ(store.LastError().empty(), row.written) << store.LastError();
        ASSERT_EQ(::stat(ini.c_str(), &info), 0);
        if (!row.written) {
            EXPECT_EQ(info.st_ino, inode);
        }
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Root())) ++entries;
        EXPECT_EQ(entries, 1u);
    }
}

TEST_F(RwiniTest, FolderThatDoesNotExistGivesDefaultsAndNoError) {
    Rwini store((m_folder.Root() / "missing" / "config.ini").string());
    EXPECT_EQ(store.ReadIni("sys", "srcType", "jsp"), "jsp");
    EXPECT_FALSE(store.LastError().empty());
    EXPECT_FALSE(fs::exists(m_folder.Root() / "missing"));
}

TEST_F(RwiniTest, WriteThatRunsOutOfSpaceLeavesTheOldFileWholeAndNoTemporaryFile) {
    const std::string before = "[sys]\nworkPath=/kept/\nsrcType=jsp\n";
    WriteFile(m_ini, before);
    {
        FileSizeLimit limit(64);  // the write fails part way, as on a full disk
        m_store.WriteIni("sys", "outputDir", std::string(500, 'x'));
    }
    EXPECT_NE(m_store.LastError().find("cannot write"), std::string::npos) << m_store.LastError();
    EXPECT_EQ(ReadFile(m_ini), before);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_folder.Root())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(m_store.ReadIni("sys", "workPath", "/d/"), "/kept/");
}

TEST_F(RwiniTest, UnreadableFileIsNotReplaced) {
    fs::create_directory(m_ini);  // a folder where the file should be: reading fails, not "missing"
    m_store.WriteIni("sys", "srcType", "asp");
    EXPECT_TRUE(fs::is_directory(m_ini));
    EXPECT_FALSE(m_store.LastError().empty());
}

/** Sets or unsets an environment variable for one test. */
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(DefaultConfigPathTest, UsesXdgConfigHomeAndCreatesTheFolder) {
    test_support::Sandbox folder;
    ScopedEnv xdg("XDG_CONFIG_HOME", folder.Root().c_str());
    EXPECT_EQ(DefaultConfigPath(), (folder.Root() / "quernfold" / "config.ini").string());
    EXPECT_TRUE(fs::is_directory(folder.Root() / "quernfold"));
}

TEST(DefaultConfigPathTest, FallsBackToDotConfigInHomeWhenUnsetOrRelative) {
    test_support::Sandbox folder;
    ScopedEnv home("HOME", folder.Root().c_str());
    for (const char* xdg : {static_cast<const char*>(nullptr), "relative/dir"}) {
        ScopedEnv env("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(DefaultConfigPath(), (folder.Root() / ".config" / "quernfold" / "config.ini").string());
        EXPECT_TRUE(fs::is_directory(folder.Root() / ".config" / "quernfold"));
    }
}

}  // namespace
}  // namespace quernfold

// What Windows shows of both programs (Properties, Explorer, the taskbar): the version block, the copyright line
// of LICENSE, the icon, and the manifest's long paths and per-monitor DPI awareness.
#include <algorithm>
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "ui/win32/WinText.h"

namespace {

using quernfold::win32::Utf8;
using quernfold::win32::Wide;

/** A path of the build machine as Wine shows it: the whole file system is drive Z:. */
std::wstring OnDriveZ(const std::string& unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

/** One string of the version block's Chinese (PRC), UTF-16 table. */
std::string VersionString(const std::wstring& program, const wchar_t* name) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    if (size == 0) return "<no version block>";
    std::string block(size, '\0');
    if (!GetFileVersionInfoW(program.c_str(), 0, size, block.data())) return "<unreadable>";
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) return "<missing>";
    return Utf8(std::wstring(static_cast<const wchar_t*>(value), length - 1));
}

VS_FIXEDFILEINFO FixedInfo(const std::wstring& program) {
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeW(program.c_str(), &ignored), '\0');
    VS_FIXEDFILEINFO info{};
    void* value = nullptr;
    UINT length = 0;
    if (!block.empty() && GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) &&
        VerQueryValueW(block.data(), L"\\", &value, &length) && length == sizeof(info)) {
        info = *static_cast<VS_FIXEDFILEINFO*>(value);
    }
    return info;
}

/** The bytes of the program's resource of the given type and number, "" when it has none. */
std::string Resource(const std::wstring& program, LPCWSTR type, int number) {
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return "";
    std::string bytes;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(number), type)) {
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        bytes.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

std::string LicenseCopyright() {
    HANDLE file = CreateFileW(OnDriveZ(QUERNFOLD_LICENSE).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    std::string text(4096, '\0');
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
        CloseHandle(file);
    }
    text.resize(read);
    const std::size_t start = text.find("\nCopyright ");
    if (start == std::string::npos) return "<no copyright line in LICENSE>";
    const std::size_t end = text.find_first_of("\r\n", start + 1);
    return text.substr(start + 1, end - start - 1);
}

class ProgramResources : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgramResources, VersionCopyrightIconAndManifest) {
    const std::wstring program = OnDriveZ(GetParam());
    const std::string fileName = Utf8(program.substr(program.find_last_of(L'\\') + 1));
    EXPECT_EQ(VersionString(program, L"ProductName"), "Quernfold");
    EXPECT_EQ(VersionString(program, L"ProductVersion"), QUERNFOLD_VERSION);
    EXPECT_EQ(VersionString(program, L"FileVersion"), QUERNFOLD_VERSION);
    EXPECT_EQ(VersionString(program, L"OriginalFilename"), fileName);
    EXPECT_EQ(VersionString(program, L"LegalCopyright"), LicenseCopyright());
    const VS_FIXEDFILEINFO fixed = FixedInfo(program);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(QUERNFOLD_VERSION_MINOR, QUERNFOLD_VERSION_MAJOR));
    EXPECT_EQ(HIWORD(fixed.dwProductVersionLS), QUERNFOLD_VERSION_PATCH);

    // The icon group Explorer and the taskbar show, with a 16 by 16 picture among its sizes.
    const std::string icons = Resource(program, RT_GROUP_ICON, 1);
    ASSERT_GE(icons.size(), 6u);
    const int count = static_cast<unsigned char>(icons[4]) | static_cast<unsigned char>(icons[5]) << 8;
    bool small = false;
    for (int i = 0; i < count && 6 + 14 * (i + 1) <= static_cast<int>(icons.size()); ++i) {
        small = small || (icons[static_cast<std::size_t>(6 + 14 * i)] == 16 && icons[static_cast<std::size_t>(7 + 14 * i)] == 16);
    }
    EXPECT_TRUE(small) << count << " pictures";

    const std::string manifest = Resource(program, RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<"),
              std::string::npos);
    EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, ProgramResources, ::testing::Values(QUERNFOLD_WINDOW_PATH, QUERNFOLD_CLI_PATH));

TEST(WindowManifest, PerMonitorDpiAwarenessAndCommonControls) {
    const std::string manifest = Resource(OnDriveZ(QUERNFOLD_WINDOW_PATH), RT_MANIFEST, 1);
    EXPECT_NE(manifest.find(">PerMonitorV2</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace

// Takes the Windows window's picture for the README: starts quernfold.exe (beside this program), converts the site
// its settings name, answers the summary box and saves the window as it then looks, a 24-bit BMP.
// Usage: win32_window_shot.exe OUTPUT.bmp      (scripts/screenshot.sh runs it under Wine on a virtual display)
#include <cstdio>
#include <string>

#include <windows.h>

#include "ui/core/MainForm.h"

namespace {

/** A shown window of the process; a first start in a new Wine prefix takes a while. */
HWND WindowOf(DWORD processId, const wchar_t* className, const wchar_t* title) {
    for (int i = 0; i < 1200; ++i) {
        for (HWND found = FindWindowExW(nullptr, nullptr, className, title); found;
             found = FindWindowExW(nullptr, found, className, title)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == processId && IsWindowVisible(found)) return found;
        }
        Sleep(50);
    }
    return nullptr;
}

/** The window numbers its controls from 100 in the form table's order. */
int ConvertButtonId() {
    const auto controls = quernfold::MainFormControls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].name == "cmdConvert") return 100 + static_cast<int>(i);
    }
    return 0;
}

/** The screen's pixels under the window, frame and menu included, written as a bottom-up 24-bit BMP. */
bool SaveWindow(HWND window, const wchar_t* path) {
    RECT area;
    GetWindowRect(window, &area);
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    GetDIBits(memory, picture, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path, L"wb");
    if (!out) return false;
    const bool written = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1 &&
                         fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return fclose(out) == 0 && written;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fwprintf(stderr, L"usage: win32_window_shot.exe OUTPUT.bmp\n");
        return 2;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = L"quernfold.exe";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fwprintf(stderr, L"quernfold.exe did not start\n");
        return 1;
    }
    int status = 1;
    if (HWND window = WindowOf(process.dwProcessId, L"QuernfoldMainWindow", L"Quernfold")) {
        SetForegroundWindow(window);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(ConvertButtonId(), BN_CLICKED), 0);
        if (HWND box = WindowOf(process.dwProcessId, L"#32770", L"提示")) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
        }
        Sleep(1000);  // the log pane and the buttons repaint after the run
        status = SaveWindow(window, argv[1]) ? 0 : 1;
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
        fwprintf(stderr, L"no window\n");
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

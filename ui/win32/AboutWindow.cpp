#include "ui/win32/AboutWindow.h"

#include <string>

#include "ui/MakerInfo.h"
#include "ui/win32/WinText.h"

namespace quernfold::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuernfoldAboutWindow";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int kButtonId = 100;

struct AboutControl {
    const wchar_t* className;
    DWORD style;
    std::string caption;
    int left, top, width, height;  // twips, in the client area
};

}  // namespace

AboutWindow::~AboutWindow() {
    if (m_window) DestroyWindow(m_window);
    if (m_font) DeleteObject(m_font);
}

void AboutWindow::Show(HWND over) {
    if (!m_window) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &AboutWindow::Procedure;
        windowClass.hInstance = m_instance;
        windowClass.hIcon = LoadIconW(m_instance, MAKEINTRESOURCEW(1));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
        m_window = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"关于...", kStyle, 0, 0, 0, 0, nullptr, nullptr,
                                   m_instance, this);
        if (!m_window) return;
        CreateControls();
        RECT frame, centre;
        GetWindowRect(m_window, &frame);
        GetWindowRect(over ? over : GetDesktopWindow(), &centre);
        SetWindowPos(m_window, nullptr, (centre.left + centre.right - (frame.right - frame.left)) / 2,
                     (centre.top + centre.bottom - (frame.bottom - frame.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
}

void AboutWindow::CreateControls() {
    const int dpi = static_cast<int>(GetDpiForWindow(m_window));
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    m_font = CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         L"SimSun");
    constexpr DWORD label = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    // The frame's labels sit at the frame's offset (1545, 1035); the frame is made before them, so it lies behind.
    const AboutControl controls[] = {
        {L"STATIC", WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_ICON | SS_NOTIFY, "", 165, 195, 1095, 1110},
        {L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, "确   定", 3810, 2580, 1230, 540},
        {L"BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, "软件制作", 1545, 1035, 3525, 1425},
        {L"STATIC", label, "Quernfold    （免费使用版）", 1620, 285, 3825, 345},
        {L"STATIC", label, "Ver 1.0", 1620, 615, 1050, 330},
        {L"STATIC", label, std::string(kMakerName) + " ", 1545 + 195, 1035 + 345, 2235, 345},
        {L"STATIC", label, kMakerWebAddress, 1545 + 210, 1035 + 660, 2685, 345},
        {L"STATIC", label, "2010年12月", 1545 + 210, 1035 + 1035, 1110, 345},
    };
    int id = kButtonId - 1;
    for (const AboutControl& control : controls) {
        HWND handle = CreateWindowExW(0, control.className, Wide(control.caption).c_str(), control.style,
                                      px(control.left), px(control.top), px(control.width), px(control.height),
                                      m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), m_instance,
                                      nullptr);
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        if (control.style & SS_ICON) {
            const auto picture = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 70, 70, 0));
            SendMessageW(handle, STM_SETICON, reinterpret_cast<WPARAM>(picture), 0);
        }
    }
    RECT client{0, 0, px(5340), px(3390)};
    AdjustWindowRectExForDpi(&client, kStyle, FALSE, WS_EX_DLGMODALFRAME, static_cast<UINT>(dpi));
    SetWindowPos(m_window, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

bool AboutWindow::HandleDialogMessage(MSG& message) {
    return m_window && IsDialogMessageW(m_window, &message);
}

LRESULT CALLBACK AboutWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<AboutWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
            // IDOK and IDCANCEL (Enter, Escape) are not the button's: only a press of 确   定 closes the window.
            if (LOWORD(wParam) == kButtonId) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (self) {
                self->m_window = nullptr;
                // The main window is gone when its own window no longer exists: the program ends with this one.
                if (!FindWindowW(L"QuernfoldMainWindow", nullptr)) PostQuitMessage(0);
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace quernfold::win32

#include "ui/win32/MainWindow.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include "ui/MakerInfo.h"
#include "ui/core/MainForm.h"
#include "ui/core/WindowPresenter.h"
#include "ui/win32/AboutWindow.h"
#include "ui/win32/FolderDialog.h"
#include "ui/win32/RichLog.h"
#include "ui/win32/WinText.h"

namespace quernfold::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuernfoldMainWindow";
constexpr UINT kPostMessage = WM_APP + 1;
constexpr UINT_PTR kLogTimer = 1;
constexpr UINT kLogBatchMs = 50;
constexpr int kFirstControlId = 100;
enum MenuId : int { kFirstOption = 40, kMakerSite = 50, kAbout };
// The frame: resizable, with minimize and maximize buttons; the controls never move. Not WS_CLIPCHILDREN: a group
// box paints only its border and caption, so the window must paint the face inside the two frames (and where the
// progress bar was before it was hidden).
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;

std::string Key(const FormControl& control) {
    return control.index ? std::string(control.name) + "#" + std::to_string(control.index) : std::string(control.name);
}

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD extendedStyle;
};

ClassAndStyle ClassOf(ControlKind kind) {
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
        case ControlKind::Frame:
            return {L"BUTTON", child | BS_GROUPBOX, 0};
        case ControlKind::Label:
        case ControlKind::BlueLabel:
            return {L"STATIC", child | SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::ComboBox:
            return {L"COMBOBOX", child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0};
        case ControlKind::TextBox:
            return {L"EDIT", child | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case ControlKind::Button:
            return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
        case ControlKind::RichText:
            return {MSFTEDIT_CLASS, child | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                    WS_EX_CLIENTEDGE};
        case ControlKind::ProgressBar:
            return {PROGRESS_CLASSW, WS_CHILD, 0};  // hidden until a run shows it
    }
    return {L"STATIC", child, 0};
}

/** SimSun 9 pt, GB2312, Chinese (PRC): the log's face, which its banner lines were measured with. */
void SetLogFont(HWND pane) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET | CFM_LCID;
    format.yHeight = 9 * 20;
    format.bCharSet = GB2312_CHARSET;
    format.lcid = MAKELCID(2052, SORT_DEFAULT);
    lstrcpynW(format.szFaceName, L"SimSun", LF_FACESIZE);
    SendMessageW(pane, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageW(pane, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

std::string WindowText(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
}

void ShowItems(HWND combo, const std::vector<std::string>& items, int selected) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        const std::wstring wide = Wide(item);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, SettingsStore& settings, std::string appPath, std::string defaultOutputDir)
    : m_instance(instance),
      m_settings(settings),
      m_appPath(std::move(appPath)),
      m_defaultOutputDir(std::move(defaultOutputDir)) {}

MainWindow::~MainWindow() {
    m_presenter.reset();
    if (m_font) DeleteObject(m_font);
}

bool MainWindow::Open(int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &MainWindow::Procedure;
    windowClass.hInstance = m_instance;
    windowClass.hIcon = LoadIconW(m_instance, MAKEINTRESOURCEW(1));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    m_window = CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, L"Quernfold", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, m_instance, this);
    if (!m_window) return false;
    m_dpi = GetDpiForWindow(m_window);
    CreateMenuBar();
    CreateControls();
    m_log = std::make_unique<RichLog>(Control("outText"));
    m_progress = std::make_unique<PostedProgress>(m_window);
    m_presenter = std::make_unique<WindowPresenter>(
        *this, WindowPresenterContext{m_settings, *m_log, *m_progress, m_appPath, m_defaultOutputDir, true});
    m_presenter->Load();
    Layout();
    // Centred on the screen the window opens on.
    RECT frame;
    GetWindowRect(m_window, &frame);
    MONITORINFO monitor{sizeof(monitor), {}, {}, 0};
    GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(m_window, nullptr, (monitor.rcWork.left + monitor.rcWork.right - width) / 2,
                 (monitor.rcWork.top + monitor.rcWork.bottom - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(m_window, showCommand);
    SetFocus(Control("wwwUrl"));
    return true;
}

void MainWindow::CreateMenuBar() {
    m_menu = CreateMenu();
    m_optionsMenu = CreatePopupMenu();
    for (const wchar_t* item : {L"同时复制静态文件(&A)", L"删除ASP服务器代码(&D)", L"链接扩展名不区分大小写(&C)"}) {
        AppendMenuW(m_optionsMenu, MF_STRING, kFirstOption + GetMenuItemCount(m_optionsMenu), item);
    }
    AppendMenuW(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_optionsMenu), L"选项(&O)");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kMakerSite, Wide(std::string(kMakerName) + "简介").c_str());
    AppendMenuW(help, MF_STRING, kAbout, L"关于...");
    AppendMenuW(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"帮助");
    SetMenu(m_window, m_menu);
}

void MainWindow::CreateControls() {
    int id = kFirstControlId;
    for (const FormControl& control : MainFormControls()) {
        const ClassAndStyle kind = ClassOf(control.kind);
        const std::wstring caption = Wide(control.name == "Label6" ? CreditsLine() : control.caption);
        HWND handle = CreateWindowExW(kind.extendedStyle, kind.className, caption.c_str(), kind.style, 0, 0, 0, 0,
                                      m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), m_instance,
                                      nullptr);
        m_controls.emplace(Key(control), handle);
    }
    HWND bar = Control("Bar1");
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    SetLogFont(Control("outText"));
}

void MainWindow::Layout() {
    if (m_font) DeleteObject(m_font);
    // The form's font: 9 pt at this monitor's DPI, the face the layout was made for.
    m_font = CreateFontW(-MulDiv(9, static_cast<int>(m_dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"SimSun");
    for (const FormControl& control : MainFormControls()) {
        HWND handle = Control(Key(control));
        const TwipsBox box = InClientArea(control);
        // A drop-down combo box's own height is its list's; the field keeps the height its font gives it.
        const int height = control.kind == ControlKind::ComboBox ? Px(box.height) * 8 : Px(box.height);
        SetWindowPos(handle, nullptr, Px(box.left), Px(box.top), Px(box.width), height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.kind != ControlKind::RichText) SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    }
    RECT client{0, 0, Px(kMainFormWidth), Px(kMainFormHeight)};
    AdjustWindowRectExForDpi(&client, kStyle, TRUE, WS_EX_ACCEPTFILES, m_dpi);
    SetWindowPos(m_window, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MainWindow::Control(std::string_view name) const {
    const auto found = m_controls.find(name);
    return found == m_controls.end() ? nullptr : found->second;
}

bool MainWindow::HandleDialogMessage(MSG& message) {
    if (m_about && m_about->HandleDialogMessage(message)) return true;
    return m_window && IsDialogMessageW(m_window, &message);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_window = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->Handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Control("Label5")) {
                // The instructions' heading in pure blue; the other labels keep the system's text colour.
                auto* context = reinterpret_cast<HDC>(wParam);
                SetTextColor(context, RGB(0, 0, 255));
                SetBkMode(context, TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_DROPFILES:
            OnDrop(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kLogTimer) m_log->Flush();
            return 0;
        case kPostMessage: {
            std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
            (*call)();
            return 0;
        }
        case PostedProgress::kMessage:
            PostedProgress::Apply(Control("Bar1"), wParam, lParam);
            return 0;
        case WM_DPICHANGED: {
            m_dpi = HIWORD(wParam);
            const RECT* suggested = reinterpret_cast<RECT*>(lParam);
            SetWindowPos(m_window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return 0;
        }
        case WM_CLOSE:
            if (!m_presenter || m_presenter->CloseRequested()) DestroyWindow(m_window);
            return 0;
        case WM_DESTROY:
            m_window = nullptr;
            // The program goes on while the about window is open; closing that one then ends it.
            if (!m_about || !m_about->IsOpen()) PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

void MainWindow::OnCommand(int id) {
    const auto& controls = MainFormControls();
    const int index = id - kFirstControlId;
    const std::string_view name =
        index >= 0 && index < static_cast<int>(controls.size()) ? controls[static_cast<std::size_t>(index)].name : "";
    if (name == "cmdSetWWW") {
        m_presenter->BrowseSiteRoot();
    } else if (name == "Command2") {
        m_presenter->BrowseOutputDir();
    } else if (name == "cmdConvert") {
        m_presenter->Convert();
    } else if (name == "cmdSaveLog") {
        m_presenter->SaveLog();
    } else if (name == "Command3") {
        PostMessageW(m_window, WM_CLOSE, 0, 0);
    } else if (id >= kFirstOption && id < kFirstOption + static_cast<int>(std::size(kWindowOptions))) {
        const auto option = static_cast<WindowOption>(id - kFirstOption);
        const bool on = !(GetMenuState(m_optionsMenu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED);
        ShowOption(option, on);
        m_presenter->ToggleOption(option, on);
    } else if (id == kMakerSite) {
        m_presenter->OpenMakerSite();
    } else if (id == kAbout) {
        m_presenter->ShowAbout();
    }
}

void MainWindow::OnDrop(HDROP drop) {
    POINT point;
    DragQueryPoint(drop, &point);
    std::wstring path;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
        path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
    }
    DragFinish(drop);
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    // One folder only; a file, several items or anything else leaves the boxes as they are.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    for (const auto& [name, box] : {std::pair{"wwwUrl", FolderBox::SiteRoot}, {"outputDir", FolderBox::OutputDir}}) {
        RECT area;
        GetWindowRect(Control(name), &area);
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&area), 2);
        if (PtInRect(&area, point)) m_presenter->SetFolder(box, Utf8(path));
    }
}

std::string MainWindow::BoxText(FolderBox box) const {
    return WindowText(Control(box == FolderBox::SiteRoot ? "wwwUrl" : "outputDir"));
}

void MainWindow::SetBoxText(FolderBox box, const std::string& text) {
    SetWindowTextW(Control(box == FolderBox::SiteRoot ? "wwwUrl" : "outputDir"), Wide(text).c_str());
}

std::string MainWindow::SourceTypeText() const { return WindowText(Control("srcType")); }

std::string MainWindow::OutputTypeText() const { return WindowText(Control("outputType")); }

void MainWindow::ShowSourceTypes(const std::vector<std::string>& items, int selected) {
    ShowItems(Control("srcType"), items, selected);
}

void MainWindow::ShowOutputTypes(const std::vector<std::string>& items, int selected) {
    ShowItems(Control("outputType"), items, selected);
}

void MainWindow::ShowOption(WindowOption option, bool checked) {
    CheckMenuItem(m_optionsMenu, static_cast<UINT>(kFirstOption + static_cast<int>(option)),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::ShowConverting(bool converting) {
    if (converting) m_focusBeforeRun = GetFocus();
    // The log stays readable, 帮助 and 退出 stay usable; what would change the run or start another does not.
    for (const char* name :
         {"wwwUrl", "cmdSetWWW", "srcType", "outputType", "outputDir", "Command2", "cmdConvert", "cmdSaveLog"}) {
        EnableWindow(Control(name), converting ? FALSE : TRUE);
    }
    EnableMenuItem(m_menu, 0, MF_BYPOSITION | (converting ? MF_GRAYED : MF_ENABLED));
    DrawMenuBar(m_window);
    if (converting) {
        SetTimer(m_window, kLogTimer, kLogBatchMs, nullptr);
    } else {
        KillTimer(m_window, kLogTimer);
        m_log->Flush();
        if (m_focusBeforeRun && IsWindowEnabled(m_focusBeforeRun)) SetFocus(m_focusBeforeRun);
    }
}

std::string MainWindow::LogText() {
    m_log->Flush();
    return m_log->Text();
}

std::string MainWindow::PickFolder(const std::string& title, const std::string& boxText) {
    return BrowseForFolder(m_window, title, boxText);
}

void MainWindow::ShowBox(const std::string& text, const std::string& title, MessageIcon icon) {
    m_log->Flush();  // the box never runs ahead of the log
    const UINT type = icon == MessageIcon::Stop ? MB_ICONSTOP : icon == MessageIcon::Information ? MB_ICONINFORMATION : 0;
    MessageBoxW(m_window, Wide(text).c_str(), Wide(title).c_str(), MB_OK | type);
}

bool MainWindow::Ask(const std::string& text, const std::string& title) {
    return MessageBoxW(m_window, Wide(text).c_str(), Wide(title).c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
           IDYES;
}

void MainWindow::OpenWebAddress(const std::string& address) {
    // The shell's result is not looked at: a failing "open" shows nothing.
    ShellExecuteW(m_window, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOW);
}

void MainWindow::ShowAboutWindow() {
    if (!m_about) m_about = std::make_unique<AboutWindow>(m_instance);
    m_about->Show(m_window);
}

void MainWindow::Post(std::function<void()> call) {
    auto* posted = new std::function<void()>(std::move(call));
    if (!PostMessageW(m_window, kPostMessage, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

void MainWindow::CloseWindow() { PostMessageW(m_window, WM_CLOSE, 0, 0); }

}  // namespace quernfold::win32

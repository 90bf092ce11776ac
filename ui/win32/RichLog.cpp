#include "ui/win32/RichLog.h"

#include <algorithm>
#include <climits>

#include <commctrl.h>
#include <richedit.h>

#include "ui/win32/WinText.h"

namespace quernfold::win32 {

RichLog::RichLog(HWND pane) : m_pane(pane) { SetWindowTextW(m_pane, L" "); }

void RichLog::ClearLog() { m_log.Clear(); }

void RichLog::AppendLog(std::string_view line) { m_log.Append(line); }

void RichLog::Flush() {
    const WindowLog::Batch batch = m_log.Take();
    if (batch.cleared) SetWindowTextW(m_pane, L"");
    if (batch.lines.empty()) return;
    std::string shown;
    for (const std::string& line : batch.lines) shown += "\r\n" + line;
    // The pane follows the new lines only while the user has it scrolled to the bottom.
    SCROLLINFO bar{sizeof(bar), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(m_pane, SB_VERT, &bar);
    const bool following = bar.nMax == 0 || bar.nPos + static_cast<int>(bar.nPage) >= bar.nMax;
    CHARRANGE end{-1, -1};
    SendMessageW(m_pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    const std::wstring wide = Wide(shown);
    SendMessageW(m_pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    if (following) SendMessageW(m_pane, WM_VSCROLL, SB_BOTTOM, 0);
}

namespace {

LPARAM Clamped(long long value) { return static_cast<LPARAM>(std::clamp<long long>(value, 0, INT_MAX)); }

}  // namespace

void PostedProgress::SetRange(long long minimum, long long maximum) {
    // The run's ranges all start at 0.
    (void)minimum;
    PostMessageW(m_window, kMessage, kRangeMaximum, Clamped(maximum));
}

void PostedProgress::SetVisible(bool visible) { PostMessageW(m_window, kMessage, kVisible, visible ? 1 : 0); }

void PostedProgress::SetValue(long long value) { PostMessageW(m_window, kMessage, kValue, Clamped(value)); }

void PostedProgress::Apply(HWND bar, WPARAM operation, LPARAM value) {
    const int amount = static_cast<int>(value);
    switch (operation) {
        case kRangeMaximum:
            SendMessageW(bar, PBM_SETRANGE32, 0, amount);
            break;
        case kVisible:
            ShowWindow(bar, amount ? SW_SHOWNA : SW_HIDE);
            break;
        default:
            SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(amount), 0);
            break;
    }
}

}  // namespace quernfold::win32

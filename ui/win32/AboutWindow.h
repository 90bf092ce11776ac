#pragma once

#include <windows.h>

namespace quernfold::win32 {

/**
 * The about window: product, edition, version, maker and date beside the product picture, in a fixed frame.
 * Made without an owner, so it outlives a closed main window; closing it discards it and the next Show makes
 * it anew. Enter and Escape do not close it: its one button is neither the default nor the cancel button.
 */
class AboutWindow final {
public:
    explicit AboutWindow(HINSTANCE instance) : m_instance(instance) {}
    ~AboutWindow();

    /** Opens the window centred on over, or brings the open one to the front. */
    void Show(HWND over);
    bool IsOpen() const { return m_window != nullptr; }
    bool HandleDialogMessage(MSG& message);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();

    HINSTANCE m_instance;
    HWND m_window = nullptr;
    HFONT m_font = nullptr;
    bool m_mainClosed = false;
};

}  // namespace quernfold::win32

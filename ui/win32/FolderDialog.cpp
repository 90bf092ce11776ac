#include "ui/win32/FolderDialog.h"

#include <shobjidl.h>

#include "ui/win32/WinText.h"

namespace quernfold::win32 {

namespace {

/** Releases a COM pointer at the end of its scope. */
template <typename T>
struct Held {
    T* pointer = nullptr;
    ~Held() {
        if (pointer) pointer->Release();
    }
};

std::wstring Trimmed(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

/** Opens the dialog at the box's folder; a box naming no existing folder leaves the dialog's own choice. */
void StartAt(IFileOpenDialog& dialog, const std::string& boxText) {
    const std::wstring folder = Trimmed(Wide(boxText));
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    Held<IShellItem> item;
    if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&item.pointer)))) {
        dialog.SetFolder(item.pointer);
    }
}

}  // namespace

std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& boxText) {
    Held<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.pointer)))) {
        return "";
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.pointer->GetOptions(&options);
    dialog.pointer->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog.pointer->SetTitle(Wide(title).c_str());
    StartAt(*dialog.pointer, boxText);
    if (FAILED(dialog.pointer->Show(owner))) return "";  // cancelled, or the dialog could not open
    Held<IShellItem> result;
    if (FAILED(dialog.pointer->GetResult(&result.pointer))) return "";
    PWSTR path = nullptr;
    if (FAILED(result.pointer->GetDisplayName(SIGDN_FILESYSPATH, &path))) return "";
    std::string chosen = Utf8(path);
    CoTaskMemFree(path);
    return chosen;
}

}  // namespace quernfold::win32

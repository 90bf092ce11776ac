#include <windows.h>

#include "engine/platform/AtomicFile.h"
#include "engine/platform/FileSystem.h"
#include "engine/platform/windows/AtomicFile.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

/** A device at the target (--log CON, NUL, a named pipe): written as it stands, as on Linux. */
class DeviceOutput : public PageOutput {
public:
    explicit DeviceOutput(Handle handle) : m_handle(std::move(handle)) {}
    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            if (!::WriteFile(m_handle.Get(), bytes.data(), chunk, &written, nullptr)) {
                throw OutputError(LastWindowsReason());
            }
            bytes.remove_prefix(written);
        }
    }
    void Publish() override {}
    void Discard() noexcept override {}
    FileId Id() const override { return {}; }

private:
    Handle m_handle;
};

std::optional<Handle> OpenIfDevice(const std::string& path) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) return std::nullopt;
    Handle handle(::CreateFileW(wide->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid() || ::GetFileType(handle.Get()) == FILE_TYPE_DISK) return std::nullopt;
    return handle;
}

}  // namespace

WritePolicy WritePolicy::LogFile() {
    WritePolicy policy;
    policy.link = LinkAtTarget::Follow;  // a link to a file stays a link; the file it leads to is replaced
    policy.inPlaceIfNotRegular = true;   // CON, NUL, a named pipe
    return policy;
}

WritePolicy WritePolicy::Settings() {
    WritePolicy policy;
    policy.link = LinkAtTarget::Follow;
    policy.sync = true;
    return policy;
}

// Windows names no open handle by a path, as /dev/stdout or /proc/self/fd/N do.
int StandardDescriptorOf(const std::string&) { return -1; }

std::unique_ptr<PageOutput> CreateAtomicFile(const std::string& path, const WritePolicy& policy) {
    if (policy.inPlaceIfNotRegular) {
        if (std::optional<Handle> device = OpenIfDevice(path)) return std::make_unique<DeviceOutput>(std::move(*device));
    }
    std::string target = path;
    if (policy.link == WritePolicy::LinkAtTarget::Follow) {
        // The file a symbolic link names is replaced, and the link stays.
        const std::optional<PathInfo> info = LookAt(path, Links::DoNotFollow);
        if (info && info->isLink) {
            if (std::string real = RealPathOf(path); !real.empty()) target = std::move(real);
        }
    }
    auto file = std::make_unique<AtomicFile>(std::move(target), policy.sizeLimit);
    if (policy.sync) file->SyncOnPublish();
    return file;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes, const WritePolicy& policy) {
    const std::unique_ptr<PageOutput> file = CreateAtomicFile(path, policy);
    file->Write(bytes);
    file->Publish();
}

}  // namespace quernfold

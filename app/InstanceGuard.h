#pragma once

#include <QLockFile>
#include <QString>

namespace quernfold {

/**
 * One running copy per user. The marker is a lock file holding the owner's process id, so the system's own
 * bookkeeping decides: a copy that crashed or was killed leaves a lock whose process is gone, and that lock is
 * taken over. A living copy keeps its lock however long it runs.
 */
class InstanceGuard {
public:
    explicit InstanceGuard(const QString& lockPath);

    /** True when this copy now holds the lock; false when another living copy holds it. */
    bool TryAcquire();
    bool IsHeld() const { return m_lock.isLocked(); }

    /** $XDG_RUNTIME_DIR, else the temporary folder; the file is named with the user's id. */
    static QString DefaultLockPath();

private:
    QLockFile m_lock;
};

}  // namespace quernfold

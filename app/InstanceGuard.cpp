#include "app/InstanceGuard.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>

namespace quernfold {

InstanceGuard::InstanceGuard(const QString& lockPath) : m_lock(lockPath) {
    // Age alone must never make a living copy's lock stale; a dead owner's process id is what counts. (On a
    // local disk the owner's file lock already prevents the removal; this covers folders without such locks.)
    m_lock.setStaleLockTime(0);
}

bool InstanceGuard::TryAcquire() {
    if (m_lock.tryLock(0)) {
        return true;
    }
    // Only a lock that another copy holds refuses the start; a folder we cannot write to should not keep the
    // user from working.
    return m_lock.error() != QLockFile::LockFailedError;
}

QString InstanceGuard::DefaultLockPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(QStringLiteral("quernfold-%1.lock").arg(::getuid()));
}

}  // namespace quernfold

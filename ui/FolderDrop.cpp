#include "ui/FolderDrop.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace quernfold {

FolderDrop* FolderDrop::Attach(QWidget* box) {
    auto* drop = new FolderDrop(box);
    box->setAcceptDrops(true);
    box->installEventFilter(drop);
    return drop;
}

QString FolderDrop::DroppedFolder(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) {
        return QString();
    }
    const QUrl url = data->urls().first();
    if (!url.isLocalFile()) {
        return QString();
    }
    const QFileInfo folder(url.toLocalFile());
    if (!folder.isAbsolute() || !folder.isDir()) {
        return QString();
    }
    // As the folder dialog gives it: absolute, no trailing "/" except for the root, links not resolved.
    return QDir::cleanPath(folder.absoluteFilePath());
}

namespace {

/**
 * Takes a copy (or a link) of the folder, never a move: a file manager that saw its move accepted could remove
 * the folder. False when the source offers neither.
 */
bool AcceptWithoutMoving(QDropEvent* event) {
    const Qt::DropActions offered = event->possibleActions();
    if (offered & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
    } else if (offered & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
    } else {
        return false;
    }
    event->accept();
    return true;
}

}  // namespace

bool FolderDrop::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (DroppedFolder(drag->mimeData()).isEmpty() || !AcceptWithoutMoving(drag)) {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QString folder = DroppedFolder(drop->mimeData());
            if (folder.isEmpty() || !AcceptWithoutMoving(drop)) {
                drop->ignore();
            } else {
                emit FolderDropped(folder);
            }
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

}  // namespace quernfold

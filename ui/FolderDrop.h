#pragma once

#include <QObject>
#include <QString>

class QMimeData;

namespace quernfold {

/**
 * Lets a folder be dragged from a file manager onto a folder box. Installed as an event filter on the box, it
 * accepts a drag of exactly one local folder and emits its path, written as the folder picker returns it;
 * anything else (a file, several items, a web address, plain text) is refused, so the box never receives
 * "file:///…" as text.
 */
class FolderDrop final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    /** Watches box; the box's own drop handling no longer runs. */
    static FolderDrop* Attach(QWidget* box);

    /** The dropped folder's path, or "" when the drag is not exactly one local folder. */
    static QString DroppedFolder(const QMimeData* data);

signals:
    void FolderDropped(const QString& folder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace quernfold

#include "tests/ui/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quernfold::test {

void RecordingPresenter::Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) {
    boxes.append(Box{text, title, icon, owner});
    if (onPresent) {
        onPresent(boxes.last());
    }
}

bool RecordingPresenter::Ask(QWidget* owner, const QString& text, const QString& title) {
    questions.append(Box{text, title, MessageIcon::None, owner});
    return onAsk ? onAsk(questions.last()) : false;
}

QString ScriptedFolderPicker::BrowseForFolder(QWidget* owner, const QString& title) {
    titles.append(title);
    owners.append(owner);
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

std::string ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<cannot read " + path.toStdString() + ">";
    }
    return file.readAll().toStdString();
}

void WriteBytes(const QString& path, const std::string& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
}

}  // namespace quernfold::test

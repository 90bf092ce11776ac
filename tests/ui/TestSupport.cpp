#include "tests/ui/TestSupport.h"

#include "tests/support/Files.h"

namespace quernfold::test_support {

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

QString ScriptedFolderPicker::BrowseForFolder(QWidget* owner, const QString& title, const QString& boxText) {
    titles.append(title);
    boxTexts.append(boxText);
    owners.append(owner);
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

std::string ReadBytes(const QString& path) {
    return ReadFile(path.toStdString());
}

void WriteBytes(const QString& path, const std::string& bytes) {
    WriteFile(path.toStdString(), bytes);
}

}  // namespace quernfold::test_support

#include "ui/ChineseQtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quernfold {

namespace {

/**
 * The few texts of Qt's folder dialog that Qt's own Chinese translation lacks: the file types of its 类型
 * column. Asked before Qt's translation; for every other text it has nothing, and Qt's is used.
 */
class MissingQtTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return QString();
        struct Text {
            const char* english;
            const char* chinese;
        };
        static constexpr Text kTexts[] = {
            {"Folder", "文件夹"}, {"File Folder", "文件夹"}, {"Drive", "驱动器"}, {"File", "文件"},
            {"Shortcut", "快捷方式"}, {"Alias", "替身"}, {"Unknown", "未知"},
        };
        for (const Text& text : kTexts) {
            if (qstrcmp(sourceText, text.english) == 0) return QString::fromUtf8(text.chinese);
        }
        return QString();
    }

    bool isEmpty() const override { return false; }
};

}  // namespace

bool InstallChineseQtTexts() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    // Owned by the application object, so the texts stay translated for its whole life.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    // Installed last, so it is asked first.
    QCoreApplication::installTranslator(new MissingQtTexts(QCoreApplication::instance()));
    return true;
}

}  // namespace quernfold

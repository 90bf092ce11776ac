#include <algorithm>
#include <functional>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ui/AboutUs.h"
#include "ui/ChineseQtTexts.h"
#include "ui/DirWindow.h"
#include "ui/InterfaceFont.h"
#include "ui/MessageBoxes.h"

using namespace quernfold;

namespace {

/** Runs answer on the folder dialog as soon as it is open (the dialog's own event loop runs the timer). */
void AnswerFolderDialog(std::function<void(QFileDialog*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            dialog && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

/** Runs inspect on the message box as soon as it is open, then presses its first button. */
void AnswerMessageBox(std::function<void(QMessageBox*)> inspect) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->isVisible()) {
            poll->stop();
            poll->deleteLater();
            inspect(box);
            box->buttons().first()->click();
        }
    });
    poll->start();
}

bool HasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

QLabel* LabelWithIndex(QWidget* window, int index) {
    for (QLabel* label : window->findChildren<QLabel*>(QStringLiteral("Label1"))) {
        if (label->property("index").toInt() == index) return label;
    }
    return nullptr;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void folderPickerShowsTheTitleAndReturnsTheChosenFolder() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("网站")));
        const QString chosen = dir.filePath(QStringLiteral("网站"));
        QWidget owner;
        owner.show();
        QString title;
        bool foldersOnly = false;
        bool qtsOwn = false;
        QWidget* parent = nullptr;
        AnswerFolderDialog([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            foldersOnly = dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
            qtsOwn = dialog->testOption(QFileDialog::DontUseNativeDialog);
            parent = dialog->parentWidget();
            dialog->selectFile(chosen);
            static_cast<QDialog*>(dialog)->accept();  // protected in QFileDialog, public in QDialog
        });
        DirWindow picker;
        const QString result = picker.BrowseForFolder(&owner, QStringLiteral("选择网站目录"), dir.path());
        QCOMPARE(result, chosen);
        QCOMPARE(title, QStringLiteral("选择网站目录 "));
        QVERIFY(foldersOnly);
        QVERIFY(qtsOwn);
        QCOMPARE(parent, &owner);
    }

    void folderPickerGivesEmptyTextWhenCancelled() {
        QWidget owner;
        owner.show();
        AnswerFolderDialog([](QFileDialog* dialog) { dialog->reject(); });
        DirWindow picker;
        QCOMPARE(picker.BrowseForFolder(&owner, QStringLiteral("选择输出文件夹"), QString()), QString());
    }

    void folderPickerOpensAtTheBoxFolderElseAtHome_data() {
        QTest::addColumn<QString>("boxText");  // "@" stands for a temporary folder that exists
        QTest::addColumn<QString>("opensAt");  // "~" stands for the home folder
        QTest::newRow("an existing folder") << "@/网站"
                                            << "@/网站";
        QTest::newRow("blanks around it") << "  @/网站 "
                                          << "@/网站";
        QTest::newRow("a missing folder") << "@/gone"
                                          << "~";
        QTest::newRow("a file") << "@/page.jsp"
                                << "~";
        QTest::newRow("an empty box") << ""
                                      << "~";
    }

    void folderPickerOpensAtTheBoxFolderElseAtHome() {
        QFETCH(QString, boxText);
        QFETCH(QString, opensAt);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("网站")));
        QFile page(dir.filePath(QStringLiteral("page.jsp")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        const auto expand = [&](QString text) {
            return text.replace(QLatin1Char('@'), dir.path()).replace(QLatin1Char('~'), QDir::homePath());
        };
        QWidget owner;
        owner.show();
        QString openedAt;
        AnswerFolderDialog([&](QFileDialog* dialog) {
            openedAt = dialog->directory().absolutePath();
            dialog->reject();
        });
        DirWindow().BrowseForFolder(&owner, QStringLiteral("选择网站目录"), expand(boxText));
        QCOMPARE(openedAt, QDir(expand(opensAt)).absolutePath());
    }

    void messageBoxesAndTheFolderDialogSpeakChinese() {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm"))) {
            QSKIP("Qt's Chinese translations are not installed (Debian: qt6-translations-l10n)");
        }
        QVERIFY(InstallChineseQtTexts());
        QStringList buttons;
        QFont font;
        AnswerMessageBox([&](QMessageBox* box) {
            for (QAbstractButton* button : box->buttons()) buttons << button->text();
            font = box->font();
        });
        QMessageBoxPresenter().Present(nullptr, QStringLiteral("本软件已经在运行！"), QStringLiteral("提示"),
                                       MessageIcon::None);
        QCOMPARE(buttons, QStringList{QStringLiteral("确定")});
        QCOMPARE(font, InterfaceFont());  // the window's font, not the desktop's
        // The question asked when quitting during a run too.
        QFont questionFont;
        AnswerMessageBox([&](QMessageBox* box) { questionFont = box->font(); });
        QMessageBoxPresenter().Ask(nullptr, QStringLiteral("转换正在进行，确定要中止转换吗？"), QStringLiteral("提示"));
        QCOMPARE(questionFont, InterfaceFont());

        QWidget owner;
        owner.show();
        QStringList dialogButtons;
        AnswerFolderDialog([&](QFileDialog* dialog) {
            for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons()) {
                dialogButtons << button->text();
            }
            dialog->reject();
        });
        DirWindow().BrowseForFolder(&owner, QStringLiteral("选择网站目录"), QString());
        QCOMPARE(dialogButtons.size(), 2);
        for (const QString& text : dialogButtons) QVERIFY2(HasChinese(text), qPrintable(text));
        // The 类型 column of the dialog's folder list, which Qt's own translation leaves English.
        QTemporaryDir dir;
        QCOMPARE(QFileIconProvider().type(QFileInfo(dir.path())), QStringLiteral("文件夹"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Detail View"), QStringLiteral("详情视图"));
    }

    void aboutWindowHasItsFixedLayout() {
        AboutUs about;
        QCOMPARE(about.windowTitle(), QStringLiteral("关于..."));
        QCOMPARE(about.size(), QSize(356, 226));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!about.windowIcon().isNull());

        struct Expected {
            int index;
            const char* text;
            QRect rect;
            bool inFrame;
        };
        const Expected labels[] = {
            {0, "Quernfold    （免费使用版）", QRect(108, 19, 255, 23), false},
            {1, "Ver 1.0", QRect(108, 41, 70, 22), false},
            {2, "Varnholt ", QRect(13, 23, 149, 23), true},
            {4, "https://www.varnholt.example", QRect(14, 44, 179, 23), true},
            {3, "2010年12月", QRect(14, 69, 74, 23), true},
        };
        auto* frame = about.findChild<QGroupBox*>(QStringLiteral("Frame1"));
        QVERIFY(frame);
        QCOMPARE(frame->title(), QStringLiteral("软件制作"));
        QCOMPARE(frame->geometry(), QRect(103, 69, 235, 95));
        for (const Expected& e : labels) {
            QLabel* label = LabelWithIndex(&about, e.index);
            QVERIFY2(label, qPrintable(QString::number(e.index)));
            QCOMPARE(label->text(), QString::fromUtf8(e.text));
            QCOMPARE(label->geometry(), e.rect);
            QCOMPARE(label->parentWidget(), e.inFrame ? static_cast<QWidget*>(frame) : &about);
        }

        auto* picture = about.findChild<QLabel*>(QStringLiteral("Picture1"));
        QVERIFY(picture);
        QCOMPARE(picture->geometry(), QRect(11, 13, 73, 74));
        QCOMPARE(picture->pixmap().size(), QSize(70, 70));
        auto* button = about.findChild<QPushButton*>(QStringLiteral("Command1"));
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("确   定"));
        QCOMPARE(button->geometry(), QRect(254, 172, 82, 36));
        QWidget* next = picture->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
        QCOMPARE(next, button);
        QVERIFY(picture->focusPolicy() & Qt::TabFocus);
    }

    void aboutWindowClosesOnlyByItsButtonAndIsDiscarded() {
        QPointer<AboutUs> about = new AboutUs;
        about->show();
        QVERIFY(QTest::qWaitForWindowActive(about));
        auto* button = about->findChild<QPushButton*>(QStringLiteral("Command1"));
        button->setFocus();
        QTest::keyClick(about, Qt::Key_Escape);
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Enter);
        QVERIFY(about->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(about.isNull());
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"

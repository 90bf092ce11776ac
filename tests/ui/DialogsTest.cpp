#include <functional>

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ui/AboutUs.h"
#include "ui/DirWindow.h"

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
        QWidget* parent = nullptr;
        AnswerFolderDialog([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            foldersOnly = dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
            parent = dialog->parentWidget();
            dialog->setDirectory(dir.path());
            dialog->selectFile(chosen);
            static_cast<QDialog*>(dialog)->accept();  // protected in QFileDialog, public in QDialog
        });
        DirWindow picker;
        const QString result = picker.BrowseForFolder(&owner, QStringLiteral("选择网站目录"));
        QCOMPARE(result, chosen);
        QCOMPARE(title, QStringLiteral("选择网站目录 "));
        QVERIFY(foldersOnly);
        QCOMPARE(parent, &owner);
    }

    void folderPickerGivesEmptyTextWhenCancelled() {
        QWidget owner;
        owner.show();
        AnswerFolderDialog([](QFileDialog* dialog) { dialog->reject(); });
        DirWindow picker;
        QCOMPARE(picker.BrowseForFolder(&owner, QStringLiteral("选择输出文件夹")), QString());
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

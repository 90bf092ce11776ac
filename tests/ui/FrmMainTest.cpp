#include <memory>

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "settings/Rwini.h"
#include "tests/ui/TestSupport.h"
#include "ui/AboutUs.h"
#include "ui/FrmMain.h"

using namespace quernfold;
using namespace quernfold::test_support;

namespace {

const std::string kAppPath = "/opt/quernfold/bin/";
const std::string kHomeOut = "/home/tester/";

/** Receives the URLs the window asks the desktop to open. */
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

QString Caption(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
    return QString();
}

QList<AboutUs*> OpenAboutWindows() {
    QList<AboutUs*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* about = qobject_cast<AboutUs*>(widget); about && about->isVisible()) found.append(about);
    }
    return found;
}

std::string Banner(char c, int n) {
    return std::string(static_cast<std::size_t>(n), c);
}

}  // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Rwini> m_store;
    ScriptedFolderPicker m_picker;
    RecordingPresenter m_presenter;

    QString IniPath() const { return m_dir->filePath(QStringLiteral("config.ini")); }
    QString Dir(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<FrmMain> MakeWindow() {
        return std::make_unique<FrmMain>(FrmMainContext{*m_store, m_picker, m_presenter, kAppPath, kHomeOut});
    }

    template <typename T>
    static T* Find(const FrmMain& window, const char* name) {
        T* child = window.findChild<T*>(QLatin1String(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }

    /** Site with two pages at the top, an include folder without pages, and one page in a sub-folder. */
    void MakeSite() {
        WriteBytes(Dir("site/a.jsp"), "<html>\r\n<%@ include file=\"/inc/head.inc\" %>\r\n<a href=\"z.jsp\">z</a>\r\n");
        WriteBytes(Dir("site/z.jsp"), "<p>z</p>\r\n<% int hidden = 1; %>\r\n");
        WriteBytes(Dir("site/inc/head.inc"), "<title>head</title>\r\n");
        WriteBytes(Dir("site/sub/b.jsp"), "<p>b</p>\r\n");
        QDir().mkpath(Dir("out"));  // the run makes the folders below the output folder, not the folder itself
    }

    std::string ExpectedLog(const QString& siteText, const QString& outText) const {
        const std::string site = siteText.toStdString() + "/";
        const std::string out = outText.toStdString() + "/";
        std::string log;
        const auto add = [&](const std::string& line) { log += "\r\n" + line; };
        for (const auto& [page, output] :
             {std::pair{"a.jsp", "a.html"}, {"z.jsp", "z.html"}, {"sub/b.jsp", "sub/b.html"}}) {
            add(Banner('=', 77));
            add("开始转换:" + site + page + "....");
            add(">>生成" + out + output + "成功！");
        }
        add(Banner('*', 78));
        add("共转换文件3个");
        add("其中：成功3个");
        add("      失败0个");
        add("转换过程中共发生0次异常警告");
        add(Banner('*', 78));
        return log;
    }

    /** Sets the four choices and presses the start button; returns when the run is over. */
    void RunConversion(FrmMain& window, const QString& site, const QString& out) {
        Find<QLineEdit>(window, "wwwUrl")->setText(site);
        Find<QLineEdit>(window, "outputDir")->setText(out);
        QSignalSpy finished(&window, &FrmMain::ConversionFinished);
        QTest::mouseClick(Find<QPushButton>(window, "cmdConvert"), Qt::LeftButton);
        QVERIFY(finished.wait(20000));
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_store = std::make_unique<Rwini>(IniPath().toStdString());
        m_picker = ScriptedFolderPicker();
        m_presenter.boxes.clear();
        m_presenter.onPresent = nullptr;
    }

    void cleanup() {
        for (AboutUs* about : OpenAboutWindows()) delete about;
    }

    void loadStepOnAFreshConfigurationShowsAndStoresTheDefaults() {
        auto window = MakeWindow();
        QCOMPARE(Find<QLineEdit>(*window, "wwwUrl")->text(), QString::fromStdString(kAppPath));
        QCOMPARE(Find<QLineEdit>(*window, "outputDir")->text(), QString::fromStdString(kHomeOut));
        auto* srcType = Find<QComboBox>(*window, "srcType");
        auto* outputType = Find<QComboBox>(*window, "outputType");
        QCOMPARE(srcType->currentText(), QStringLiteral("jsp"));
        QCOMPARE(outputType->currentText(), QStringLiteral("html"));
        QCOMPARE(srcType->count(), 2);
        QCOMPARE(srcType->itemText(1), QStringLiteral("asp"));
        QCOMPARE(outputType->count(), 2);
        QCOMPARE(outputType->itemText(1), QStringLiteral("htm"));
        QVERIFY(srcType->isEditable() && outputType->isEditable());
        QCOMPARE(ReadBytes(IniPath()),
                 "[sys]\nworkPath=" + kAppPath + "\noutputDir=" + kHomeOut + "\nsrcType=jsp\noutputType=html\n");
        QCOMPARE(Find<QPlainTextEdit>(*window, "outText")->toPlainText(), QStringLiteral(" "));
        QVERIFY(Find<QProgressBar>(*window, "Bar1")->isHidden());
    }

    void loadStepOnAStoredConfiguration_data() {
        QTest::addColumn<QString>("storedSrc");
        QTest::addColumn<QString>("storedOut");
        QTest::addColumn<QString>("shownSrc");
        QTest::addColumn<QString>("shownOut");
        QTest::newRow("exact") << "jsp"
                               << "html"
                               << "jsp"
                               << "html";
        QTest::newRow("capitals pick the other item") << "JSP"
                                                      << "HTML"
                                                      << "asp"
                                                      << "htm";
        QTest::newRow("second items") << "asp"
                                      << "htm"
                                      << "asp"
                                      << "htm";
        QTest::newRow("anything else") << "php"
                                       << "shtml"
                                       << "asp"
                                       << "htm";
        QTest::newRow("blanks around are not part of it") << "  jsp "
                                                          << " html"
                                                          << "jsp"
                                                          << "html";
    }

    void loadStepOnAStoredConfiguration() {
        QFETCH(QString, storedSrc);
        QFETCH(QString, storedOut);
        QFETCH(QString, shownSrc);
        QFETCH(QString, shownOut);
        const std::string ini =
            "[sys]\r\nworkPath=/srv/网站/\r\noutputDir=/srv/out/\r\nsrcType=" + storedSrc.toStdString() +
            "\r\noutputType=" + storedOut.toStdString() + "\r\n";
        WriteBytes(IniPath(), ini);
        auto window = MakeWindow();
        QCOMPARE(Find<QLineEdit>(*window, "wwwUrl")->text(), QStringLiteral("/srv/网站/"));
        QCOMPARE(Find<QLineEdit>(*window, "outputDir")->text(), QStringLiteral("/srv/out/"));
        QCOMPARE(Find<QComboBox>(*window, "srcType")->currentText(), shownSrc);
        QCOMPARE(Find<QComboBox>(*window, "outputType")->currentText(), shownOut);
        QCOMPARE(ReadBytes(IniPath()), ini);  // loading writes nothing that was there already
    }

    void controlsSitAtTheirPlacesWithTheirCaptions_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("caption");
        // Pixels are the layout's twips divided by 15.
        QTest::newRow("Frame1") << "Frame1"
                                << "" << QRect(16, 8, 702, 187) << "转换设置...";
        QTest::newRow("Label2") << "Label2"
                                << "Frame1" << QRect(10, 28, 70, 22) << "网页类型：";
        QTest::newRow("srcType") << "srcType"
                                 << "Frame1" << QRect(74, 23, 149, 20) << "";
        QTest::newRow("Label1") << "Label1"
                                << "Frame1" << QRect(249, 32, 103, 25) << "网站文件根目录：";
        QTest::newRow("wwwUrl") << "wwwUrl"
                                << "Frame1" << QRect(347, 21, 312, 26) << "";
        QTest::newRow("cmdSetWWW") << "cmdSetWWW"
                                   << "Frame1" << QRect(660, 20, 30, 27) << "...";
        QTest::newRow("Label3") << "Label3"
                                << "Frame1" << QRect(21, 64, 50, 24) << "转换为：";
        QTest::newRow("outputType") << "outputType"
                                    << "Frame1" << QRect(73, 61, 151, 20) << "";
        QTest::newRow("Label4") << "Label4"
                                << "Frame1" << QRect(238, 66, 129, 26) << "转换结果存放目录：";
        QTest::newRow("outputDir") << "outputDir"
                                   << "Frame1" << QRect(348, 62, 310, 26) << "";
        QTest::newRow("Command2") << "Command2"
                                  << "Frame1" << QRect(659, 62, 32, 26) << "...";
        QTest::newRow("Label5") << "Label5"
                                << "Frame1" << QRect(14, 94, 124, 22) << "操作说明：";
        QTest::newRow("Frame2") << "Frame2"
                                << "" << QRect(14, 199, 703, 239) << "网页转换";
        QTest::newRow("Label7") << "Label7"
                                << "Frame2" << QRect(15, 20, 122, 15) << "转换结果日志：";
        QTest::newRow("outText") << "outText"
                                 << "Frame2" << QRect(11, 36, 566, 167) << "";
        QTest::newRow("cmdConvert") << "cmdConvert"
                                    << "Frame2" << QRect(605, 38, 85, 37) << "&C.开始转换";
        QTest::newRow("cmdSaveLog") << "cmdSaveLog"
                                    << "Frame2" << QRect(606, 88, 84, 33) << "&S.保存日志";
        QTest::newRow("Command3") << "Command3"
                                  << "Frame2" << QRect(605, 135, 84, 36) << "&Q.退  出";
        QTest::newRow("Bar1") << "Bar1"
                              << "Frame2" << QRect(9, 212, 684, 18) << "";
        QTest::newRow("Label6") << "Label6"
                                << "" << QRect(27, 446, 685, 20)
                                << QStringLiteral("制作：Varnholt") + QString(14, ' ') +
                                       "企业网址：https://www.varnholt.example" + QString(9, ' ') +
                                       "Email:support@varnholt.example";
    }

    void controlsSitAtTheirPlacesWithTheirCaptions() {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, rect);
        QFETCH(QString, caption);
        auto window = MakeWindow();
        auto* widget = window->findChild<QWidget*>(name);
        QVERIFY(widget);
        QWidget* expectedParent =
            container.isEmpty() ? window->centralWidget() : window->findChild<QWidget*>(container);
        QCOMPARE(widget->parentWidget(), expectedParent);
        QCOMPARE(widget->geometry(), rect);
        QCOMPARE(Caption(widget), caption);
    }

    void windowClientAreaAndLabelsFollowTheLayout() {
        auto window = MakeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->windowTitle(), QStringLiteral("Quernfold"));
        QCOMPARE(window->centralWidget()->size(), QSize(736, 469));
        QVERIFY(!window->windowIcon().isNull());
        QList<QLabel*> lines;
        for (QLabel* label : window->findChildren<QLabel*>(QStringLiteral("Label8"))) lines.append(label);
        QCOMPARE(lines.size(), 3);
        std::sort(lines.begin(), lines.end(),
                  [](QLabel* a, QLabel* b) { return a->property("index").toInt() < b->property("index").toInt(); });
        QCOMPARE(lines[0]->text(), QStringLiteral("1.该工具用于把动态网页中的include部分，自动替换为相应的文件内容。"));
        QCOMPARE(lines[1]->text(),
                 QStringLiteral("2.如果网站文件的根目录未正确指定，转换时可能为异常，详见转换日志。"));
        QCOMPARE(
            lines[2]->text(),
            QStringLiteral("3.基本操作步骤：指定网页类型、网站根目录->指定转换结果类型及存放位置-> 点击“开始转换”"));
        QCOMPARE(lines[2]->geometry(), QRect(33, 161, 640, 23));
        QCOMPARE(Find<QLabel>(*window, "Label5")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(Find<QLabel>(*window, "Label6")->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        const QFont logFont = Find<QPlainTextEdit>(*window, "outText")->font();
        QCOMPARE(logFont.pointSize(), 9);
        QVERIFY2(QFontMetrics(logFont).inFont(QChar(0x8F6C)), "the log font must show Chinese (转)");
    }

    void resizingMovesNoControl() {
        auto window = MakeWindow();
        window->show();
        const QRect before = Find<QPushButton>(*window, "cmdConvert")->geometry();
        const QRect logBefore = Find<QPlainTextEdit>(*window, "outText")->geometry();
        window->resize(1200, 900);
        QTRY_COMPARE(window->centralWidget()->width(), 1200);
        QCOMPARE(Find<QPushButton>(*window, "cmdConvert")->geometry(), before);
        QCOMPARE(Find<QPlainTextEdit>(*window, "outText")->geometry(), logBefore);
    }

    void helpMenuHasTheMakersSiteAndAbout() {
        auto window = MakeWindow();
        auto* menu = Find<QMenu>(*window, "menu1");
        QCOMPARE(menu->title(), QStringLiteral("帮助"));
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->objectName(), QStringLiteral("menu1_1"));
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Varnholt简介"));
        QCOMPARE(menu->actions()[1]->objectName(), QStringLiteral("menu1_2"));
        QCOMPARE(menu->actions()[1]->text(), QStringLiteral("关于..."));

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
        menu->actions()[0]->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("https://www.varnholt.example"))});
    }

    void tabOrderAndFirstFocusFollowTheLayout() {
        auto window = MakeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), Find<QWidget>(*window, "wwwUrl"));
        const QStringList expected = {"cmdSetWWW",  "srcType",  "outputType", "outputDir",  "Command2",
                                      "cmdConvert", "Command3", "outText",    "cmdSaveLog", "wwwUrl"};
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            while (focus && focus->objectName().isEmpty()) focus = focus->parentWidget();  // a combo's line edit
            visited << (focus ? focus->objectName() : QStringLiteral("<none>"));
        }
        QCOMPARE(visited, expected);
    }

    void accessKeysPressTheirButtons() {
        auto window = MakeWindow();
        QCOMPARE(Find<QPushButton>(*window, "cmdConvert")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
        Find<QLineEdit>(*window, "outputDir")->setText(Dir("out"));
        QDir().mkpath(Dir("out"));
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(m_presenter.boxes.size(), 1);  // an access key animates the click: it lands a moment later
        QVERIFY(m_presenter.boxes[0].text.startsWith(QStringLiteral("日志保存成功")));
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::AltModifier);
        QTRY_VERIFY(!window->isVisible());
    }

    void browseButtonsShowThePickedFolderAndStoreItAtOnce() {
        auto window = MakeWindow();
        m_picker.answers = {QStringLiteral("/srv/www"), QStringLiteral("/srv/static")};
        QTest::mouseClick(Find<QPushButton>(*window, "cmdSetWWW"), Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>(*window, "Command2"), Qt::LeftButton);
        QCOMPARE(m_picker.titles, (QStringList{"选择网站目录", "选择输出文件夹"}));
        QCOMPARE(m_picker.owners.value(0), window.get());
        QCOMPARE(Find<QLineEdit>(*window, "wwwUrl")->text(), QStringLiteral("/srv/www"));
        QCOMPARE(Find<QLineEdit>(*window, "outputDir")->text(), QStringLiteral("/srv/static"));
        Rwini reader(IniPath().toStdString());
        QCOMPARE(reader.ReadIni("sys", "workPath", "?"), std::string("/srv/www"));
        QCOMPARE(reader.ReadIni("sys", "outputDir", "?"), std::string("/srv/static"));
    }

    void cancelledPickerEmptiesTheBoxAndTheNextStartRestoresTheDefault() {
        {
            auto window = MakeWindow();
            QTest::mouseClick(Find<QPushButton>(*window, "cmdSetWWW"), Qt::LeftButton);
            QTest::mouseClick(Find<QPushButton>(*window, "Command2"), Qt::LeftButton);
            QCOMPARE(Find<QLineEdit>(*window, "wwwUrl")->text(), QString());
            QCOMPARE(Find<QLineEdit>(*window, "outputDir")->text(), QString());
            const std::string ini = ReadBytes(IniPath());
            QVERIFY2(ini.find("\nworkPath=\n") != std::string::npos, ini.c_str());
            QVERIFY2(ini.find("\noutputDir=\n") != std::string::npos, ini.c_str());
        }
        auto next = MakeWindow();
        QCOMPARE(Find<QLineEdit>(*next, "wwwUrl")->text(), QString::fromStdString(kAppPath));
        QCOMPARE(Find<QLineEdit>(*next, "outputDir")->text(), QString::fromStdString(kHomeOut));
    }

    void typedFolderIsLostWithoutAConversion() {
        WriteBytes(IniPath(), "[sys]\noutputDir=/stored/\n");
        {
            auto window = MakeWindow();
            Find<QLineEdit>(*window, "outputDir")->setText(QStringLiteral("/typed/"));
            window->close();
        }
        auto next = MakeWindow();
        QCOMPARE(Find<QLineEdit>(*next, "outputDir")->text(), QStringLiteral("/stored/"));
    }

    void wholeConversionFromTheButton() {
        MakeSite();
        auto window = MakeWindow();
        window->show();
        auto* bar = Find<QProgressBar>(*window, "Bar1");
        int barShown = 0;
        struct ShowCounter : QObject {
            int* count;
            explicit ShowCounter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Show) ++*count;
                return false;
            }
        } counter(&barShown);
        bar->installEventFilter(&counter);

        bool convertEnabled = true, menuEnabled = true, logEnabled = true, closed = true, barVisible = true;
        QString paneAtBox;
        m_presenter.onPresent = [&](const RecordingPresenter::Box&) {
            convertEnabled = Find<QPushButton>(*window, "cmdConvert")->isEnabled();
            logEnabled = Find<QPlainTextEdit>(*window, "outText")->isEnabled();
            menuEnabled = window->menuBar()->isEnabled();
            closed = window->close();
            barVisible = bar->isVisible();
            paneAtBox = Find<QPlainTextEdit>(*window, "outText")->toPlainText();
        };
        RunConversion(*window, Dir("site"), Dir("out"));

        const std::string expected = ExpectedLog(Dir("site"), Dir("out"));
        QVERIFY2(window->LogText() == expected, ("log was:" + window->LogText()).c_str());
        QCOMPARE(m_presenter.boxes.size(), 1);
        QCOMPARE(m_presenter.boxes[0].text, QStringLiteral("文件转换完成，成功：3个，异常：0个，详见日志!"));
        QCOMPARE(m_presenter.boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(m_presenter.boxes[0].icon, MessageIcon::Information);
        QCOMPARE(m_presenter.boxes[0].owner, window.get());

        // While the final box was open the run was still on: no input, no closing, the log already painted.
        QVERIFY(!convertEnabled);
        QVERIFY(!logEnabled);
        QVERIFY(!menuEnabled);
        QVERIFY(!closed);
        QVERIFY(!barVisible);
        QCOMPARE(paneAtBox, QString::fromStdString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

        // Afterwards: the window takes input again, the log holds the run, the bar went through its range.
        QVERIFY(window->isVisible());
        QVERIFY(Find<QPushButton>(*window, "cmdConvert")->isEnabled());
        QVERIFY(window->menuBar()->isEnabled());
        QCOMPARE(window->LogText(), expected);
        QVERIFY(bar->isHidden());
        QCOMPARE(barShown, 1);
        QCOMPARE(bar->maximum(), 4);
        QCOMPARE(bar->value(), 3);
        QCOMPARE(window->LastRun().outcome, RunOutcome::Completed);

        const std::string page = ReadBytes(Dir("out/a.html"));
        QVERIFY2(page.find("<title>head</title>") != std::string::npos, page.c_str());
        QVERIFY2(page.find("z.html") != std::string::npos, page.c_str());
        QVERIFY(QFile::exists(Dir("out/sub/b.html")));

        // The four choices were stored at the start of the run.
        Rwini reader(IniPath().toStdString());
        QCOMPARE(reader.ReadIni("sys", "workPath", "?"), Dir("site").toStdString());
        QCOMPARE(reader.ReadIni("sys", "outputDir", "?"), Dir("out").toStdString());

        // A second run clears the log and counts afresh.
        m_presenter.onPresent = nullptr;
        RunConversion(*window, Dir("site"), Dir("out"));
        QCOMPARE(window->LogText(), expected);
        QCOMPARE(m_presenter.boxes.size(), 2);
        QCOMPARE(m_presenter.boxes[1].text, m_presenter.boxes[0].text);
    }

    void convertedChoicesAreTheBoxTextsAsTyped() {
        WriteBytes(Dir("site/p.asp"), "<% Response.Write 1 %>\r\n");
        QDir().mkpath(Dir("out"));
        auto window = MakeWindow();
        Find<QComboBox>(*window, "srcType")->setEditText(QStringLiteral("asp"));
        Find<QComboBox>(*window, "outputType")->setEditText(QStringLiteral("shtml"));
        RunConversion(*window, Dir("site"), QStringLiteral("  ") + Dir("out") + QStringLiteral(" "));
        QCOMPARE(m_presenter.boxes.last().text, QStringLiteral("文件转换完成，成功：1个，异常：0个，详见日志!"));
        QVERIFY(QFile::exists(Dir("out/p.shtml")));
        // An ASP page keeps its code: proof that the typed "asp" reached the run.
        const std::string page = ReadBytes(Dir("out/p.shtml"));
        QVERIFY2(page.find("<% Response.Write 1 %>") != std::string::npos, page.c_str());
        const std::string ini = ReadBytes(IniPath());
        QVERIFY2(ini.find("\nsrcType=asp\noutputType=shtml\n") != std::string::npos, ini.c_str());
    }

    void emptyOutputFolderIsRefusedAndTheLogKept_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty output folder") << "/srv/www"
                                             << ""
                                             << "未指定转换结果存放目录！";
        QTest::newRow("blank output folder") << "/srv/www"
                                             << "   "
                                             << "未指定转换结果存放目录！";
        QTest::newRow("empty site root") << ""
                                         << "/srv/out"
                                         << "未指定网站文件根目录！";
    }

    void emptyOutputFolderIsRefusedAndTheLogKept() {
        QFETCH(QString, site);
        QFETCH(QString, out);
        QFETCH(QString, message);
        auto window = MakeWindow();
        RunConversion(*window, site, out);
        QCOMPARE(m_presenter.boxes.size(), 1);
        QCOMPARE(m_presenter.boxes[0].text, message);
        QCOMPARE(m_presenter.boxes[0].title, QStringLiteral("提醒"));
        QCOMPARE(m_presenter.boxes[0].icon, MessageIcon::Stop);
        QCOMPARE(window->LogText(), std::string(" "));
        QCOMPARE(Find<QPlainTextEdit>(*window, "outText")->toPlainText(), QStringLiteral(" "));
        QVERIFY(Find<QPushButton>(*window, "cmdConvert")->isEnabled());
        // The choices are stored before the refusal, the empty one included.
        const std::string ini = ReadBytes(IniPath());
        const std::string stored = "\nworkPath=" + site.toStdString() + "\noutputDir=" + out.toStdString() + "\n";
        QVERIFY2(ini.find(stored) != std::string::npos, ini.c_str());
    }

    void saveLogWritesTheLogTextAndSaysWhere() {
        MakeSite();
        auto window = MakeWindow();
        RunConversion(*window, Dir("site"), Dir("out"));
        Find<QLineEdit>(*window, "outputDir")->setText(QStringLiteral(" ") + Dir("out") + QStringLiteral(" "));
        QTest::mouseClick(Find<QPushButton>(*window, "cmdSaveLog"), Qt::LeftButton);
        QCOMPARE(m_presenter.boxes.size(), 2);
        QCOMPARE(m_presenter.boxes[1].text, QStringLiteral("日志保存成功,存放位置为：") + Dir("out/log.txt"));
        QCOMPARE(m_presenter.boxes[1].title, QStringLiteral("提示"));
        QCOMPARE(m_presenter.boxes[1].icon, MessageIcon::Information);
        const std::string saved = ReadBytes(Dir("out/log.txt"));
        QCOMPARE(saved, ExpectedLog(Dir("site"), Dir("out")));
        QVERIFY(saved.starts_with("\r\n"));
    }

    void saveLogBeforeAnyRunWritesTheInitialBlank() {
        QDir().mkpath(Dir("out"));
        auto window = MakeWindow();
        Find<QLineEdit>(*window, "outputDir")->setText(Dir("out") + QStringLiteral("/"));
        QTest::mouseClick(Find<QPushButton>(*window, "cmdSaveLog"), Qt::LeftButton);
        QCOMPARE(ReadBytes(Dir("out/log.txt")), std::string(" "));
        QCOMPARE(m_presenter.boxes.value(0).text, QStringLiteral("日志保存成功,存放位置为：") + Dir("out/log.txt"));
    }

    void saveLogFailureAndRefusalAreReported() {
        auto window = MakeWindow();
        Find<QLineEdit>(*window, "outputDir")->setText(Dir("missing/folder"));
        QTest::mouseClick(Find<QPushButton>(*window, "cmdSaveLog"), Qt::LeftButton);
        QCOMPARE(m_presenter.boxes.size(), 1);
        QVERIFY2(m_presenter.boxes[0].text.startsWith(QStringLiteral("保存日志时异常,原因为：")),
                 qPrintable(m_presenter.boxes[0].text));
        QVERIFY(m_presenter.boxes[0].text.size() > QStringLiteral("保存日志时异常,原因为：").size());
        QCOMPARE(m_presenter.boxes[0].title, QStringLiteral("出错啦"));
        QCOMPARE(m_presenter.boxes[0].icon, MessageIcon::Stop);

        Find<QLineEdit>(*window, "outputDir")->setText(QStringLiteral("  "));
        QTest::mouseClick(Find<QPushButton>(*window, "cmdSaveLog"), Qt::LeftButton);
        QCOMPARE(m_presenter.boxes.size(), 2);
        QCOMPARE(m_presenter.boxes[1].text, QStringLiteral("未指定转换结果存放目录！"));
        QCOMPARE(m_presenter.boxes[1].title, QStringLiteral("提醒"));
        QCOMPARE(m_presenter.boxes[1].icon, MessageIcon::Stop);
    }

    void aboutWindowOpensOnceAndAnewAfterClosing() {
        auto window = MakeWindow();
        window->show();
        auto* about = Find<QAction>(*window, "menu1_2");
        about->trigger();
        about->trigger();
        QCOMPARE(OpenAboutWindows().size(), 1);
        QPointer<AboutUs> first = OpenAboutWindows().first();
        QVERIFY(!first->isModal());
        QVERIFY(window->isEnabled());
        QTest::mouseClick(first->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QTRY_VERIFY(first.isNull());  // closing discards it
        about->trigger();
        QCOMPARE(OpenAboutWindows().size(), 1);
    }
};

QTEST_MAIN(FrmMainTest)
#include "FrmMainTest.moc"

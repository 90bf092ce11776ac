#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "settings/Rwini.h"
#include "tests/ui/TestSupport.h"
#include "tests/ui/TextFit.h"
#include "ui/AboutUs.h"
#include "ui/FrmMain.h"
#include "ui/InterfaceFont.h"
#include "ui/ProgressRelay.h"

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

/** The control a focus widget belongs to: an editable combo box's line edit has no name of its own. */
QString FocusedControl() {
    QWidget* focus = QApplication::focusWidget();
    while (focus && focus->objectName().isEmpty()) focus = focus->parentWidget();
    return focus ? focus->objectName() : QStringLiteral("<none>");
}

/** The first row of widget, in its own pixels, that is not background: where its text's ink begins. */
int FirstInkedRow(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) return static_cast<int>(y / image.devicePixelRatio());
        }
    }
    return -1;
}

/** A modal box that really takes the focus and gives it back, as the user's OK does. */
void ShowAndCloseARealBox() {
    QWidget* owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("…"), QMessageBox::Ok, owner);
    QTimer::singleShot(50, &box, &QDialog::accept);
    box.exec();
    // A desktop's window manager activates the owner again; the offscreen platform leaves that to us.
    if (owner && !QApplication::activeWindow()) owner->activateWindow();
}

/** The WCAG contrast ratio of two colours. */
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

/** The name a screen reader announces for a control. */
QString AnnouncedName(QAccessibleInterface* accessible) {
    return accessible->text(QAccessible::Name);
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
    QFont m_applicationFont;
    QPalette m_applicationPalette;

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
        m_presenter.questions.clear();
        m_presenter.onAsk = nullptr;
    }

    void initTestCase() {
        m_applicationFont = QApplication::font();
        m_applicationPalette = QApplication::palette();
        // A run with one font alone (FONTCONFIG_FILE): "family|Debian package".
        const QStringList setup = qEnvironmentVariable("QUERNFOLD_FONT_SETUP").split(QLatin1Char('|'));
        if (setup.size() == 2 && !QFontDatabase::families().contains(setup[0])) {
            QSKIP(qPrintable(QStringLiteral("font setup skipped: %1 is not installed (Debian: %2)").arg(setup[0], setup[1])));
        }
    }

    void cleanup() {
        QApplication::setFont(m_applicationFont);
        QApplication::setPalette(m_applicationPalette);
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
        // A dark theme: light text on a dark window.
        QPalette dark = m_applicationPalette;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        QApplication::setPalette(dark);
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
        // On the dark window the instructions' blue is lightened until it reads as well as normal text must.
        const QColor darkBlue = Find<QLabel>(*window, "Label5")->palette().color(QPalette::WindowText);
        QVERIFY2(Contrast(darkBlue, QColor(0x20, 0x20, 0x20)) >= 4.5, qPrintable(darkBlue.name()));
        QVERIFY2(darkBlue.blue() == 255 && darkBlue.red() < 255, qPrintable(darkBlue.name()));
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->objectName() != QLatin1String("Label5")) {
                QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0xee, 0xee, 0xee));
            }
        }
        // Back to a light desktop while the window is open: the layout's pure blue again.
        QApplication::setPalette(m_applicationPalette);
        QTRY_COMPARE(Find<QLabel>(*window, "Label5")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(Contrast(QColor(0, 0, 255), QColor(0x20, 0x20, 0x20)) < 4.5);  // why the dark one differs

        // The window's font and the log pane's, set on the window: 9 pt, able to show Chinese.
        const QFont logFont = Find<QPlainTextEdit>(*window, "outText")->font();
        QCOMPARE(logFont.pointSize(), 9);
        QCOMPARE(window->font().pointSize(), 9);
        QVERIFY2(QFontMetrics(logFont).inFont(QChar(0x8F6C)), "the log font must show Chinese (转)");
        QVERIFY2(QFontMetrics(window->font()).inFont(QChar(0x8F6C)), "the window font must show Chinese (转)");
        // The menus take the window's font, not the desktop's.
        QCOMPARE(window->menuBar()->font(), window->font());
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>()) QCOMPARE(menu->font(), window->font());
    }

    void controlsAreAnnouncedByTheirLabels_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");  // the label linked to it; "" for none
        QTest::newRow("site root") << "wwwUrl" << "网站文件根目录" << "Label1";
        QTest::newRow("source type") << "srcType" << "源文件类型" << "Label2";
        QTest::newRow("output type") << "outputType" << "目标文件类型" << "Label3";
        QTest::newRow("output folder") << "outputDir" << "输出目录" << "Label4";
        QTest::newRow("browse site root") << "cmdSetWWW" << "选择网站文件根目录" << "";
        QTest::newRow("browse output folder") << "Command2" << "选择输出目录" << "";
        QTest::newRow("log") << "outText" << "转换结果日志" << "Label7";
        QTest::newRow("progress") << "Bar1" << "转换进度" << "";
    }

    void controlsAreAnnouncedByTheirLabels() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(QString, label);
        auto window = MakeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        Find<QProgressBar>(*window, "Bar1")->show();  // as during a run
        auto* widget = window->findChild<QWidget*>(control);
        QVERIFY(widget);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(AnnouncedName(accessible), name);
        if (label.isEmpty()) return;
        auto* labelWidget = Find<QLabel>(*window, qPrintable(label));
        QCOMPARE(labelWidget->buddy(), widget);
        // What a screen reader finds as the control's label: the label the user sees beside it.
        QStringList labelledBy;
        for (const auto& [other, relation] : accessible->relations(QAccessible::Label)) {
            labelledBy << other->text(QAccessible::Name);
        }
        QVERIFY2(!labelledBy.isEmpty() && labelledBy.first() == labelWidget->text(),
                 qPrintable(labelledBy.join(QLatin1Char('|'))));
    }

    void interfaceFontIsProportionalWhenOneIsInstalled() {
        auto window = MakeWindow();
        QStringList proportional;
        for (const QString& family : QFontDatabase::families(QFontDatabase::SimplifiedChinese)) {
            if (IsProportional(family)) proportional << family;
        }
        const QFontInfo used(window->font());
        qInfo("window font: %s; log font: %s; proportional Chinese faces: %s", qPrintable(used.family()),
              qPrintable(QFontInfo(Find<QPlainTextEdit>(*window, "outText")->font()).family()),
              qPrintable(proportional.join(QStringLiteral(", "))));
        if (!proportional.isEmpty()) {
            QVERIFY(!used.fixedPitch());
            const QFontMetricsF metrics(window->font());
            QVERIFY2(metrics.horizontalAdvance(QLatin1Char('i')) + 1 < metrics.horizontalAdvance(QLatin1Char('m')),
                     qPrintable(used.family()));
            QVERIFY(proportional.contains(used.family()));
        }
        // The log keeps its own choice, whatever the labels use.
        QCOMPARE(Find<QPlainTextEdit>(*window, "outText")->font(), LogFont());
        // Labels, buttons and boxes all draw with the window's font.
        for (const char* name : {"Label1", "wwwUrl", "srcType", "cmdConvert", "Label6"}) {
            QCOMPARE(Find<QWidget>(*window, name)->font(), window->font());
        }
    }

    void textsFitTheirControlsWhateverTheDesktopFont_data() {
        QTest::addColumn<int>("points");
        // 9 pt is what the layout was drawn for; 10 and 11 pt are common desktop defaults, 14 pt a large one.
        for (int points : {9, 11, 14}) {
            QTest::addRow("application font %d pt", points) << points;
        }
    }

    void textsFitTheirControlsWhateverTheDesktopFont() {
        QFETCH(int, points);
        QFont desktop = m_applicationFont;
        desktop.setPointSize(points);
        QApplication::setFont(desktop);
        auto window = MakeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        Find<QAction>(*window, "menu1_2")->trigger();
        QCOMPARE(OpenAboutWindows().size(), 1);
        AboutUs* about = OpenAboutWindows().first();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        const QStringList misfits = TextsThatDoNotFit(window.get()) + TextsThatDoNotFit(about);
        QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(QLatin1Char('\n'))));
    }

    void labelsAreDrawnFromTheTopOfTheirRectangles() {
        auto window = MakeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        AboutUs about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const QList<QLabel*> labels =
            window->findChildren<QLabel*>() + about.findChildren<QLabel*>(QStringLiteral("Label1"));
        for (QLabel* label : labels) {
            // Centred, the ink of a 9-pt line starts 4 px or more below the top of these rectangles.
            const int row = FirstInkedRow(label);
            QVERIFY2(row >= 0 && row <= 3,
                     qPrintable(label->objectName() + ": " + label->text() + " starts at row " + QString::number(row)));
        }
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

    void optionsMenuReadsTheStoredChoiceWithoutWritingIt_data() {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");  // "<none>": the key is absent
        QTest::addColumn<bool>("checked");
        const QStringList items[] = {
            {"menuCopyAssets", QStringLiteral("同时复制静态文件(&A)"), "copyAssets"},
            {"menuDropServerCode", QStringLiteral("删除ASP服务器代码(&D)"), "dropServerCode"},
            {"menuAnyCaseLinks", QStringLiteral("链接扩展名不区分大小写(&C)"), "anyCaseLinks"},
        };
        const std::pair<const char*, std::pair<QString, bool>> stores[] = {
            {"absent", {"<none>", false}},
            {"one", {"1", true}},
            {"zero", {"0", false}},
            {"anything else", {"yes", false}},
            {"blanks around, as for every key", {" 1 ", true}},
            {"capital letters", {"TRUE", false}},
        };
        for (const QStringList& item : items) {
            for (const auto& [row, store] : stores) {
                QTest::newRow(qPrintable(item[2] + ": " + row))
                    << item[0] << item[1] << item[2] << store.first << store.second;
            }
        }
    }

    void optionsMenuReadsTheStoredChoiceWithoutWritingIt() {
        QFETCH(QString, object);
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(bool, checked);
        std::string ini = "[sys]\nworkPath=/srv/www/\noutputDir=/srv/out/\nsrcType=jsp\noutputType=html\n";
        if (stored != QStringLiteral("<none>")) ini += key.toStdString() + "=" + stored.toStdString() + "\n";
        WriteBytes(IniPath(), ini);
        auto window = MakeWindow();
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text(), QStringLiteral("选项(&O)"));
        QCOMPARE(menus[1]->text(), QStringLiteral("操作(&A)"));
        QCOMPARE(menus[2]->text(), QStringLiteral("帮助"));
        auto* item = Find<QAction>(*window, object.toLatin1().constData());
        QCOMPARE(item->text(), text);
        QVERIFY(item->isCheckable());
        QCOMPARE(item->isChecked(), checked);
        QCOMPARE(ReadBytes(IniPath()), ini);

        // Toggling stores the new state at once, after the four keys; no other item's key is written.
        item->trigger();
        std::string expected = "[sys]\nworkPath=/srv/www/\noutputDir=/srv/out/\nsrcType=jsp\noutputType=html\n";
        expected += key.toStdString() + "=" + (checked ? "0" : "1") + "\n";
        QCOMPARE(ReadBytes(IniPath()), expected);
    }

    void copyingStaticFilesFromTheWindowAddsOneSummaryLine() {
        MakeSite();
        WriteBytes(Dir("site/css/site.css"), "body{}\n");
        WriteBytes(Dir("site/WEB-INF/web.xml"), "<web-app/>\n");
        auto window = MakeWindow();
        auto* viewReport = Find<QAction>(*window, "menuViewReport");
        QCOMPARE(viewReport->text(), QStringLiteral("查看转换报告(&R)"));
        QVERIFY(!viewReport->isEnabled());  // no run, no report
        Find<QAction>(*window, "menuCopyAssets")->trigger();
        // The bar as the window is asked to show it: the pages, then the static files on the same bar.
        QStringList bar;
        auto* relay = window->findChild<ProgressRelay*>();
        connect(relay, &ProgressRelay::RangeRequested, this, [&](int min, int max) { bar << QStringLiteral("range %1 %2").arg(min).arg(max); });
        connect(relay, &ProgressRelay::ValueRequested, this, [&](int value) { bar << QStringLiteral("value %1").arg(value); });
        connect(relay, &ProgressRelay::VisibleRequested, this, [&](bool on) { bar << (on ? "show" : "hide"); });
        RunConversion(*window, Dir("site"), Dir("out"));
        std::string expected = ExpectedLog(Dir("site"), Dir("out"));
        const std::string summary = "\r\n" + Banner('*', 78) + "\r\n共转换文件";
        // One line after the last page's, so the copy does not look frozen; one summary line counts it.
        expected.insert(expected.find(summary), "\r\n开始复制静态文件");
        const std::string closing = "\r\n" + Banner('*', 78);
        expected.insert(expected.size() - closing.size(), "\r\n复制静态文件1个，其中未变化0个，失败0个");
        QVERIFY2(window->LogText() == expected, ("log was:" + window->LogText()).c_str());
        QVERIFY(viewReport->isEnabled());
        QCOMPARE(bar, (QStringList{"range 0 4", "show", "value 1", "value 2", "value 3", "range 0 2", "value 0",
                                   "value 1", "hide"}));
        QVERIFY(Find<QProgressBar>(*window, "Bar1")->isHidden());
        QCOMPARE(ReadBytes(Dir("out/css/site.css")), std::string("body{}\n"));
        QVERIFY(!QFileInfo::exists(Dir("out/WEB-INF")));
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
        // Each picker opens at the folder its box held.
        QCOMPARE(m_picker.boxTexts, (QStringList{QString::fromStdString(kAppPath), QString::fromStdString(kHomeOut)}));
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

        bool convertEnabled = true, optionsEnabled = true, helpEnabled = false, logEnabled = false, closed = true,
             barVisible = true;
        QString paneAtBox;
        m_presenter.onPresent = [&](const RecordingPresenter::Box&) {
            convertEnabled = Find<QPushButton>(*window, "cmdConvert")->isEnabled();
            logEnabled = Find<QPlainTextEdit>(*window, "outText")->isEnabled();
            optionsEnabled = Find<QMenu>(*window, "menuOptions")->menuAction()->isEnabled() &&
                             window->menuBar()->isEnabled();
            helpEnabled = Find<QMenu>(*window, "menu1")->menuAction()->isEnabled() && window->menuBar()->isEnabled();
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

        // While the final box was open the run was still on: no new run, no options, no closing, the log already
        // painted and still readable, 帮助 still open.
        QVERIFY(!convertEnabled);
        QVERIFY(logEnabled);
        QVERIFY(!optionsEnabled);
        QVERIFY(helpEnabled);
        QVERIFY(!closed);
        QVERIFY(!barVisible);
        QCOMPARE(paneAtBox, QString::fromStdString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

        // Afterwards: the window takes input again, the log holds the run, the bar went through its range.
        QVERIFY(window->isVisible());
        QVERIFY(Find<QPushButton>(*window, "cmdConvert")->isEnabled());
        QVERIFY(Find<QMenu>(*window, "menuOptions")->menuAction()->isEnabled());
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

    void quittingDuringARunAsksWhetherToStopIt_data() {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("runEndsWhileAsked");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("stops");
        QTest::addColumn<int>("finalBoxes");
        // 是 stops the run; the window closes once the summary is written, without the final box.
        QTest::newRow("yes") << true << false << true << true << 0;
        // 否: the run goes on to its final box, the window stays.
        QTest::newRow("no") << false << false << false << false << 1;
        // The run ends while the question is open: 是 closes without the final box, 否 shows it.
        QTest::newRow("yes after the end") << true << true << true << false << 0;
        QTest::newRow("no after the end") << false << true << false << false << 1;
    }

    void quittingDuringARunAsksWhetherToStopIt() {
        QFETCH(bool, yes);
        QFETCH(bool, runEndsWhileAsked);
        QFETCH(bool, closes);
        QFETCH(bool, stops);
        QFETCH(int, finalBoxes);
        // Enough pages that the run is still going when the first page's progress reaches the window.
        constexpr int kPages = 2000;
        for (int i = 0; i < kPages; ++i) {
            WriteBytes(Dir(QStringLiteral("site/s%1/p%2.jsp").arg(i / 100).arg(i, 4, 10, QLatin1Char('0'))),
                       "<p>page</p>\r\n<% int x = 1; %>\r\n<a href=\"next.jsp\">next</a>\r\n");
        }
        QDir().mkpath(Dir("out"));
        auto window = MakeWindow();
        window->show();
        bool quitEnabled = false, convertEnabled = true;
        m_presenter.onAsk = [&](const RecordingPresenter::Box&) {
            quitEnabled = Find<QPushButton>(*window, "Command3")->isEnabled();
            convertEnabled = Find<QPushButton>(*window, "cmdConvert")->isEnabled();
            if (runEndsWhileAsked) {
                QSignalSpy finished(window.get(), &FrmMain::ConversionFinished);
                if (!finished.wait(60000)) qWarning("the run did not end");
            }
            return yes;
        };
        auto* relay = window->findChild<ProgressRelay*>();
        QVERIFY(relay);
        bool quitPressed = false;
        connect(
            relay, &ProgressRelay::ValueRequested, window.get(),
            [&] {
                if (std::exchange(quitPressed, true)) return;
                QTest::mouseClick(Find<QPushButton>(*window, "Command3"), Qt::LeftButton);
            },
            Qt::QueuedConnection);

        RunConversion(*window, Dir("site"), Dir("out"));
        QCoreApplication::processEvents();

        QCOMPARE(m_presenter.questions.size(), 1);
        QCOMPARE(m_presenter.questions[0].text, QStringLiteral("转换正在进行，确定要中止转换吗？"));
        QCOMPARE(m_presenter.questions[0].title, QStringLiteral("提示"));
        QCOMPARE(m_presenter.questions[0].owner, window.get());
        QVERIFY(quitEnabled);  // 退出 stays enabled during a run, the other controls do not
        QVERIFY(!convertEnabled);
        QCOMPARE(window->isVisible(), !closes);
        QCOMPARE(m_presenter.boxes.size(), finalBoxes);
        QCOMPARE(window->LastRun().counts.stopped == RunStop::User, stops);
        const std::string log = window->LogText();
        const std::string summaryStart = Banner('*', 78) + "\r\n共转换文件";
        QVERIFY2(log.find(summaryStart) != std::string::npos, log.c_str());
        if (stops) {
            QVERIFY2(log.find("\r\n转换已被用户中止\r\n" + summaryStart) != std::string::npos, log.c_str());
            QVERIFY(window->LastRun().counts.pages < kPages);
        } else {
            QVERIFY(log.find("转换已被用户中止") == std::string::npos);
            QCOMPARE(window->LastRun().counts.pages, static_cast<std::int64_t>(kPages));
        }
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

    void focusComesBackAfterARunAndAfterARefusal_data() {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QString>("press");  // "Alt+C", or the button clicked with the mouse
        QTest::addColumn<bool>("siteGiven");
        QTest::addColumn<bool>("outputGiven");
        QTest::addColumn<QString>("box");
        const QString done = QStringLiteral("文件转换完成，成功：3个，异常：0个，详见日志!");
        QTest::newRow("run from the keyboard") << "wwwUrl"
                                               << "Alt+C" << true << true << done;
        QTest::newRow("run from the button") << "cmdConvert"
                                             << "cmdConvert" << true << true << done;
        QTest::newRow("no output folder") << "outputDir"
                                          << "Alt+C" << true << false << "未指定转换结果存放目录！";
        QTest::newRow("no site root, focus in a combo box") << "srcType"
                                                            << "Alt+C" << false << true << "未指定网站文件根目录！";
        QTest::newRow("log not saved without a folder") << "cmdSaveLog"
                                                        << "cmdSaveLog" << true << false << "未指定转换结果存放目录！";
    }

    void focusComesBackAfterARunAndAfterARefusal() {
        QFETCH(QString, focused);
        QFETCH(QString, press);
        QFETCH(bool, siteGiven);
        QFETCH(bool, outputGiven);
        QFETCH(QString, box);
        MakeSite();
        auto window = MakeWindow();
        Find<QLineEdit>(*window, "wwwUrl")->setText(siteGiven ? Dir("site") : QString());
        Find<QLineEdit>(*window, "outputDir")->setText(outputGiven ? Dir("out") : QString());
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        Find<QWidget>(*window, qPrintable(focused))->setFocus();
        QCOMPARE(FocusedControl(), focused);
        m_presenter.onPresent = [](const RecordingPresenter::Box&) { ShowAndCloseARealBox(); };

        QSignalSpy finished(window.get(), &FrmMain::ConversionFinished);
        if (press == QLatin1String("Alt+C")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
        } else {
            QTest::mouseClick(Find<QPushButton>(*window, qPrintable(press)), Qt::LeftButton);
        }
        if (press != QLatin1String("cmdSaveLog")) QVERIFY(finished.wait(20000));
        QCOMPARE(m_presenter.boxes.size(), 1);
        QCOMPARE(m_presenter.boxes[0].text, box);
        QTRY_COMPARE(FocusedControl(), focused);
    }

    void droppedFolderFillsTheBoxAndAnythingElseIsRefused_data() {
        // Dropped items: "@name" is a local file URL of name in the test's folder; "text:name" is the path of name
        // dropped as plain text; "gbk" is the URL of a folder whose name is not UTF-8; anything else is a URL.
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QString>("shown");  // name of the folder that fills the box; "" when the drop is refused
        QTest::newRow("a local folder") << QStringList{"@site"} << "site";
        QTest::newRow("a folder with a trailing slash") << QStringList{"@site/"} << "site";
        QTest::newRow("a folder named in Chinese") << QStringList{"@网站"} << "网站";
        QTest::newRow("a file") << QStringList{"@site/a.jsp"} << "";
        QTest::newRow("a missing folder") << QStringList{"@site/gone"} << "";
        QTest::newRow("a folder named in GBK bytes") << QStringList{"gbk"} << "";
        QTest::newRow("two folders") << QStringList{"@site", "@site/inc"} << "";
        QTest::newRow("a web address") << QStringList{"https://www.varnholt.example/"} << "";
        QTest::newRow("plain text") << QStringList{"text:site"} << "";
    }

    void droppedFolderFillsTheBoxAndAnythingElseIsRefused() {
        QFETCH(QStringList, dropped);
        QFETCH(QString, shown);
        MakeSite();
        QDir().mkpath(Dir("网站"));
        // "测试" in GBK: a name Qt cannot turn into text, as unpacked from a Windows archive.
        const QByteArray gbk = QFile::encodeName(m_dir->path()) + "/\xb2\xe2\xca\xd4";
        QVERIFY(::mkdir(gbk.constData(), 0755) == 0);
        struct RemovedAfterwards {  // Qt cannot name it, so the temporary folder's removal would leave it
            QByteArray path;
            ~RemovedAfterwards() { ::rmdir(path.constData()); }
        } removed{gbk};
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& item : dropped) {
            if (item.startsWith(QLatin1String("text:"))) {
                data.setText(Dir(item.mid(5)));
            } else {
                urls << (item == QLatin1String("gbk")        ? QUrl::fromEncoded("file://" + gbk.toPercentEncoding("/"))
                         : item.startsWith(QLatin1Char('@')) ? QUrl::fromLocalFile(Dir(item.mid(1)))
                                                             : QUrl(item));
            }
        }
        if (!urls.isEmpty()) data.setUrls(urls);
        const bool accepted = !shown.isEmpty();
        auto window = MakeWindow();
        for (const char* name : {"wwwUrl", "outputDir"}) {
            auto* box = Find<QLineEdit>(*window, name);
            const QString before = box->text();
            const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
            QDragEnterEvent enter(box->rect().center(), actions, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
            QCOMPARE(enter.isAccepted(), accepted);
            QDropEvent drop(box->rect().center(), actions, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(box, &drop);
            QCOMPARE(drop.isAccepted(), accepted);
            if (accepted) QCOMPARE(drop.dropAction(), Qt::CopyAction);  // never a move: the folder stays
            QCOMPARE(box->text(), accepted ? Dir(shown) : before);
        }
        if (accepted) {  // stored at once, as a picked folder is
            Rwini reader(IniPath().toStdString());
            QCOMPARE(reader.ReadIni("sys", "workPath", "?"), Dir(shown).toStdString());
            QCOMPARE(reader.ReadIni("sys", "outputDir", "?"), Dir(shown).toStdString());
        }
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

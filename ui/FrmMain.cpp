#include "ui/FrmMain.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QUrl>

#include "ui/AboutUs.h"
#include "ui/AppIcon.h"
#include "ui/DirWindow.h"
#include "ui/FolderDrop.h"
#include "ui/FormLabel.h"
#include "ui/InstructionColour.h"
#include "ui/InterfaceFont.h"
#include "ui/LogPane.h"
#include "ui/MakerInfo.h"
#include "ui/MessageBoxes.h"
#include "ui/NamedComboAccessible.h"
#include "ui/ProgressRelay.h"
#include "ui/Twips.h"
#include "ui/core/WindowPresenter.h"

namespace quernfold {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget>
Widget* Place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

/** What a screen reader says for control: the text of its label without the colon, the label linked to it. */
void Announce(QWidget* control, const QString& name, QLabel* label = nullptr) {
    control->setAccessibleName(name);
    if (label) label->setBuddy(control);
}

/** Fills a type box with its items, the stored one selected. */
void ShowItems(QComboBox* combo, const std::vector<std::string>& items, int selected) {
    combo->clear();
    for (const std::string& item : items) combo->addItem(Q(item));
    combo->setCurrentIndex(selected);
}

/** What the user types is the text that counts: no completion, no adding it to the list. */
void MakeEditable(QComboBox* combo) {
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
}

}  // namespace

FrmMain::FrmMain(const FrmMainContext& context, QWidget* parent)
    : QMainWindow(parent), m_folders(context.folders), m_boxes(context.messages) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quernfold"));
    setWindowIcon(ProductIcon());
    setFont(InterfaceFont());
    InstallNamedComboAccessible();
    BuildControls();
    BuildMenu();

    m_log = new LogPane(m_outText, QStringLiteral(" "), this);
    m_progress = new ProgressRelay(m_bar1, this);
    m_windowBoxes = std::make_unique<WindowBoxes>(this, m_boxes, *m_log);
    WindowView& view = *this;
    m_behaviour = std::make_unique<WindowPresenter>(
        view, WindowPresenterContext{context.settings, *m_log, *m_progress, context.appPath, context.defaultOutputDir});

    // The layout is fixed: resizing the window moves and grows nothing.
    resize(Px(11040), Px(7035) + menuBar()->sizeHint().height());
    CentreOnScreen();
    m_behaviour->Load();
    m_wwwUrl->setFocus();
}

FrmMain::~FrmMain() {
    // A run still going ends before the log and the bar it writes to.
    m_behaviour.reset();
    delete m_about;
}

bool FrmMain::IsConverting() const { return m_behaviour->IsConverting(); }

const RunResult& FrmMain::LastRun() const { return m_behaviour->LastRun(); }

void FrmMain::BuildControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    auto* frame1 =
        Place(new QGroupBox(QStringLiteral("转换设置..."), client), "Frame1", TwipsRect(240, 120, 10530, 2805));
    auto* frame2 =
        Place(new QGroupBox(QStringLiteral("网页转换"), client), "Frame2", TwipsRect(210, 2985, 10545, 3585));

    // The controls that take the focus are made in tab order: a new widget joins the end of the focus chain,
    // whereas setTabOrder breaks the chain around the editable combo boxes' inner line edits (Qt 6.4).
    m_wwwUrl = Place(new QLineEdit(frame1), "wwwUrl", TwipsRect(5205, 315, 4680, 390));
    m_cmdSetWWW = Place(new QPushButton(QStringLiteral("..."), frame1), "cmdSetWWW", TwipsRect(9900, 300, 450, 405));
    m_srcType = Place(new QComboBox(frame1), "srcType", TwipsRect(1110, 345, 2235, 300));
    MakeEditable(m_srcType);
    m_outputType = Place(new QComboBox(frame1), "outputType", TwipsRect(1095, 915, 2265, 300));
    MakeEditable(m_outputType);
    m_outputDir = Place(new QLineEdit(frame1), "outputDir", TwipsRect(5220, 930, 4650, 390));
    m_command2 = Place(new QPushButton(QStringLiteral("..."), frame1), "Command2", TwipsRect(9885, 930, 480, 390));
    m_cmdConvert =
        Place(new QPushButton(QStringLiteral("&C.开始转换"), frame2), "cmdConvert", TwipsRect(9075, 570, 1275, 555));
    m_command3 =
        Place(new QPushButton(QStringLiteral("&Q.退  出"), frame2), "Command3", TwipsRect(9075, 2025, 1260, 540));
    m_outText = Place(new QPlainTextEdit(frame2), "outText", TwipsRect(165, 540, 8490, 2505));
    m_cmdSaveLog =
        Place(new QPushButton(QStringLiteral("&S.保存日志"), frame2), "cmdSaveLog", TwipsRect(9090, 1320, 1260, 495));

    Announce(m_srcType, QStringLiteral("源文件类型"),
             AddFormLabel(frame1, "Label2", QStringLiteral("网页类型："), TwipsRect(150, 420, 1050, 330)));
    Announce(m_wwwUrl, QStringLiteral("网站文件根目录"),
             AddFormLabel(frame1, "Label1", QStringLiteral("网站文件根目录："), TwipsRect(3735, 480, 1545, 375)));
    Announce(m_outputType, QStringLiteral("目标文件类型"),
             AddFormLabel(frame1, "Label3", QStringLiteral("转换为："), TwipsRect(315, 960, 750, 360)));
    Announce(m_outputDir, QStringLiteral("输出目录"),
             AddFormLabel(frame1, "Label4", QStringLiteral("转换结果存放目录："), TwipsRect(3570, 990, 1935, 390)));
    Announce(m_cmdSetWWW, QStringLiteral("选择网站文件根目录"));
    Announce(m_command2, QStringLiteral("选择输出目录"));
    m_label5 = AddFormLabel(frame1, "Label5", QStringLiteral("操作说明："), TwipsRect(210, 1410, 1860, 330));
    ShowInstructionColour();
    const QString instructions[] = {
        QStringLiteral("1.该工具用于把动态网页中的include部分，自动替换为相应的文件内容。"),
        QStringLiteral("2.如果网站文件的根目录未正确指定，转换时可能为异常，详见转换日志。"),
        QStringLiteral("3.基本操作步骤：指定网页类型、网站根目录->指定转换结果类型及存放位置-> 点击“开始转换”"),
    };
    const QRect instructionRects[] = {TwipsRect(510, 1725, 9600, 345), TwipsRect(510, 2070, 9600, 345),
                                      TwipsRect(495, 2415, 9600, 345)};
    for (int i = 0; i < 3; ++i) {
        AddFormLabel(frame1, "Label8", instructions[i], instructionRects[i])->setProperty("index", i);
    }
    Announce(m_outText, QStringLiteral("转换结果日志"),
             AddFormLabel(frame2, "Label7", QStringLiteral("转换结果日志："), TwipsRect(225, 300, 1830, 225)));
    const QString credits = QStringLiteral("制作：") + QString::fromUtf8(kMakerName) + QString(14, QLatin1Char(' ')) +
                            QStringLiteral("企业网址：") + QString::fromUtf8(kMakerWebAddress) +
                            QString(9, QLatin1Char(' ')) + QStringLiteral("Email:") + QString::fromUtf8(kMakerEmail);
    // The design's black is the default text colour of its platform: the palette's, so a dark theme shows it.
    AddFormLabel(client, "Label6", credits, TwipsRect(405, 6690, 10275, 300));

    // The log keeps the face its banner lines were measured with.
    m_outText->setFont(LogFont());
    m_outText->setReadOnly(true);
    m_outText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_outText->setFocusPolicy(Qt::StrongFocus);
    m_outText->setTabChangesFocus(true);
    m_bar1 = Place(new QProgressBar(frame2), "Bar1", TwipsRect(135, 3180, 10260, 270));
    m_bar1->setRange(0, 100);
    m_bar1->setTextVisible(false);
    m_bar1->hide();
    Announce(m_bar1, QStringLiteral("转换进度"));

    connect(FolderDrop::Attach(m_wwwUrl), &FolderDrop::FolderDropped, this,
            [this](const QString& folder) { m_behaviour->SetFolder(FolderBox::SiteRoot, folder.toStdString()); });
    connect(FolderDrop::Attach(m_outputDir), &FolderDrop::FolderDropped, this,
            [this](const QString& folder) { m_behaviour->SetFolder(FolderBox::OutputDir, folder.toStdString()); });
    connect(m_cmdSetWWW, &QPushButton::clicked, this, [this] { m_behaviour->BrowseSiteRoot(); });
    connect(m_command2, &QPushButton::clicked, this, [this] { m_behaviour->BrowseOutputDir(); });
    connect(m_cmdConvert, &QPushButton::clicked, this, [this] { m_behaviour->Convert(); });
    connect(m_cmdSaveLog, &QPushButton::clicked, this, [this] { m_behaviour->SaveLog(); });
    connect(m_command3, &QPushButton::clicked, this, &QWidget::close);
}

void FrmMain::BuildMenu() {
    // The menus are windows of their own and take no font from the window: given its font, the form looks like
    // one piece whatever the desktop's menu font.
    menuBar()->setFont(InterfaceFont());
    // The bar makes a menu of its own for the menus that do not fit a narrow window; it takes the font too.
    menuBar()->installEventFilter(this);
    QMenu* options = menuBar()->addMenu(QStringLiteral("选项(&O)"));
    options->setObjectName(QStringLiteral("menuOptions"));
    options->setFont(InterfaceFont());
    m_optionsMenu = options;
    AddOption(options, QStringLiteral("同时复制静态文件(&A)"), "menuCopyAssets", WindowOption::CopyAssets);
    AddOption(options, QStringLiteral("删除ASP服务器代码(&D)"), "menuDropServerCode", WindowOption::DropServerCode);
    AddOption(options, QStringLiteral("链接扩展名不区分大小写(&C)"), "menuAnyCaseLinks", WindowOption::AnyCaseLinks);

    QMenu* actions = menuBar()->addMenu(QStringLiteral("操作(&A)"));
    actions->setObjectName(QStringLiteral("menuActions"));
    actions->setFont(InterfaceFont());
    m_viewReport = actions->addAction(QStringLiteral("查看转换报告(&R)"), this, [this] { m_behaviour->ViewReport(); });
    m_viewReport->setObjectName(QStringLiteral("menuViewReport"));
    m_viewReport->setEnabled(false);  // until a run completes

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
    help->setObjectName(QStringLiteral("menu1"));
    help->setFont(InterfaceFont());
    QAction* site = help->addAction(QStringLiteral("Varnholt简介"), this, [this] { m_behaviour->OpenMakerSite(); });
    site->setObjectName(QStringLiteral("menu1_1"));
    QAction* about = help->addAction(QStringLiteral("关于..."), this, [this] { m_behaviour->ShowAbout(); });
    about->setObjectName(QStringLiteral("menu1_2"));
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    // The child is not yet a menu while it is being made: its font is set once the event loop turns.
    if (watched == menuBar() && event->type() == QEvent::ChildAdded) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                for (QMenu* menu : menuBar()->findChildren<QMenu*>()) menu->setFont(InterfaceFont());
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmMain::CentreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

QLineEdit* FrmMain::Box(FolderBox box) const { return box == FolderBox::SiteRoot ? m_wwwUrl : m_outputDir; }

std::string FrmMain::BoxText(FolderBox box) const { return Box(box)->text().toStdString(); }

void FrmMain::SetBoxText(FolderBox box, const std::string& text) { Box(box)->setText(Q(text)); }

std::string FrmMain::SourceTypeText() const { return m_srcType->currentText().toStdString(); }

std::string FrmMain::OutputTypeText() const { return m_outputType->currentText().toStdString(); }

void FrmMain::ShowSourceTypes(const std::vector<std::string>& items, int selected) {
    ShowItems(m_srcType, items, selected);
}

void FrmMain::ShowOutputTypes(const std::vector<std::string>& items, int selected) {
    ShowItems(m_outputType, items, selected);
}

QAction* FrmMain::AddOption(QMenu* menu, const QString& text, const char* objectName, WindowOption option) {
    QAction* item = menu->addAction(text);
    item->setObjectName(QString::fromLatin1(objectName));
    item->setCheckable(true);
    connect(item, &QAction::toggled, this, [this, option](bool on) { m_behaviour->ToggleOption(option, on); });
    m_options[static_cast<int>(option)] = item;
    return item;
}

void FrmMain::ShowOption(WindowOption option, bool checked) {
    QAction* item = m_options[static_cast<int>(option)];
    const QSignalBlocker quiet(item);  // showing the stored state is no toggle
    item->setChecked(checked);
}

std::string FrmMain::PickFolder(const std::string& title, const std::string& boxText) {
    return m_folders.BrowseForFolder(this, Q(title), Q(boxText)).toStdString();
}

void FrmMain::ShowBox(const std::string& text, const std::string& title, MessageIcon icon) {
    m_windowBoxes->Show(text, title, icon);
}

bool FrmMain::Ask(const std::string& text, const std::string& title) { return m_boxes.Ask(this, Q(text), Q(title)); }

void FrmMain::Post(std::function<void()> call) { m_windowBoxes->Post(std::move(call)); }

void FrmMain::RunEnded() { emit ConversionFinished(); }

void FrmMain::CloseWindow() { close(); }

std::string FrmMain::LogText() {
    m_log->Flush();
    return m_log->Text();
}

void FrmMain::OpenWebAddress(const std::string& address) { QDesktopServices::openUrl(QUrl(Q(address))); }

void FrmMain::OpenLocalFile(const std::string& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path))); }

void FrmMain::ShowReportAvailable(bool available) {
    if (m_viewReport) m_viewReport->setEnabled(available);
}

void FrmMain::ShowAboutWindow() {
    if (!m_about) {
        // No owner: the about window must be able to outlive this one.
        m_about = new AboutUs();
        m_about->move(frameGeometry().center() - m_about->rect().center());
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void FrmMain::ShowConverting(bool converting) {
    // Disabling the focused control leaves the window without focus; the control gets it back afterwards, so
    // that the keyboard works on after a run or a refusal without the mouse.
    if (converting) {
        m_focusBeforeRun = focusWidget();
    }
    // The log stays readable and scrollable while it grows, and 帮助 stays open; what would change the run or
    // start another does not.
    for (QWidget* control : std::initializer_list<QWidget*>{m_wwwUrl, m_cmdSetWWW, m_srcType, m_outputType,
                                                             m_outputDir, m_command2, m_cmdConvert, m_cmdSaveLog}) {
        control->setEnabled(!converting);
    }
    m_optionsMenu->menuAction()->setEnabled(!converting);
    if (converting) {
        m_log->StartBatching();
    } else {
        m_log->StopBatching();
    }
    if (!converting && m_focusBeforeRun && m_focusBeforeRun->isEnabled()) {
        m_focusBeforeRun->setFocus(Qt::OtherFocusReason);
    }
}

void FrmMain::ShowInstructionColour() {
    SetTextColour(m_label5, InstructionColour(palette().color(QPalette::Window)));
}

void FrmMain::changeEvent(QEvent* event) {
    // A desktop switched between a light and a dark theme while the window is open.
    if (event->type() == QEvent::PaletteChange && m_label5) ShowInstructionColour();
    QMainWindow::changeEvent(event);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (!m_behaviour->CloseRequested()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace quernfold

#include "ui/AboutUs.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui/AppIcon.h"
#include "ui/FormLabel.h"
#include "ui/InterfaceFont.h"
#include "ui/MakerInfo.h"
#include "ui/Twips.h"

namespace quernfold {

namespace {

constexpr int kPictureSize = 70;

QLabel* AddLabel(QWidget* parent, int index, const QString& text, const QRect& geometry) {
    QLabel* label = AddFormLabel(parent, "Label1", text, geometry);
    label->setProperty("index", index);
    return label;
}

}  // namespace

AboutUs::AboutUs(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("aboutUs"));
    setWindowTitle(QStringLiteral("关于..."));
    setWindowIcon(ProductIcon());
    setFont(InterfaceFont());
    setFixedSize(Px(5340), Px(3390));
    // Closing discards the window; the next "关于..." makes a new one.
    setAttribute(Qt::WA_DeleteOnClose);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setGeometry(TwipsRect(165, 195, 1095, 1110));
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(QPixmap::fromImage(DrawProductPicture(kPictureSize)));
    picture->setFocusPolicy(Qt::TabFocus);

    AddLabel(this, 0, QStringLiteral("Quernfold    （免费使用版）"), TwipsRect(1620, 285, 3825, 345));
    AddLabel(this, 1, QStringLiteral("Ver 1.0"), TwipsRect(1620, 615, 1050, 330));

    auto* frame = new QGroupBox(QStringLiteral("软件制作"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(TwipsRect(1545, 1035, 3525, 1425));
    AddLabel(frame, 2, QString::fromUtf8(kMakerName) + QLatin1Char(' '), TwipsRect(195, 345, 2235, 345));
    AddLabel(frame, 4, QString::fromUtf8(kMakerWebAddress), TwipsRect(210, 660, 2685, 345));
    AddLabel(frame, 3, QStringLiteral("2010年12月"), TwipsRect(210, 1035, 1110, 345));

    auto* button = new QPushButton(QStringLiteral("确   定"), this);
    button->setObjectName(QStringLiteral("Command1"));
    button->setGeometry(TwipsRect(3810, 2580, 1230, 540));
    button->setAutoDefault(false);
    button->setDefault(false);
    connect(button, &QPushButton::clicked, this, &QDialog::close);

    setTabOrder(picture, button);
}

void AboutUs::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quernfold

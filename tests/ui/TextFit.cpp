#include "tests/ui/TextFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include "ui/FormLabel.h"

namespace quernfold::test_support {

namespace {

/** The text as drawn: an access-key "&" is not shown, "&&" shows one "&". */
QString Shown(QString text) {
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(1), QLatin1Char('&'));
    return text;
}

/**
 * Empty when text, laid out in area with alignment, inks only pixels inside visible (by default area itself);
 * else what went wrong.
 */
QString Misfit(const QWidget* control, const QFont& font, const QString& text, const QRect& area,
               Qt::Alignment alignment, QRect visible = QRect()) {
    if (visible.isNull()) {
        visible = area;
    }
    if (text.trimmed().isEmpty()) {
        return QString();
    }
    const QFontMetrics metrics(font);
    const QRect laidOut = control->style()->itemTextRect(metrics, area, static_cast<int>(alignment), true, text);
    const QRect ink = metrics.tightBoundingRect(text).translated(laidOut.left(), laidOut.top() + metrics.ascent());
    if (visible.contains(ink)) {
        return QString();
    }
    const auto show = [](const QRect& r) {
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    return QStringLiteral("%1 \"%2\": ink %3 outside %4 (%5 %6 pt)")
        .arg(control->objectName(), text, show(ink), show(visible), font.family())
        .arg(font.pointSizeF());
}

QStringList ButtonMisfits(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    Qt::Alignment alignment = Qt::AlignCenter;
    if (qobject_cast<const QCheckBox*>(button)) {
        contents = QStyle::SE_CheckBoxContents;
        alignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else if (qobject_cast<const QRadioButton*>(button)) {
        contents = QStyle::SE_RadioButtonContents;
        alignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else if (!qobject_cast<const QPushButton*>(button)) {
        return {};
    }
    const QRect area = button->style()->subElementRect(contents, &option, button);
    const QString misfit = Misfit(button, button->font(), Shown(button->text()), area, alignment);
    return misfit.isEmpty() ? QStringList() : QStringList{misfit};
}

QStringList ComboMisfits(const QComboBox* combo) {
    QRect area;
    QRect visible;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QFont font = combo->font();
    if (const QLineEdit* edit = combo->lineEdit()) {
        // A line edit lays its text out 2 px from the sides and 1 px from top and bottom of its contents, and
        // shows whatever of it falls inside the contents.
        visible = edit->contentsRect().translated(edit->geometry().topLeft());
        area = visible.adjusted(2, 1, -2, -1);
        alignment = edit->alignment();
        font = edit->font();
    } else {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = false;
        area = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    }
    QStringList misfits;
    for (int i = 0; i < combo->count(); ++i) {
        if (QString misfit = Misfit(combo, font, combo->itemText(i), area, alignment, visible); !misfit.isEmpty()) {
            misfits << misfit;
        }
    }
    return misfits;
}

}  // namespace

QStringList TextsThatDoNotFit(const QWidget* root) {
    QStringList misfits;
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (label->pixmap().isNull() && label->textFormat() != Qt::RichText) {
            // A form label lays its text out in a rectangle moved to where its ink starts; what is drawn is what
            // falls inside its contents.
            const auto* form = qobject_cast<const FormLabel*>(label);
            const QRect area = form ? form->TextRect() : label->contentsRect();
            if (QString misfit =
                    Misfit(label, label->font(), label->text(), area, label->alignment(), label->contentsRect());
                !misfit.isEmpty()) {
                misfits << misfit;
            }
        }
    }
    for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        misfits << ButtonMisfits(button);
    }
    for (const QComboBox* combo : root->findChildren<QComboBox*>()) {
        misfits << ComboMisfits(combo);
    }
    return misfits;
}

}  // namespace quernfold::test_support

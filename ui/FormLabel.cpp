#include "ui/FormLabel.h"

#include <algorithm>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace quernfold {

namespace {

constexpr int kAirAboveInk = 1;  // pixels
constexpr qreal kSmallestPoints = 7;
constexpr qreal kPointStep = 0.25;

int InkRight(const QFont& font, const QString& text) {
    const QRect ink = QFontMetrics(font).tightBoundingRect(text);
    return std::max(0, -ink.left()) + ink.right();
}

}  // namespace

FormLabel::FormLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MeasureInk();
}

FormLabel* AddFormLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* label = new FormLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

void FormLabel::MeasureInk() {
    const QFontMetrics metrics(font());
    if (text().trimmed().isEmpty()) {
        m_inkShift = QPoint();
        return;
    }
    const QRect ink = metrics.tightBoundingRect(text());
    // The first inked row when drawn at the top: the ascent less the ink's height above the baseline. Most faces
    // need the text lifted; a few reach above their own ascent (AR PL UMing's quotation marks) and are lowered.
    const int inkTop = metrics.ascent() + ink.top();
    m_inkShift = QPoint(std::max(0, -ink.left()), kAirAboveInk - inkTop);
    update();
}

void FormLabel::FitWidth() {
    if (text().trimmed().isEmpty() || font().pointSizeF() <= 0) return;
    QFont fitted = font();
    while (InkRight(fitted, text()) >= contentsRect().width() && fitted.pointSizeF() - kPointStep >= kSmallestPoints) {
        fitted.setPointSizeF(fitted.pointSizeF() - kPointStep);
    }
    // The font change measures the ink again.
    if (fitted != font()) setFont(fitted);
}

void FormLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        MeasureInk();
        FitWidth();
    }
    QLabel::changeEvent(event);
}

void FormLabel::resizeEvent(QResizeEvent* event) {
    FitWidth();
    QLabel::resizeEvent(event);
}

void FormLabel::paintEvent(QPaintEvent* event) {
    if (textFormat() != Qt::PlainText || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // As QLabel draws plain text, from the moved rectangle; what leaves the label is clipped as usual.
    QPainter painter(this);
    const int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())) | Qt::TextHideMnemonic;
    style()->drawItemText(&painter, TextRect(), flags, palette(), isEnabled(), text(), foregroundRole());
}

}  // namespace quernfold

#pragma once

#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QString>

class QWidget;

namespace quernfold {

/**
 * A label of the windows' fixed layout: plain text (runs of blanks kept), drawn from the top-left of its
 * rectangle with its ink one pixel below the top, whatever the font's ascent. Chinese faces differ a lot in how
 * much room they keep above their letters (Noto Sans CJK: 5 px above "Ver" at 9 pt), and the rectangles were
 * drawn for a face that keeps almost none. A letter that reaches left of its origin ("V" in some faces) is moved
 * right as far, and a text wider than its rectangle in the face at hand is drawn smaller (down to 7 pt), so no
 * ink is cut off.
 */
class FormLabel final : public QLabel {
    Q_OBJECT

public:
    FormLabel(const QString& text, QWidget* parent);

    /** Where the text is laid out: the contents, moved so that its ink starts where the rectangle does. */
    QRect TextRect() const { return contentsRect().translated(m_inkShift); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void MeasureInk();
    void FitWidth();

    QPoint m_inkShift;
};

/** Makes a FormLabel with its object name and place. */
FormLabel* AddFormLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry);

}  // namespace quernfold

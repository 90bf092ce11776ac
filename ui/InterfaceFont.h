#pragma once

#include <QFont>

namespace quernfold {

/**
 * The font of both windows' labels, buttons and boxes, their menus and message boxes: 9 pt, a Chinese face
 * whose Latin letters are proportional when one is installed (SimSun, Noto Sans CJK SC, WenQuanYi, ...), else
 * whatever Chinese face there is. Every control of the layout is sized for 9 pt, so it is set on the windows
 * rather than taken from the desktop, whose font may be larger.
 */
QFont InterfaceFont();

/**
 * The log pane's font: 9 pt SimSun where it is installed, else a Chinese face whose Latin letters are half as
 * wide as a Chinese character (WenQuanYi Zen Hei Mono, Noto Sans Mono CJK SC, ...), which is what the log's
 * banner lines were measured with.
 */
QFont LogFont();

/** Whether family draws Latin letters with widths of their own ("i" narrower than "m"). */
bool IsProportional(const QString& family);

}  // namespace quernfold

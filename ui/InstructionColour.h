#pragma once

#include <QColor>

namespace quernfold {

/**
 * The colour of "操作说明：": pure blue on a light window, as the layout has it; on a dark window (lightness of
 * its colour below 128) pure blue is hard to read, so the blue is lightened just enough to stand out by the
 * contrast asked of normal text (WCAG AA, 4.5:1).
 */
QColor InstructionColour(const QColor& window);

}  // namespace quernfold

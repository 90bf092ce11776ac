#pragma once

#include <QStringList>

class QWidget;

namespace quernfold::test_support {

/**
 * Every fixed text below root (labels, buttons, check boxes, combo box items) whose inked area, placed the way
 * the style draws it, leaves the control's content rectangle: one line per offender, empty when all fit.
 * This is what the user sees cut off; a size hint is no measure, since the layout's buttons are smaller than
 * Qt's own minimum.
 */
QStringList TextsThatDoNotFit(const QWidget* root);

}  // namespace quernfold::test_support

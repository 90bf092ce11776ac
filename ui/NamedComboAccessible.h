#pragma once

namespace quernfold {

/**
 * Lets a screen reader announce an editable combo box by its accessible name. Qt's own interface for combo
 * boxes gives their current text as the name on Linux ("jsp"), leaving the name to the label relation, which
 * for a box in a frame also names the frame ("转换设置..."). Installed once; combo boxes without an accessible
 * name keep Qt's interface.
 */
void InstallNamedComboAccessible();

}  // namespace quernfold

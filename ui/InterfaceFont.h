#pragma once

#include <QFont>

namespace quernfold {

/**
 * The one font of both windows, their message boxes and the log pane: 9 pt SimSun where it is installed, else
 * the system's Chinese font. Every control of the layout is sized for it, so it is set on the windows rather
 * than taken from the desktop, whose font may be larger.
 */
QFont InterfaceFont();

}  // namespace quernfold

#pragma once

#include <QIcon>
#include <QImage>

namespace quernfold {

/** The product picture: a millstone over a folded page, drawn at any square size (the about window uses 70). */
QImage DrawProductPicture(int size);

/** The window icon: the product picture at the sizes desktops ask for, 16 by 16 among them. */
QIcon ProductIcon();

}  // namespace quernfold

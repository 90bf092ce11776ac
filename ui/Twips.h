#pragma once

#include <QRect>

namespace quernfold {

/** The window layouts are given in twips; at 96 dots per inch 15 twips make one pixel, and Qt scales beyond. */
constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

constexpr QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace quernfold

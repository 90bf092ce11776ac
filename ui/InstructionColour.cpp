#include "ui/InstructionColour.h"

#include <algorithm>
#include <cmath>

namespace quernfold {

namespace {

constexpr double kReadableContrast = 4.5;
constexpr int kDarkBelow = 128;

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
    return 0.2126 * Linear(colour.redF()) + 0.7152 * Linear(colour.greenF()) + 0.0722 * Linear(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor InstructionColour(const QColor& window) {
    const QColor blue(0, 0, 255);
    if (window.lightness() >= kDarkBelow) return blue;
    // Mixed with white a step at a time: the first mix that is readable keeps as much of the blue as it can.
    for (int white = 0; white <= 255; ++white) {
        const QColor mixed(white, white, 255);
        if (Contrast(mixed, window) >= kReadableContrast) return mixed;
    }
    return QColor(255, 255, 255);
}

}  // namespace quernfold

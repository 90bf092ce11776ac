#include "ui/ProgressRelay.h"

#include <algorithm>
#include <limits>

#include <QProgressBar>

namespace quernfold {

namespace {

int ToBarUnits(long long value) {
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

ProgressRelay::ProgressRelay(QProgressBar* bar, QObject* parent) : QObject(parent) {
    connect(this, &ProgressRelay::RangeRequested, bar, &QProgressBar::setRange);
    connect(this, &ProgressRelay::VisibleRequested, bar, &QProgressBar::setVisible);
    connect(this, &ProgressRelay::ValueRequested, bar, &QProgressBar::setValue);
}

void ProgressRelay::SetRange(long long minimum, long long maximum) {
    emit RangeRequested(ToBarUnits(minimum), ToBarUnits(maximum));
}

void ProgressRelay::SetVisible(bool visible) {
    emit VisibleRequested(visible);
}

void ProgressRelay::SetValue(long long value) {
    emit ValueRequested(ToBarUnits(value));
}

}  // namespace quernfold

#include "SpinScrollBar.h"

#include <algorithm>

SpinScrollBar::SpinScrollBar(int high, QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setRange(0, high);
    setSingleStep(1);
    setPageStep(1);
    setValue(0);
    connect(this, &QScrollBar::valueChanged, this,
            [this](int value) { emit PositionChanged(maximum() - value); });
}

void SpinScrollBar::SetPosition(int position) {
    setValue(maximum() - std::clamp(position, 0, maximum()));
}

#include "SpinScrollBar.h"

#include <QKeyEvent>
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

void SpinScrollBar::StepFromKeysOf(QWidget* numberBox) {
    numberBox->installEventFilter(this);
}

bool SpinScrollBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !isEnabled())
        return QScrollBar::eventFilter(watched, event);
    int step = 0;
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
            step = singleStep();
            break;
        case Qt::Key_Down:
            step = -singleStep();
            break;
        case Qt::Key_PageUp:
            step = pageStep();
            break;
        case Qt::Key_PageDown:
            step = -pageStep();
            break;
        default:
            return QScrollBar::eventFilter(watched, event);
    }
    SetPosition(Position() + step);
    return true;
}

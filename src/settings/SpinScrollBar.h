#pragma once
#include <QScrollBar>

// A vertical scroll bar used as a spin control: the highest position at the
// top, so the up arrow, the Up key and the wheel add one. A plain Qt scroll
// bar has its minimum at the top and ties every "up" gesture to smaller
// values, so this one runs on the mirrored value underneath; read and set it
// through Position, never through value().
class SpinScrollBar : public QScrollBar {
    Q_OBJECT
public:
    SpinScrollBar(int high, QWidget* parent);

    int Position() const { return maximum() - value(); }
    // Clamped into 0..high; PositionChanged follows only a real change.
    void SetPosition(int position);
    // Up, Down, Page Up and Page Down in the number box beside the bar step
    // it as its arrows do, so the control works from the keyboard.
    void StepFromKeysOf(QWidget* numberBox);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void PositionChanged(int position);
};

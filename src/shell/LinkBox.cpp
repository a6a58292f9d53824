#include "shell/LinkBox.h"

#include <QMouseEvent>
#include <QPalette>

namespace {

// Every colour group alike, so the link looks the same in an inactive window.
void SetRoleColour(QPalette& palette, QPalette::ColorRole role, const QColor& colour) {
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, role, colour);
}

}  // namespace

LinkBox::LinkBox(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setFrame(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    // Read-only line edits reset the cursor to an arrow, so this comes after.
    setCursor(Qt::PointingHandCursor);
    // Highlighting follows plain moves, not only drags.
    setMouseTracking(true);

    // The small bold type the links were designed with.
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSizeF(8.25);
    setFont(bold);

    QPalette colours = palette();
    SetRoleColour(colours, QPalette::Base, colours.color(QPalette::Disabled, QPalette::Text));
    SetRoleColour(colours, QPalette::Text,
                  colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);
}

QColor LinkBox::TextColour() const {
    return palette().color(QPalette::Active, QPalette::Text);
}

void LinkBox::SetTextColour(const QColor& colour) {
    QPalette colours = palette();
    SetRoleColour(colours, QPalette::Text, colour);
    setPalette(colours);
}

void LinkBox::mousePressEvent(QMouseEvent* event) {
    // No caret and no selection: the box is a link, not an editor.
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    event->accept();
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit Click();
}

// A double click opens the address once, not twice.
void LinkBox::mouseDoubleClickEvent(QMouseEvent* event) {
    pressed_ = false;
    event->accept();
}

void LinkBox::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit MouseMove();
}

#pragma once
// Plain message boxes with an OK button. Modal with a nested event loop, like
// the original platform; tests answer them in advance instead.
#include <QString>

class QWidget;

namespace platform {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // An empty title means the program's default title ("Vastrel").
    virtual void MsgBox(QWidget* parent, const QString& text, const QString& title) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    void MsgBox(QWidget* parent, const QString& text, const QString& title) override;
};

}  // namespace platform

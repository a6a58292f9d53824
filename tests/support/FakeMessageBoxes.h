#pragma once
#include <QStringList>

#include "platform/window/MessageBoxes.h"

// Message boxes answered at once; each text and title recorded.
class FakeMessageBoxes : public platform::MessageBoxes {
public:
    void MsgBox(QWidget*, const QString& text, const QString& title) override {
        shown << (title.isEmpty() ? text : title + ": " + text);
    }
    QStringList shown;
};

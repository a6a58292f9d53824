#pragma once
#include <QString>
#include <QStringList>

class QWidget;

namespace platform {
class Desktop;
class MessageBoxes;
}  // namespace platform

// The help page, shown by the desktop's handler for HTML files. Both the
// Options dialog's Help button and the main window's Help Topics use it.
class Help {
public:
    static constexpr const char* kFileName = "vastrel.html";

    Help(QString programDir, platform::Desktop& desktop, platform::MessageBoxes& messages);

    // Beside the executable first (a build or unpacked tree), then the
    // installed documentation folders.
    QStringList Candidates() const;
    // The first candidate that exists, or empty.
    QString FindHelpFile() const;
    // Returns at once; a missing page or a desktop without a handler gets a
    // message instead of silence. False when nothing was opened.
    bool OpenHelp(QWidget* parent);

private:
    QString programDir_;
    platform::Desktop& desktop_;
    platform::MessageBoxes& messages_;
};

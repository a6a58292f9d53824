#include "Help.h"

#include <QDir>
#include <QFileInfo>

#include "platform/desktop/Desktop.h"
#include "platform/window/MessageBoxes.h"

Help::Help(QString programDir, platform::Desktop& desktop, platform::MessageBoxes& messages)
    : programDir_(std::move(programDir)), desktop_(desktop), messages_(messages) {}

QStringList Help::Candidates() const {
    return {
        programDir_ + "/" + kFileName,
        QDir::cleanPath(programDir_ + "/../share/doc/vastrel/" + kFileName),
        QString("/usr/share/doc/vastrel/") + kFileName,
    };
}

QString Help::FindHelpFile() const {
    for (const QString& path : Candidates())
        if (QFileInfo(path).isFile()) return path;
    return {};
}

bool Help::OpenHelp(QWidget* parent) {
    const QString path = FindHelpFile();
    if (path.isEmpty()) {
        messages_.MsgBox(parent,
                         QString("The help file %1 cannot be found. It belongs beside the "
                                 "program or in /usr/share/doc/vastrel.")
                             .arg(kFileName),
                         QString());
        return false;
    }
    if (!desktop_.OpenDocument(path)) {
        messages_.MsgBox(parent,
                         QString("The help file %1 cannot be opened: no program is set up to "
                                 "show HTML pages.")
                             .arg(QDir::toNativeSeparators(path)),
                         QString());
        return false;
    }
    return true;
}

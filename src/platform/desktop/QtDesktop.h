#pragma once
// Desktop services through Qt: xdg-open for documents and addresses,
// detached processes without a shell, and the default printer.
#include "platform/desktop/Desktop.h"

namespace platform {

class QtDesktop : public Desktop {
public:
    bool OpenDocument(const QString& path) override;
    bool OpenAddress(const QString& url) override;
    bool StartProgram(const QString& program, const QStringList& arguments) override;
    QString FindProgram(const QString& name) const override;
    bool PrintImage(const QImage& image) override;

    // The desktop's bell; false without a QApplication (no display to ring).
    static bool Beep();
};

}  // namespace platform

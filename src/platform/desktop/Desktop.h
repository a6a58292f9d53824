#pragma once
// Opening documents and addresses, starting programs, printing a window.
#include <QImage>
#include <QString>
#include <QStringList>

namespace platform {

class Desktop {
public:
    virtual ~Desktop() = default;
    // The desktop's default handler for the file (xdg-open); false when none.
    virtual bool OpenDocument(const QString& path) = 0;
    // mailto: and web addresses, with the desktop's handler.
    virtual bool OpenAddress(const QString& url) = 0;
    // Detached, with an argument vector (never through a shell).
    virtual bool StartProgram(const QString& program, const QStringList& arguments) = 0;
    // Full path of the first match on PATH, or empty.
    virtual QString FindProgram(const QString& name) const = 0;
    // The image on one page of the default printer; false when there is no
    // printer or print system. Never hangs.
    virtual bool PrintImage(const QImage& image) = 0;
};

}  // namespace platform

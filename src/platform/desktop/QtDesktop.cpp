#include "QtDesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace platform {

bool QtDesktop::OpenDocument(const QString& path) {
    if (path.isEmpty()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktop::OpenAddress(const QString& url) {
    // "www.example.com" works in a shell's Run box too: add the scheme.
    QUrl address(url);
    if (address.scheme().isEmpty()) address = QUrl::fromUserInput(url);
    if (!address.isValid() || address.scheme().isEmpty()) return false;
    return QDesktopServices::openUrl(address);
}

bool QtDesktop::StartProgram(const QString& program, const QStringList& arguments) {
    if (program.isEmpty()) return false;
    return QProcess::startDetached(program, arguments);
}

QString QtDesktop::FindProgram(const QString& name) const {
    if (name.isEmpty()) return {};
    return QStandardPaths::findExecutable(name);
}

bool QtDesktop::PrintImage(const QImage& image) {
    if (image.isNull()) return false;
    QPrinter printer(QPrinter::HighResolution);
    // Without a print system Qt falls back to writing a PDF; with no file
    // name that goes nowhere, so say so instead of pretending to print.
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty()) {
        return false;
    }
    // The job's title in the queue (and the file name a PDF printer picks).
    printer.setDocName("Vastrel Data Log");
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect viewport = painter.viewport();
    const QSize size = image.size().scaled(viewport.size(), Qt::KeepAspectRatio);
    painter.setViewport(viewport.x(), viewport.y(), size.width(), size.height());
    painter.setWindow(image.rect());
    painter.drawImage(0, 0, image);
    return painter.end();
}

bool QtDesktop::Beep() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    QApplication::beep();
    return true;
}

}  // namespace platform

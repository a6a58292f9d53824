#include "QtNotifyIcon.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QSaveFile>
#include <cstring>

namespace platform {

QtNotifyIcon::QtNotifyIcon(IconResolver resolveIcon, TrayAvailable trayAvailable)
    : resolveIcon_(std::move(resolveIcon)), trayAvailable_(std::move(trayAvailable)) {
    if (!resolveIcon_) resolveIcon_ = [](HICON) { return QApplication::windowIcon(); };
    if (!trayAvailable_) trayAvailable_ = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

QtNotifyIcon::~QtNotifyIcon() = default;

void QtNotifyIcon::LaterDeleter::operator()(QSystemTrayIcon* icon) const {
    icon->disconnect();
    icon->hide();
    icon->deleteLater();
}

UINT QtNotifyIcon::MouseCodeFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return WM_LBUTTONUP;
        case QSystemTrayIcon::DoubleClick:
            return WM_LBUTTONDBLCLK;
        case QSystemTrayIcon::Context:
            return WM_RBUTTONUP;
        default:
            return 0;
    }
}

QString QtNotifyIcon::TipText(const NOTIFYICONDATA& data) {
    const std::size_t length = strnlen(data.szTip, sizeof data.szTip);
    return QString::fromLatin1(data.szTip, qsizetype(length));
}

QSystemTrayIcon* QtNotifyIcon::TrayIcon(HWND hWnd, UINT id) const {
    const auto it = icons_.find({hWnd, id});
    return it == icons_.end() ? nullptr : it->second.icon.get();
}

void QtNotifyIcon::ReportGeometryTo(const QString& path) {
    reportPath_ = path;
    reportTimer_ = std::make_unique<QTimer>();
    reportTimer_->setInterval(200);
    QObject::connect(reportTimer_.get(), &QTimer::timeout, [this] {
        QByteArray report;
        for (const auto& [key, entry] : icons_) {
            const QRect r = entry.icon->geometry();
            report += QString("%1 %2 %3 %4 %5 %6 %7\t%8\n")
                          .arg(key.first)
                          .arg(key.second)
                          .arg(r.x())
                          .arg(r.y())
                          .arg(r.width())
                          .arg(r.height())
                          .arg(entry.icon->isVisible() ? 1 : 0)
                          .arg(entry.icon->toolTip())
                          .toUtf8();
        }
        if (report == lastReport_ && QFile::exists(reportPath_)) return;
        // Whole or not at all: the reader polls while this is written.
        QSaveFile file(reportPath_);
        if (file.open(QIODevice::WriteOnly) && file.write(report) == report.size() &&
            file.commit()) {
            lastReport_ = report;
        }
    });
    reportTimer_->start();
}

void QtNotifyIcon::SetSink(Sink sink) {
    sink_ = std::move(sink);
}

void QtNotifyIcon::SetContextMenu(QMenu* menu) {
    menu_ = menu;
    for (auto& [key, entry] : icons_) entry.icon->setContextMenu(menu);
}

bool QtNotifyIcon::AreaAvailable() const {
    return trayAvailable_();
}

bool QtNotifyIcon::AreaMayAppear() {
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

BOOL QtNotifyIcon::Shell_NotifyIconA(DWORD message, const NOTIFYICONDATA& data) {
    if (!trayAvailable_() && !AreaMayAppear()) return 0;
    switch (message) {
        case NIM_ADD:
            return Add(data);
        case NIM_MODIFY:
            return Modify(data);
        case NIM_DELETE:
            return Delete(data);
        default:
            return 0;
    }
}

BOOL QtNotifyIcon::Add(const NOTIFYICONDATA& data) {
    const Key key{data.hWnd, data.uID};
    if (icons_.count(key)) return 0;
    Entry entry;
    entry.icon.reset(new QSystemTrayIcon);
    // With the menu attached every protocol shows it: XEmbed on a right
    // click (before WM_RBUTTONUP is delivered), a StatusNotifierItem host
    // through its D-Bus menu.
    if (menu_) entry.icon->setContextMenu(menu_);
    QObject::connect(
        entry.icon.get(), &QSystemTrayIcon::activated,
        [this, key](QSystemTrayIcon::ActivationReason reason) { Deliver(key, reason); });
    Apply(entry, data);
    if (entry.icon->icon().isNull()) {
        // An icon without a picture is still an icon; Qt refuses to show it.
        QPixmap blank(16, 16);
        blank.fill(Qt::transparent);
        entry.icon->setIcon(QIcon(blank));
    }
    entry.icon->show();
    icons_.emplace(key, std::move(entry));
    return 1;
}

BOOL QtNotifyIcon::Modify(const NOTIFYICONDATA& data) {
    const auto it = icons_.find({data.hWnd, data.uID});
    if (it == icons_.end()) return 0;
    Apply(it->second, data);
    return 1;
}

BOOL QtNotifyIcon::Delete(const NOTIFYICONDATA& data) {
    const auto it = icons_.find({data.hWnd, data.uID});
    if (it == icons_.end()) return 0;
    icons_.erase(it);
    return 1;
}

void QtNotifyIcon::Apply(Entry& entry, const NOTIFYICONDATA& data) const {
    if (data.uFlags & NIF_MESSAGE) {
        entry.callbackMessage = data.uCallbackMessage;
        entry.wantsMessages = true;
    }
    if (data.uFlags & NIF_ICON) {
        const QIcon icon = IconFor(data.hIcon);
        if (!icon.isNull()) entry.icon->setIcon(icon);
    }
    if (data.uFlags & NIF_TIP) entry.icon->setToolTip(TipText(data));
}

QIcon QtNotifyIcon::IconFor(HICON handle) const {
    const QIcon icon = resolveIcon_(handle);
    return icon.isNull() ? QApplication::windowIcon() : icon;
}

void QtNotifyIcon::Deliver(Key key, QSystemTrayIcon::ActivationReason reason) const {
    const UINT code = MouseCodeFor(reason);
    const auto it = icons_.find(key);
    if (code == 0 || !sink_ || it == icons_.end() || !it->second.wantsMessages) return;
    sink_(key.first, it->second.callbackMessage, code, QCursor::pos());
}

}  // namespace platform

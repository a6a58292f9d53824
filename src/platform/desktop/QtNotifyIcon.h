#pragma once
// Shell_NotifyIconA over QSystemTrayIcon. An icon is added even while no
// notification area exists: QSystemTrayIcon docks it by itself when the tray
// host appears. Only where no area can ever be (offscreen) every call fails.
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "platform/desktop/NotifyIcon.h"

namespace platform {

class QtNotifyIcon : public NotifyIcon {
public:
    // An HICON means nothing to Qt: the resolver turns it into an icon.
    using IconResolver = std::function<QIcon(HICON)>;
    using TrayAvailable = std::function<bool()>;

    // Defaults: the application's window icon, and Qt's own tray test.
    explicit QtNotifyIcon(IconResolver resolveIcon = {}, TrayAvailable trayAvailable = {});
    ~QtNotifyIcon() override;

    BOOL Shell_NotifyIconA(DWORD message, const NOTIFYICONDATA& data) override;
    void SetSink(Sink sink) override;
    void SetContextMenu(QMenu* menu) override;
    bool AreaAvailable() const override;

    // The mouse message a click reason stands for; 0 for reasons the shell
    // never reports.
    static UINT MouseCodeFor(QSystemTrayIcon::ActivationReason reason);
    // The tip text: the bytes before the first NUL, as Latin-1.
    static QString TipText(const NOTIFYICONDATA& data);

    // The icon added for (hWnd, uID), or nullptr; for the desktop tests.
    QSystemTrayIcon* TrayIcon(HWND hWnd, UINT id) const;

    // Keeps `path` describing every icon, one a line: hWnd, uID, x, y,
    // width, height (0 0 0 0 until the tray host places it), visible, TAB,
    // tip. Real-display tests click the icon where the host put it.
    void ReportGeometryTo(const QString& path);

private:
    using Key = std::pair<HWND, UINT>;
    // An icon may be removed from inside its own click signal (Exit from the
    // program's tray menu), so it is hidden and cut off now, deleted later.
    struct LaterDeleter {
        void operator()(QSystemTrayIcon* icon) const;
    };
    struct Entry {
        std::unique_ptr<QSystemTrayIcon, LaterDeleter> icon;
        UINT callbackMessage = 0;
        bool wantsMessages = false;
    };

    // False on platforms that never have a notification area.
    static bool AreaMayAppear();
    BOOL Add(const NOTIFYICONDATA& data);
    BOOL Modify(const NOTIFYICONDATA& data);
    BOOL Delete(const NOTIFYICONDATA& data);
    void Apply(Entry& entry, const NOTIFYICONDATA& data) const;
    QIcon IconFor(HICON handle) const;
    void Deliver(Key key, QSystemTrayIcon::ActivationReason reason) const;

    IconResolver resolveIcon_;
    TrayAvailable trayAvailable_;
    Sink sink_;
    QPointer<QMenu> menu_;
    std::map<Key, Entry> icons_;
    QString reportPath_;
    QByteArray lastReport_;
    std::unique_ptr<QTimer> reportTimer_;
};

}  // namespace platform

#pragma once
// The About window: version and systems, the maker's mail and web links, and
// the System Info button. Modeless; OK or the close box destroys it.
#include <QDialog>
#include <QPointer>
#include <array>

#include "platform/desktop/Desktop.h"
#include "platform/window/MessageBoxes.h"

class QFrame;
class QLabel;
class QPushButton;
class LinkBox;

class FrmAbout : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kClientWidthTwips = 5655;
    static constexpr int kClientHeightTwips = 4680;

    static inline const QString kMailAddress = QStringLiteral("vastrel@orlwen.example");
    static inline const QString kPrimaryAddress =
        QStringLiteral("https://www.orlwen.example/vastrel");
    static inline const QString kSecondaryAddress =
        QStringLiteral("https://support.orlwen.example");

    FrmAbout(platform::Desktop& desktop, platform::MessageBoxes& messages, QWidget* owner);

    // The menu's "&About Vastrel": creates the window when `about` holds none,
    // otherwise brings the open one forward.
    static FrmAbout* ShowAbout(QPointer<FrmAbout>& about, platform::Desktop& desktop,
                               platform::MessageBoxes& messages, QWidget* owner);

    void LaunchSystemInfo();

private:
    void CreateControls();
    void LayOutControls();
    void Connect();
    void Form_Load();

    void cmdOK_Click();
    void cmdSysInfo_Click();
    void Text1_Click();
    void txtPrimary_Click();
    void txtSecondary_Click();
    void Text1_MouseMove();
    void txtPrimary_MouseMove();
    void txtSecondary_MouseMove();
    void Highlight(LinkBox* over);
    QString FindSystemInfo() const;

    platform::Desktop& desktop_;
    platform::MessageBoxes& messages_;

    QLabel* Picture1 = nullptr;
    QLabel* LblAbout = nullptr;
    QLabel* LblVer = nullptr;
    QLabel* Label1 = nullptr;
    LinkBox* Text1 = nullptr;
    LinkBox* txtPrimary = nullptr;
    LinkBox* txtSecondary = nullptr;
    std::array<QFrame*, 2> Line1{};
    QPushButton* cmdSysInfo = nullptr;
    QPushButton* cmdOK = nullptr;
};

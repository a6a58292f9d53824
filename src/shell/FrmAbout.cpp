#include "shell/FrmAbout.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "shell/LinkBox.h"

namespace {

// Linux has no one System Information tool: take the first of the usual
// desktop ones that is installed.
constexpr std::array kSystemInfoPrograms = {
    "gnome-system-monitor", "kinfocenter",       "hardinfo", "hardinfo2",
    "mate-system-monitor",  "xfce4-taskmanager", "lxtask",
};

const QString kLogo = QStringLiteral(":/images/logo.png");
constexpr int kLogoSize = 64;
const QColor kHighlighted(0, 0, 255);
const QColor kPlain(255, 255, 255);

QFrame* NewLine(QWidget* parent, const QString& name, const QColor& colour) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette colours = line->palette();
    colours.setColor(QPalette::Window, colour);
    line->setPalette(colours);
    return line;
}

}  // namespace

FrmAbout::FrmAbout(platform::Desktop& desktop, platform::MessageBoxes& messages, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      desktop_(desktop),
      messages_(messages) {
    setObjectName("FrmAbout");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
    CreateControls();
    LayOutControls();
    Connect();
    Form_Load();
}

FrmAbout* FrmAbout::ShowAbout(QPointer<FrmAbout>& about, platform::Desktop& desktop,
                              platform::MessageBoxes& messages, QWidget* owner) {
    if (!about) about = new FrmAbout(desktop, messages, owner);
    about->show();
    about->raise();
    about->activateWindow();
    return about;
}

void FrmAbout::CreateControls() {
    Picture1 = new QLabel(this);
    Picture1->setObjectName("Picture1");
    Picture1->setFixedSize(kLogoSize, kLogoSize);
    // A build without the logo shows an empty picture rather than failing.
    const QPixmap logo(kLogo);
    if (!logo.isNull())
        Picture1->setPixmap(
            logo.scaled(kLogoSize, kLogoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    LblAbout = new QLabel(this);
    LblAbout->setObjectName("LblAbout");
    LblVer = new QLabel(this);
    LblVer->setObjectName("LblVer");
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");

    Text1 = new LinkBox(this);
    Text1->setObjectName("Text1");
    Text1->setToolTip("Click to start message");
    txtPrimary = new LinkBox(this);
    txtPrimary->setObjectName("txtPrimary");
    txtPrimary->setText(kPrimaryAddress);
    txtPrimary->setToolTip("Click to visit the web site");
    txtSecondary = new LinkBox(this);
    txtSecondary->setObjectName("txtSecondary");
    txtSecondary->setText(kSecondaryAddress);
    txtSecondary->setToolTip("Click to visit the web site");

    // Grey over white: the etched separator.
    Line1 = {NewLine(this, "Line1_0", QColor(128, 128, 128)),
             NewLine(this, "Line1_1", QColor(255, 255, 255))};

    cmdSysInfo = new QPushButton("&System Info...", this);
    cmdSysInfo->setObjectName("cmdSysInfo");
    cmdOK = new QPushButton("&OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
}

void FrmAbout::LayOutControls() {
    auto* texts = new QVBoxLayout;
    texts->addWidget(LblAbout);
    texts->addWidget(LblVer);
    texts->addSpacing(8);
    texts->addWidget(Label1);
    texts->addWidget(Text1);
    texts->addWidget(txtPrimary);
    texts->addWidget(txtSecondary);
    texts->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(Picture1, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(texts, 1);

    auto* separator = new QVBoxLayout;
    separator->setSpacing(0);
    separator->addWidget(Line1[0]);
    separator->addWidget(Line1[1]);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSysInfo);
    buttons->addWidget(cmdOK);

    auto* window = new QVBoxLayout(this);
    window->addLayout(top, 1);
    window->addLayout(separator);
    window->addLayout(buttons);
}

void FrmAbout::Connect() {
    connect(cmdOK, &QPushButton::clicked, this, &FrmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);
    connect(Text1, &LinkBox::Click, this, &FrmAbout::Text1_Click);
    connect(txtPrimary, &LinkBox::Click, this, &FrmAbout::txtPrimary_Click);
    connect(txtSecondary, &LinkBox::Click, this, &FrmAbout::txtSecondary_Click);
    connect(Text1, &LinkBox::MouseMove, this, &FrmAbout::Text1_MouseMove);
    connect(txtPrimary, &LinkBox::MouseMove, this, &FrmAbout::txtPrimary_MouseMove);
    connect(txtSecondary, &LinkBox::MouseMove, this, &FrmAbout::txtSecondary_MouseMove);
}

void FrmAbout::Form_Load() {
    setWindowTitle("About Vastrel");
    // A fixed dialog frame: no minimise or maximise button.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    LblAbout->setText("OS:   Linux desktops (X11 and Wayland)");
    LblVer->setText("Version 2.1 \nCopyright (c) Orlwen. All rights reserved.");
    Label1->setText("Please send comments to:");
    Text1->setText(kMailAddress);
}

void FrmAbout::cmdOK_Click() {
    close();
}

void FrmAbout::cmdSysInfo_Click() {
    LaunchSystemInfo();
}

void FrmAbout::Text1_Click() {
    desktop_.OpenAddress("mailto:" + kMailAddress + "?subject=Vastrel");
    cmdOK->setFocus();
}

void FrmAbout::txtPrimary_Click() {
    desktop_.OpenAddress(kPrimaryAddress);
}

void FrmAbout::txtSecondary_Click() {
    desktop_.OpenAddress(kSecondaryAddress);
}

void FrmAbout::Text1_MouseMove() {
    Highlight(Text1);
}

void FrmAbout::txtPrimary_MouseMove() {
    Highlight(txtPrimary);
}

void FrmAbout::txtSecondary_MouseMove() {
    Highlight(txtSecondary);
}

void FrmAbout::Highlight(LinkBox* over) {
    for (LinkBox* link : {Text1, txtPrimary, txtSecondary})
        link->SetTextColour(link == over ? kHighlighted : kPlain);
}

QString FrmAbout::FindSystemInfo() const {
    for (const char* name : kSystemInfoPrograms) {
        const QString path = desktop_.FindProgram(QString::fromLatin1(name));
        if (!path.isEmpty()) return path;
    }
    return {};
}

void FrmAbout::LaunchSystemInfo() {
    const QString tool = FindSystemInfo();
    if (!tool.isEmpty() && desktop_.StartProgram(tool, {})) return;
    messages_.MsgBox(this, "System Information Is Unavailable At This Time", "");
}

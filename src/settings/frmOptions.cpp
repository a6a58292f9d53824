#include "frmOptions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <array>

#include "platform/window/MessageBoxes.h"
#include "settings/OptionsHost.h"
#include "settings/ParseLeadingNumber.h"
#include "settings/PreferenceBinding.h"
#include "settings/SpinScrollBar.h"
#include "settings/StartupShortcut.h"

namespace {

// Laid out at 15 twips per pixel: the client area is 4380 x 5640 twips.
constexpr int kWidth = 292;
constexpr int kHeight = 376;
constexpr int kPageTop = 32;
constexpr int kTextWidth = 44;
constexpr int kBoxHeight = 22;
constexpr int kBarWidth = 16;

template <typename W>
W* Make(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
    auto* widget = new W(caption, parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y,
                  int w = 44) {
    return Make<QLabel>(parent, name, caption, x, y, w, 20);
}

// What a screen reader says for a number box and its spin bar; the label, when
// there is one, points at the box too.
void Describe(QLineEdit* text, QScrollBar* bar, const QString& name, QLabel* label = nullptr) {
    text->setAccessibleName(name);
    bar->setAccessibleName(name);
    bar->setAccessibleDescription("Up and Down in the number box step it");
    if (label != nullptr) label->setBuddy(text);
}

std::string Local8Bit(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

frmOptions::frmOptions(Settings& settings, SettingsFile& file, OptionsHost& host,
                       platform::MessageBoxes& messages, StartupShortcut& shortcut,
                       unsigned numLineDevices, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      file_(file),
      host_(host),
      messages_(messages),
      shortcut_(shortcut),
      numLineDevices_(numLineDevices) {
    setObjectName("frmOptions");
    setWindowTitle("Options");
    // A fixed dialog frame: no minimise or maximise button.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);
    // The layout is in fixed pixels, made for a small dialog font.
    QFont small = font();
    if (small.pointSizeF() > 8) small.setPointSizeF(8);
    setFont(small);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // The controls take their design-time states first; only then do the
    // handlers listen, so loading runs a handler exactly where a loaded value
    // differs from that state.
    CreateControls();
    ConnectHandlers();
    Form_Load();
}

void frmOptions::CreateControls() {
    tbsOptions_ = new QTabBar(this);
    tbsOptions_->setObjectName("tbsOptions");
    tbsOptions_->addTab("&General Settings");
    tbsOptions_->addTab("&Advanced");
    tbsOptions_->setGeometry(4, 8, kWidth - 8, kPageTop - 8);

    fra_[0] = CreateGeneralPage();
    fra_[1] = CreateAdvancedPage();
    for (QFrame* page : fra_) page->setGeometry(4, kPageTop, kWidth - 8, 296);
    CreateButtons();
}

frmOptions::NumberBox frmOptions::CreateNumberBox(QWidget* parent, const char* textName,
                                                  const char* barName, int high, int initial, int x,
                                                  int y) {
    NumberBox box;
    box.text = new QLineEdit(parent);
    box.text->setObjectName(textName);
    box.text->setGeometry(x, y, kTextWidth, kBoxHeight);
    box.bar = new SpinScrollBar(high, parent);
    box.bar->setObjectName(barName);
    box.bar->setGeometry(x + kTextWidth, y, kBarWidth, kBoxHeight);
    box.text->setText(QString::number(initial));
    box.bar->SetPosition(initial);
    box.bar->StepFromKeysOf(box.text);
    return box;
}

QFrame* frmOptions::CreateGeneralPage() {
    auto* page = new QFrame(this);
    page->setObjectName("fra1");
    page->setFrameShape(QFrame::StyledPanel);

    fraOptions_ = Make<QGroupBox>(page, "fraOptions", "Options:", 4, 6, 276, 108);
    chkPlaySound_ =
        Make<QCheckBox>(fraOptions_, "chkPlaySound", "Make alarm a&udible", 8, 22, 264, 20);
    chkIcon_ = Make<QCheckBox>(fraOptions_, "chkIcon", "Sho&w program's icon in the system tray", 8,
                               44, 264, 20);
    chkLoad_ =
        Make<QCheckBox>(fraOptions_, "chkLoad", "&Load Vastrel at desktop startup", 8, 66, 264, 20);
    chkDisplayData_ =
        Make<QCheckBox>(fraOptions_, "chkDisplayData", "&Display data on screen", 8, 88, 264, 20);
    chkIcon_->setChecked(true);
    chkDisplayData_->setChecked(true);

    auto* data = Make<QGroupBox>(page, "fraData", "Data:", 4, 118, 276, 172);
    auto* lblSaveData =
        Make<QLabel>(data, "lblSaveData", "Save data to disk every:", 8, 24, 150, 20);
    saveData_ = CreateNumberBox(data, "txtSaveData", "vsb1", 999, 720, 162, 22);
    Describe(saveData_.text, saveData_.bar, "Save data to disk every, in minutes", lblSaveData);
    MakeLabel(data, "lblSaveMinutes", "minutes", 226, 24, 48);
    optAppend_ = Make<QRadioButton>(data, "optAppend", "App&end data to log", 8, 50, 264, 20);
    optCreate_ = Make<QRadioButton>(data, "optCreate", "C&reate daily logs", 8, 70, 264, 20);
    optCreate_->setChecked(true);
    chkKeepLogs_ = Make<QCheckBox>(data, "chkKeepLogs", "&Keep daily logs for:", 8, 96, 150, 20);
    chkKeepLogs_->setChecked(true);
    days_ = CreateNumberBox(data, "txtDays", "vsbDays", 999, 30, 162, 94);
    Describe(days_.text, days_.bar, "Keep daily logs for, in days");
    lblDays_ = MakeLabel(data, "lblDays", "days", 226, 96, 48);
    chkAlarm_ = Make<QCheckBox>(data, "chkAlarm", "&Trigger alarm when online time exceeds:", 8,
                                122, 264, 20);
    chkAlarm_->setChecked(true);
    alarm_ = CreateNumberBox(data, "txtAlarm", "vsbAlarm", 999, 120, 162, 144);
    Describe(alarm_.text, alarm_.bar, "Trigger alarm when online time exceeds, in minutes");
    lblAlarm_ = MakeLabel(data, "lblAlarm", "minutes", 226, 146, 48);
    return page;
}

QFrame* frmOptions::CreateAdvancedPage() {
    auto* page = new QFrame(this);
    page->setObjectName("fra2");
    page->setFrameShape(QFrame::StyledPanel);

    auto* lines = Make<QGroupBox>(page, "fraLines", "Lines:", 4, 6, 276, 118);
    QLabel* lblLines =
        MakeLabel(lines, "lblLines", "Selected lines will be monitored:", 8, 22, 260);
    txtLines_ = new QLineEdit(lines);
    txtLines_->setObjectName("txtLines");
    txtLines_->setAccessibleName("Selected lines will be monitored");
    lblLines->setBuddy(txtLines_);
    txtLines_->setGeometry(8, 42, 260, kBoxHeight);
    auto* hint = Make<QLabel>(lines, "lblLinesHint",
                              "Line numbers should be separated by \",\" (comma) for example: "
                              "1,2,3,4,5,6,7,",
                              8, 70, 260, 40);
    hint->setWordWrap(true);

    FraRedial_ = Make<QGroupBox>(page, "FraRedial", "Sampling:", 4, 130, 276, 126);
    optSample_ = Make<QRadioButton>(FraRedial_, "optSample", "&Scan lines every:", 8, 22, 264, 20);
    optSample_->setChecked(true);
    lblMinutes_ = MakeLabel(FraRedial_, "lblMinutes", "minutes:", 30, 48, 60);
    minutes_ = CreateNumberBox(FraRedial_, "txtMinutes", "vsb2", 99, 0, 92, 46);
    Describe(minutes_.text, minutes_.bar, "Scan lines every, minutes", lblMinutes_);
    lblSeconds_ = MakeLabel(FraRedial_, "lblSeconds", "seconds:", 30, 74, 60);
    seconds_ = CreateNumberBox(FraRedial_, "txtSeconds", "vsb3", 59, 1, 92, 72);
    Describe(seconds_.text, seconds_.bar, "Scan lines every, seconds", lblSeconds_);
    optClose_ = Make<QRadioButton>(FraRedial_, "optClose", "Single &test only", 8, 100, 264, 20);
    return page;
}

void frmOptions::CreateButtons() {
    const int y = kHeight - 34;
    cmdOK_ = Make<QPushButton>(this, "cmdOK", "&OK", 20, y, 76, 26);
    cmdCancel_ = Make<QPushButton>(this, "cmdCancel", "&Cancel", 108, y, 76, 26);
    cmdHelp_ = Make<QPushButton>(this, "cmdHelp", "&Help", 196, y, 76, 26);
    cmdOK_->setDefault(true);
}

void frmOptions::ConnectHandlers() {
    connect(tbsOptions_, &QTabBar::currentChanged, this, [this] { tbsOptions_Click(); });
    connect(chkAlarm_, &QCheckBox::toggled, this, [this] { chkAlarm_Click(); });
    connect(chkKeepLogs_, &QCheckBox::toggled, this, [this] { chkKeepLogs_Click(); });
    connect(chkDisplayData_, &QCheckBox::toggled, this, [this] { chkDisplayData_Click(); });
    connect(chkIcon_, &QCheckBox::toggled, this, [this] { chkIcon_Click(); });
    connect(chkLoad_, &QCheckBox::toggled, this, [this] { chkLoad_Click(); });
    // An option button's handler runs when it becomes selected, so a switch
    // between the two runs the shared handler once.
    for (QRadioButton* option : {optAppend_, optCreate_})
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) optAppend_Click();
        });
    for (QRadioButton* option : {optSample_, optClose_})
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) optSample_Click();
        });
    for (const NumberBox& box : {saveData_, days_, alarm_, minutes_, seconds_})
        ConnectNumberBox(box);
    connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { cmdHelp_Click(); });
}

void frmOptions::ConnectNumberBox(const NumberBox& box) {
    connect(box.text, &QLineEdit::textChanged, this, [this, box] { NumberText_Change(box); });
    connect(box.bar, &SpinScrollBar::PositionChanged, this, [this, box] { NumberBar_Change(box); });
}

void frmOptions::Form_Load() {
    tbsOptions_->setCurrentIndex(0);
    tbsOptions_Click();
    // Table order keeps the live effects (start-up shortcut, tray icon, main
    // window, scan timer) in the order they have always run in.
    for (const Preference& pref : Preference::All())
        PreferenceBinding::Show(*this, pref, settings_);
    if (settings_.lines.empty()) ProposeLines();
}

// An empty list means every line; the proposal reaches the file only via OK.
void frmOptions::ProposeLines() {
    QString proposal;
    for (unsigned line = 1; line <= numLineDevices_; ++line)
        proposal += QString::number(line) + ",";
    txtLines_->setText(proposal);
}

void frmOptions::tbsOptions_Click() {
    const int selected = tbsOptions_->currentIndex();
    for (int i = 0; i < 2; ++i) {
        fra_[i]->setVisible(i == selected);
        fra_[i]->setEnabled(i == selected);
    }
}

void frmOptions::chkAlarm_Click() {
    const bool on = chkAlarm_->isChecked();
    alarm_.bar->setEnabled(on);
    alarm_.text->setEnabled(on);
    lblAlarm_->setEnabled(on);
}

// Looks only at the check state, also while the box itself is disabled.
void frmOptions::chkKeepLogs_Click() {
    const bool on = chkKeepLogs_->isChecked();
    days_.bar->setEnabled(on);
    days_.text->setEnabled(on);
    lblDays_->setEnabled(on);
}

// Daily logs only exist when logs are not appended to one file.
void frmOptions::optAppend_Click() {
    chkKeepLogs_->setEnabled(!optAppend_->isChecked());
    chkKeepLogs_Click();
}

void frmOptions::optSample_Click() {
    const bool on = optSample_->isChecked();
    host_.SetTimer1Enabled(on);
    const std::array<QWidget*, 6> interval = {minutes_.bar, seconds_.bar,  minutes_.text,
                                              lblMinutes_,  seconds_.text, lblSeconds_};
    for (QWidget* control : interval) control->setEnabled(on);
}

void frmOptions::chkDisplayData_Click() {
    const bool on = chkDisplayData_->isChecked();
    host_.SetMainWindowVisible(on);
    settings_.displayData = on ? 1 : 0;
}

void frmOptions::chkIcon_Click() {
    if (chkIcon_->isChecked()) host_.AddTrayIcon();
    if (!chkIcon_->isChecked()) host_.DeleteTrayIcon();
}

void frmOptions::chkLoad_Click() {
    if (chkLoad_->isChecked())
        shortcut_.Create();
    else
        shortcut_.Remove();
}

// Refused: anything the bar cannot hold, which includes a negative number and
// one that rounds up to the limit (99.5 minutes). The bar still holds the last
// accepted value, so putting it back replaces the refused entry.
void frmOptions::NumberText_Change(const NumberBox& box) {
    const double value = ParseLeadingNumber(Local8Bit(box.text->text()));
    const auto rounded = RoundToInt32(value);
    const int high = box.bar->maximum();
    if (value < 0 || !rounded || *rounded > high) {
        ShowRangeMessage(0, high);
        box.text->setText(QString::number(box.bar->Position()));
        return;
    }
    box.bar->SetPosition(*rounded);
}

void frmOptions::NumberBar_Change(const NumberBox& box) {
    box.text->setText(QString::number(box.bar->Position()));
}

void frmOptions::ShowRangeMessage(int low, int high) {
    messages_.MsgBox(this,
                     "The valid range is " + QString::number(low) + " - " + QString::number(high),
                     "Wrong value");
}

void frmOptions::cmdOK_Click() {
    file_.SaveSettings(settings_, [this](const Preference::Control& control) {
        return PreferenceBinding::Read(*this, control);
    });
    ApplyScanLabels();
    close();
}

void frmOptions::ApplyScanLabels() {
    const QString empty = QStringLiteral("");
    if (settings_.sampleEnabled != 1) {
        host_.SetTimer1Enabled(false);
        host_.SetLabels("Scanning disabled", empty, empty, empty);
        return;
    }
    settings_.scanIntervalSeconds = settings_.intervalMinutes * 60 + settings_.intervalSeconds;
    host_.SetTimer1Enabled(true);
    host_.SetSampleLabelVisible(true);
    host_.SetLabels("Scan rate: " + QString::number(settings_.intervalMinutes) + " min" + " " +
                        QString::number(settings_.intervalSeconds) + " secs",
                    "Scan time: " + host_.CurrentTimeText(),
                    "Save every " + QString::number(settings_.saveDataMinutes) + " min", QString());
}

void frmOptions::cmdCancel_Click() {
    chkIcon_Click();
    close();
}

void frmOptions::cmdHelp_Click() {
    host_.OpenHelp();
}

void frmOptions::done(int result) {
    setResult(result);
    close();
}

void frmOptions::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        Form_Unload();
        emit Unloaded();
    }
    event->accept();
}

// Rebuilding restarts every online time; it takes the new lines after OK.
void frmOptions::Form_Unload() {
    if (settings_.displayData == 1) host_.BuildLineTable();
}

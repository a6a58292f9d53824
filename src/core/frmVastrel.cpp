#include "frmVastrel.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/clock/Clock.h"
#include "platform/desktop/Desktop.h"
#include "platform/window/MessageBoxes.h"
#include "settings/Help.h"
#include "settings/frmOptions.h"
#include "shell/FrmAbout.h"
#include "usage/frmUsage.h"

using namespace platform;

namespace {
QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

frmVastrel::frmVastrel(Program& program, QWidget* parent)
    : QMainWindow(parent),
      program_(program),
      services_(program.Platform()),
      state_(program.State()) {
    setWindowTitle("Vastrel");
    setWindowIcon(QIcon(":/icons/vastrel-32.png"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CreateControls();
    CreateMenus();
    // A fixed single border: the size that fits the list, no resize, no maximise.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    timer1_.setObjectName("Timer1");
    timer1_.setParent(this);
    // Coarse timers fire up to 5 % early; the scan rate is the program's point.
    timer1_.setTimerType(Qt::PreciseTimer);
    timer1_.setInterval(Program::kTickMs);
    connect(&timer1_, &QTimer::timeout, this, &frmVastrel::Timer1_Timer);
    program.Log().SetSavedHandler(
        [this] { lblLastSave_->setText("Last saved at: " + services_.clock.TimeText()); });
    program.SetWindowRequests(
        {[this] { close(); }, [this] { mPopOptions_Click(); }, [this] { BuildLineTable(); }});
    services_.notifyIcon.SetSink(
        [this](HWND, UINT, UINT code, QPoint pos) { OnTrayMessage(code, pos); });
    services_.notifyIcon.SetContextMenu(mnuSystray_);
}

frmVastrel::~frmVastrel() {
    services_.notifyIcon.SetContextMenu(nullptr);
    services_.notifyIcon.SetSink({});
    program_.SetWindowRequests({});
    program_.Log().SetSavedHandler({});
}

void frmVastrel::CreateControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    lvOutLog_ = new QTreeView(client);
    lvOutLog_->setObjectName("lvOutLog");
    lvOutLog_->setAccessibleName("Lines");
    lvOutLog_->setRootIsDecorated(false);
    lvOutLog_->setUniformRowHeights(true);
    lvOutLog_->setItemsExpandable(false);
    lvOutLog_->setModel(&model_);
    lvOutLog_->header()->setStretchLastSection(false);
    lvOutLog_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvOutLog_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SizeColumns();
    auto label = [client](const char* name, const char* text, const QString& widest) {
        auto* l = new QLabel(text, client);
        l->setObjectName(name);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(widest) + 4);
        return l;
    };
    // The time as the locale writes it, at its widest.
    const QString time = Clock::TimeText(QDateTime(QDate(2026, 12, 5), QTime(23, 58, 58)));
    lblSaveRate_ = label("lblSaveRate", "Save every 720 min", "Save every 999 min");
    lblLastSave_ = label("lblLastSave", "Last saved at: 00:00:00", "Last saved at: " + time);
    lblSample_ = label("lblSample", "Scan rate: 0 min 1 sec", "Scan rate: 99 min 59 secs");
    lblSampleTime_ = label("lblSampleTime", "Scan time:", "Scan time: " + time);
    auto* labels = new QHBoxLayout;
    for (QLabel* l : {lblSaveRate_, lblLastSave_, lblSample_, lblSampleTime_}) labels->addWidget(l);
    labels->addStretch();
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 1, 0, 1);
    column->setSpacing(2);
    column->addWidget(lvOutLog_);
    column->addLayout(labels);
}

// Each column as wide as its header and its widest value in the font in use
// (a 22-character name, a duration of 99 hours, the word "Alarm"); the list
// as wide as its columns, so nothing is cut and nothing scrolls sideways.
void frmVastrel::SizeColumns() {
    const QFontMetrics metrics(lvOutLog_->font());
    const int padding = 2 * lvOutLog_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    const std::array<QString, 6> widest = {
        "*99999", "Reception Desk Line 22,", "99", " 99 h  59 m  59 s", " 99 h  59 m  59 s",
        "Alarm"};
    QHeaderView* header = lvOutLog_->header();
    int total = 0;
    for (int c = 0; c < 6; ++c) {
        int width = metrics.horizontalAdvance(widest[c]) + padding;
        if (c == 1) width = std::max(width, 22 * metrics.averageCharWidth() + padding);
        const int headerMargin =
            header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        width = std::max(width, header->fontMetrics().horizontalAdvance(OutLogModel::kHeaders[c]) +
                                    2 * headerMargin + 4);
        lvOutLog_->setColumnWidth(c, width);
        total += width;
    }
    const int frame = 2 * lvOutLog_->frameWidth();
    const int bar = lvOutLog_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int rows = 10;
    lvOutLog_->setFixedSize(total + frame + bar,
                            header->sizeHint().height() + rows * (metrics.height() + 4) + frame);
}

void frmVastrel::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* print = file->addAction("&Print Data Log", this, &frmVastrel::mnuPrint_Click);
    print->setShortcut(QKeySequence("Ctrl+P"));
    QAction* save = file->addAction("&Save Now", this, &frmVastrel::mnuSave_Click);
    save->setShortcut(QKeySequence("Ctrl+S"));
    file->addSeparator();
    file->addAction("E&xit", this, &frmVastrel::mnuExit_Click);
    QMenu* view = menuBar()->addMenu("&View");
    QAction* data = view->addAction("&Data Log", this, &frmVastrel::mnuViewData_Click);
    data->setShortcut(QKeySequence("Ctrl+V"));
    view->addAction("&Usage...", this, [this] { frmUsage::ShowFor(program_, this); });
    QMenu* tools = menuBar()->addMenu("&Tools");
    tools->addAction("&Options", this, &frmVastrel::mnuOptions_Click);
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&Help Topics", this, &frmVastrel::mnuHelpTop_Click);
    help->addSeparator();
    help->addAction("&About Vastrel", this, &frmVastrel::mnuHelpAbout_Click);
    // The tray pop-up: a menu of the window that the menu bar does not show.
    mnuSystray_ = new QMenu("&Systray", this);
    mnuSystray_->setObjectName("mnuSystray");
    mPopRestore_ = mnuSystray_->addAction("&Restore", this, &frmVastrel::mPopRestore_Click);
    mPopRestore_->setObjectName("mPopRestore");
    mnuSystray_->addAction("&Options", this, &frmVastrel::mPopOptions_Click);
    mnuSystray_->addSeparator();
    mnuSystray_->addAction("&Exit", this, &frmVastrel::mPopExit_Click);
    // Whoever shows the menu (the program itself, Qt on an XEmbed tray, a
    // StatusNotifierItem host over D-Bus), Restore follows the window.
    connect(mnuSystray_, &QMenu::aboutToShow, this,
            [this] { mPopRestore_->setVisible(isHidden() && state_.settings.displayData == 1); });
}

// ---- start-up ---------------------------------------------------------------

bool frmVastrel::Form_Load(const std::string& commandText) {
    if (!program_.StartUp(commandText)) return false;
    if (state_.settings.sysTrayEnabled == 1) PutUpTrayIcon();
    unsetCursor();
    if (RunCommandText()) return true;
    if (state_.settings.displayData == 1) {
        show();
        BringToFront(this);
    } else {
        hide();
    }
    timer1_.stop();
    if (state_.settings.sampleEnabled == 1) timer1_.start();
    BuildLineTable();
    return true;
}

// "setup" opens the Options dialog and ends start-up there; "min" is
// accepted and cleared.
bool frmVastrel::RunCommandText() {
    QString command = Latin1(state_.command.text).toLower();
    if (command == "min") state_.command.text.clear();
    if (command != "setup") return false;
    mnuOptions_Click();
    if (options_) BringToFront(options_);
    return true;
}

void frmVastrel::PutUpTrayIcon() {
    show();
    repaint();
    AddTrayIcon();
}

// ---- the line table ---------------------------------------------------------

void frmVastrel::SetBuildLabels() {
    const Settings& s = state_.settings;
    if (s.sampleEnabled == 1) {
        lblSample_->setText(
            QString("Scan rate: %1 min %2 secs").arg(s.intervalMinutes).arg(s.intervalSeconds));
        lblSaveRate_->setText(QString("Save every %1 min").arg(s.saveDataMinutes));
    } else {
        lblSample_->setText("Single test");
        lblSaveRate_->setText("Single test");
    }
    lblLastSave_->setText("Last saved at: ");
}

void frmVastrel::BuildLineTable() {
    // A rebuild asked for while shutting down would only scan a closed session.
    if (program_.Unloaded()) return;
    if (!program_.BuildLineTable()) {
        services_.messages.MsgBox(this, "No lines to test: Nothing to do!!!", "");
        return;
    }
    SetBuildLabels();
    model_.SetRows(program_.LineRows());
    TestLines();
}

// ---- the scan ---------------------------------------------------------------

void frmVastrel::Timer1_Timer() {
    if (program_.ScanIsDue()) TestLines();
}

void frmVastrel::TestLines() {
    const bool goesOn = program_.TestLines(scanRows_);
    model_.SwapRows(scanRows_);
    lblSampleTime_->setText("Scan time: " + services_.clock.TimeText());
    if (!goesOn) timer1_.stop();
}

void frmVastrel::SaveDataLog() {
    program_.SaveDataLog();
}

// ---- menus ------------------------------------------------------------------

void frmVastrel::mnuPrint_Click() {
    services_.desktop.PrintImage(centralWidget()->grab().toImage());
}

void frmVastrel::mnuSave_Click() {
    SaveDataLog();
}

void frmVastrel::mnuExit_Click() {
    close();
}

void frmVastrel::mnuViewData_Click() {
    const QString path = program_.Log().Dir() + "/Data.log";
    if (QFileInfo(path).isFile()) services_.desktop.OpenDocument(path);
}

void frmVastrel::mnuOptions_Click() {
    if (!options_) {
        options_ =
            new frmOptions(state_.settings, program_.SettingsStore(), *this, services_.messages,
                           program_.Shortcut(), state_.session.numLineDevices, this);
    }
    options_->show();
}

void frmVastrel::mnuHelpTop_Click() {
    OpenHelp();
}

void frmVastrel::mnuHelpAbout_Click() {
    if (!about_) about_ = new FrmAbout(services_.desktop, services_.messages, this);
    about_->show();
}

void frmVastrel::mPopRestore_Click() {
    BringToFront(this);
}

void frmVastrel::mPopOptions_Click() {
    mnuOptions_Click();
    if (options_) BringToFront(options_);
}

void frmVastrel::mPopExit_Click() {
    close();
}

// ---- tray and window --------------------------------------------------------

void frmVastrel::OnTrayMessage(UINT mouseCode, QPoint globalPos) {
    // The shell reports the mouse message as the X coordinate, in the
    // window's scale units (twips).
    trayPointer_ = globalPos;
    Form_MouseMove(0, 0, static_cast<float>(mouseCode) * kTwipsPerPixel, 0);
}

void frmVastrel::Form_MouseMove(int, int, float x, float) {
    const UINT code = TrayIcon::DecodeMouseCode(x, false, kTwipsPerPixel);
    // On an XEmbed tray Qt has popped the attached menu up already: it is
    // not shown twice, and the window does not take the focus from it.
    if (code == WM_RBUTTONUP && mnuSystray_->isVisible()) return;
    activateWindow();
    if (code == WM_LBUTTONUP || code == WM_LBUTTONDBLCLK) {
        mPopRestore_Click();
    } else if (code == WM_RBUTTONUP) {
        mnuSystray_->popup(trayPointer_);
    }
}

void frmVastrel::BringToFront(QWidget* window) {
    if (window == nullptr) return;
    if (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) window->showNormal();
    if (window == this && firstShow_ && isVisible()) {
        // Centred on the screen when first shown.
        firstShow_ = false;
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    window->raise();
    window->activateWindow();
}

void frmVastrel::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

// Hidden only where the tray icon can bring it back: without a notification
// area the window stays minimised in the task bar.
void frmVastrel::Form_Resize() {
    if (state_.settings.sysTrayEnabled == 1 && isMinimized() &&
        services_.notifyIcon.AreaAvailable())
        QMetaObject::invokeMethod(
            this, [this] { hide(); }, Qt::QueuedConnection);
}

// ---- shut-down --------------------------------------------------------------

void frmVastrel::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmVastrel::Form_Unload() {
    if (program_.Unloaded()) return;
    timer1_.stop();
    program_.Unload();
    UnloadOtherWindows();
    // exit, not quit: a message box still open (start-up's "No lines to
    // test") must end its loop too; quit only asks the windows to close.
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void frmVastrel::UnloadOtherWindows() {
    if (options_) options_->close();
    if (about_) about_->close();
}

// ---- what the Options dialog does to the window ------------------------------

void frmVastrel::SetTimer1Enabled(bool enabled) {
    if (enabled) {
        if (!timer1_.isActive()) timer1_.start();
    } else {
        timer1_.stop();
    }
}

void frmVastrel::SetMainWindowVisible(bool visible) {
    setVisible(visible);
}

void frmVastrel::SetLabels(const QString& sample, const QString& sampleTime,
                           const QString& saveRate, const QString& lastSave) {
    if (!sample.isNull()) lblSample_->setText(sample);
    if (!sampleTime.isNull()) lblSampleTime_->setText(sampleTime);
    if (!saveRate.isNull()) lblSaveRate_->setText(saveRate);
    if (!lastSave.isNull()) lblLastSave_->setText(lastSave);
}

void frmVastrel::SetSampleLabelVisible(bool visible) {
    lblSample_->setVisible(visible);
}

void frmVastrel::AddTrayIcon() {
    program_.Tray().Fill(program_.Hwnd());
    program_.Tray().Add();
}

void frmVastrel::DeleteTrayIcon() {
    program_.Tray().Delete();
}

void frmVastrel::OpenHelp() {
    Help(services_.paths.programDir, services_.desktop, services_.messages).OpenHelp(this);
}

QString frmVastrel::CurrentTimeText() const {
    return services_.clock.TimeText();
}

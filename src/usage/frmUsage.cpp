#include "frmUsage.h"

#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Program.h"
#include "platform/clock/Clock.h"
#include "platform/desktop/Desktop.h"
#include "platform/file/AtomicFile.h"
#include "usage/UsageChart.h"
#include "usage/UsageCsv.h"
#include "usage/UsageLoader.h"

namespace {
// While a save is being written the day is asked for again this often.
constexpr int kRetryMs = 100;

QString Hms(int seconds) {
    return QString("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

// The day's records from the running program: the file as far as it was
// written, and what no save has written yet, taken at one moment.
std::optional<DayReader::Source> ProgramSource(Program& program, const QDate& day) {
    DataLog& log = program.Log();
    if (log.Saving()) return std::nullopt;
    DayReader::Source source;
    source.day = day;
    source.dataLog = log.FilePath(day);
    source.byteLimit = QFileInfo(source.dataLog).size();
    source.incomingLog = program.Platform().paths.dataDir + "/In.log";
    // The reader keeps only the day's records of what is pending.
    if (!log.Text().Empty()) source.unsavedText = log.Text().ToString();
    return source;
}
}  // namespace

frmUsage::frmUsage(SourceFor sourceFor, platform::Desktop& desktop, QDate today, QWidget* parent)
    : QWidget(parent, Qt::Window),
      sourceFor_(std::move(sourceFor)),
      desktop_(desktop),
      day_(today) {
    setObjectName("frmUsage");
    setWindowTitle("Usage");
    loader_ = new UsageLoader(this);
    connect(loader_, &UsageLoader::Progress, this, &frmUsage::OnProgress);
    connect(loader_, &UsageLoader::Loaded, this, &frmUsage::OnLoaded);
    connect(loader_, &UsageLoader::Cancelled, this, &frmUsage::OnCancelled);
    CreateControls();
    ShowDay(today);
}

frmUsage::~frmUsage() = default;

frmUsage* frmUsage::ShowFor(Program& program, QWidget* mainWindow) {
    auto* window = mainWindow->findChild<frmUsage*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new frmUsage([&program](const QDate& day) { return ProgramSource(program, day); },
                              program.Platform().desktop, program.Platform().clock.Now().date(),
                              mainWindow);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void frmUsage::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateDayBar());
    auto* busy = new QHBoxLayout;
    progress_ = new QProgressBar;
    progress_->setObjectName("progress");
    cancel_ = new QPushButton("Cancel");
    cancel_->setObjectName("cancel");
    connect(cancel_, &QPushButton::clicked, loader_, &UsageLoader::Cancel);
    busy->addWidget(progress_, 1);
    busy->addWidget(cancel_);
    layout->addLayout(busy);
    chart_ = new UsageChart;
    auto* scroll = new QScrollArea;
    scroll->setWidget(chart_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    layout->addWidget(scroll, 3);
    table_ = new QTableWidget(0, 7);
    table_->setObjectName("figures");
    table_->setHorizontalHeaderLabels(
        {"Line", "Name", "Time online", "Calls", "Longest call", "Busiest hour", "Offered calls"});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table_, 2);
    status_ = new QLabel;
    status_->setObjectName("status");
    status_->setWordWrap(true);
    layout->addWidget(status_);
    layout->addWidget(CreateExportBar());
    resize(820, 560);
}

QWidget* frmUsage::CreateDayBar() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    auto* previous = new QPushButton("< &Previous day");
    auto* next = new QPushButton("&Next day >");
    auto* today = new QPushButton("&Today");
    date_ = new QDateEdit(day_);
    date_->setObjectName("date");
    date_->setCalendarPopup(true);
    date_->setDisplayFormat("yyyy-MM-dd");
    const QDate first = day_;
    connect(previous, &QPushButton::clicked, this, [this] { ShowDay(day_.addDays(-1)); });
    connect(next, &QPushButton::clicked, this, [this] { ShowDay(day_.addDays(1)); });
    connect(today, &QPushButton::clicked, this, [this, first] { ShowDay(first); });
    connect(date_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        if (d != day_) ShowDay(d);
    });
    row->addWidget(previous);
    row->addWidget(date_);
    row->addWidget(next);
    row->addWidget(today);
    row->addStretch(1);
    return bar;
}

QWidget* frmUsage::CreateExportBar() {
    exportBar_ = new QWidget;
    auto* row = new QHBoxLayout(exportBar_);
    row->setContentsMargins(0, 0, 0, 0);
    const struct {
        const char* text;
        const char* title;
        const char* suffix;
        bool (frmUsage::*save)(const QString&) const;
    } exports[] = {
        {"Hourly &CSV...", "Export the hourly table", "csv", &frmUsage::ExportHourlyCsv},
        {"C&alls CSV...", "Export the calls", "csv", &frmUsage::ExportCallsCsv},
        {"Chart P&NG...", "Save the chart as PNG", "png", &frmUsage::SaveChartPng},
        {"Chart P&DF...", "Save the chart as PDF", "pdf", &frmUsage::SaveChartPdf},
    };
    for (const auto& e : exports) {
        auto* button = new QPushButton(e.text);
        connect(button, &QPushButton::clicked, this,
                [this, e] { AskAndSave(e.title, e.suffix, e.save); });
        row->addWidget(button);
    }
    auto* print = new QPushButton("P&rint");
    connect(print, &QPushButton::clicked, this, &frmUsage::Print);
    row->addWidget(print);
    row->addStretch(1);
    auto* close = new QPushButton("Close");
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    row->addWidget(close);
    return exportBar_;
}

void frmUsage::AskAndSave(const QString& title, const QString& suffix,
                          bool (frmUsage::*save)(const QString&) const) {
    const QString name = QString("usage-%1.%2").arg(day_.toString(Qt::ISODate), suffix);
    const QString path =
        QFileDialog::getSaveFileName(this, title, name, suffix.toUpper() + " (*." + suffix + ")");
    if (path.isEmpty()) return;
    if (!(this->*save)(path)) status_->setText("Could not write " + path);
}

void frmUsage::ShowDay(const QDate& day) {
    day_ = day;
    if (date_->date() != day) date_->setDate(day);
    StartLoad();
}

void frmUsage::StartLoad() {
    SetBusy(true);
    progress_->setRange(0, 0);
    status_->setText("Reading " + day_.toString(Qt::ISODate) + "...");
    std::optional<DayReader::Source> source = sourceFor_(day_);
    if (!source) {
        const QDate asked = day_;
        QTimer::singleShot(kRetryMs, this, [this, asked] {
            if (asked == day_) StartLoad();
        });
        return;
    }
    loader_->Load(std::move(*source));
}

bool frmUsage::Loading() const {
    return progress_->isVisible() || loader_->Busy();
}

void frmUsage::SetBusy(bool busy) {
    progress_->setVisible(busy);
    cancel_->setVisible(busy);
    exportBar_->setEnabled(!busy);
}

void frmUsage::OnProgress(qint64 done, qint64 total) {
    // The bar counts KiB: an int holds files far beyond any day.
    progress_->setRange(0, int(total / 1024));
    progress_->setValue(int(done / 1024));
}

void frmUsage::OnLoaded(const DayUsage& usage) {
    usage_ = usage;
    usage_.day = day_;
    SetBusy(false);
    chart_->SetUsage(usage_);
    FillTable();
    QString text;
    if (!usage_.found || usage_.records == 0)
        text = "No data log records for " + day_.toString(Qt::ISODate) + ".";
    else
        text = QString("%1 records, %2 calls.").arg(usage_.records).arg(usage_.calls.size());
    if (usage_.damaged > 0) text += QString(" %1 damaged records skipped.").arg(usage_.damaged);
    if (usage_.unmatchedOffers > 0)
        text += QString(" %1 offered calls in In.log matched no line.").arg(usage_.unmatchedOffers);
    status_->setText(text);
    emit DayShown();
}

void frmUsage::OnCancelled() {
    SetBusy(false);
    status_->setText("Reading " + day_.toString(Qt::ISODate) + " was cancelled.");
    usage_ = DayUsage{};
    usage_.day = day_;
    chart_->SetUsage(usage_);
    FillTable();
    emit DayShown();
}

void frmUsage::FillTable() {
    table_->setRowCount(int(usage_.lines.size()));
    for (int r = 0; r < int(usage_.lines.size()); ++r) {
        const DayUsage::Line& line = usage_.lines[r];
        const QString busiest = line.busiestHour < 0
                                    ? QString("-")
                                    : QString("%1:00").arg(line.busiestHour, 2, 10, QChar('0'));
        const QString cells[] = {QString::number(line.row),
                                 line.name,
                                 Hms(line.totalSeconds),
                                 QString::number(line.calls),
                                 Hms(line.longestSeconds),
                                 busiest,
                                 QString::number(line.offeredCalls)};
        for (int c = 0; c < 7; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c != 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(r, c, item);
        }
    }
}

bool frmUsage::ExportHourlyCsv(const QString& path) const {
    return platform::AtomicFile::Replace(path, usagecsv::Hourly(usage_));
}

bool frmUsage::ExportCallsCsv(const QString& path) const {
    return platform::AtomicFile::Replace(path, usagecsv::Calls(usage_));
}

bool frmUsage::SaveChartPng(const QString& path) const {
    return chart_->Image(2).save(path, "PNG");
}

bool frmUsage::SaveChartPdf(const QString& path) const {
    QPdfWriter pdf(path);
    // The screen's resolution, so the chart's fonts keep their proportions.
    pdf.setResolution(chart_->logicalDpiX());
    pdf.setTitle("Line use on " + day_.toString(Qt::ISODate));
    pdf.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&pdf)) return false;
    // Drawn as vectors, scaled to the page's width.
    const QSize size = chart_->size();
    const double scale =
        std::min(pdf.width() / double(size.width()), pdf.height() / double(size.height()));
    painter.scale(scale, scale);
    painter.setFont(chart_->font());
    chart_->Draw(painter);
    return painter.end();
}

bool frmUsage::Print() {
    return desktop_.PrintImage(chart_->Image(2));
}

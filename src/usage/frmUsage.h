#pragma once
#include <QWidget>
#include <functional>
#include <optional>

#include "usage/DayReader.h"
#include "usage/DayUsage.h"

class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class Program;
class UsageChart;
class UsageLoader;
namespace platform {
class Desktop;
}

// The Usage window: one day's use of the lines as a chart of hours and a
// table of figures, with export to CSV, PNG and PDF and printing.
class frmUsage : public QWidget {
    Q_OBJECT
public:
    // Where a day's records are; nothing while they cannot be had whole (a
    // save is being written), and the window asks again shortly.
    using SourceFor = std::function<std::optional<DayReader::Source>(const QDate& day)>;

    frmUsage(SourceFor sourceFor, platform::Desktop& desktop, QDate today,
             QWidget* parent = nullptr);
    ~frmUsage() override;

    // View > Usage...: the window of the main window, made on first use.
    static frmUsage* ShowFor(Program& program, QWidget* mainWindow);

    void ShowDay(const QDate& day);
    const DayUsage& Usage() const { return usage_; }
    UsageChart& Chart() { return *chart_; }
    bool Loading() const;

    bool ExportHourlyCsv(const QString& path) const;
    bool ExportCallsCsv(const QString& path) const;
    bool SaveChartPng(const QString& path) const;
    bool SaveChartPdf(const QString& path) const;
    bool Print();

signals:
    void DayShown();

private:
    void CreateControls();
    QWidget* CreateDayBar();
    QWidget* CreateExportBar();
    void StartLoad();
    void OnProgress(qint64 done, qint64 total);
    void OnLoaded(const DayUsage& usage);
    void OnCancelled();
    void FillTable();
    void SetBusy(bool busy);
    void AskAndSave(const QString& title, const QString& suffix,
                    bool (frmUsage::*save)(const QString&) const);

    SourceFor sourceFor_;
    platform::Desktop& desktop_;
    QDate day_;
    DayUsage usage_;
    UsageLoader* loader_ = nullptr;
    QDateEdit* date_ = nullptr;
    UsageChart* chart_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QWidget* exportBar_ = nullptr;
};

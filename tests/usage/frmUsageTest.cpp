// The Usage window on the offscreen platform: a known day read off the event
// loop, the chart's cells sampled in light and dark palettes and at 2x, and
// what export and print produce.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "FakeDesktop.h"
#include "usage/UsageChart.h"
#include "usage/frmUsage.h"

namespace {

const QDate kDay(2024, 3, 12);

// Line 1 online all of 10:00-11:00 (one 3600 s call at 1 s scans is too long
// for a test file: 60 s scans), line 2 for 30 min from 14:00.
QByteArray DayLog() {
    QByteArray log;
    auto add = [&](int row, const char* name, int state, QTime t, int online) {
        const QByteArray field = QByteArray(name).append(',').leftJustified(22, ' ');
        const QByteArray d = QString(" %1 h  %2 m  %3 s")
                                 .arg(online / 3600)
                                 .arg(online / 60 % 60, 2, 10, QChar('0'))
                                 .arg(online % 60, 2, 10, QChar('0'))
                                 .toLatin1();
        log += "\r\n " + QByteArray::number(row) + "\t" + field + "\t  " +
               QByteArray::number(state) + "\t3/12/2024 " + t.toString("HH:mm:ss").toLatin1() +
               "\t" + d + "\t" + d;
    };
    for (int m = 1; m <= 60; ++m) add(1, "Front desk", 1, QTime(10, 0).addSecs(m * 60 - 1), m * 60);
    add(1, "Front desk", 0, QTime(11, 1), 0);
    for (int m = 1; m <= 30; ++m) add(2, "Sales", 1, QTime(14, 0).addSecs(m * 60), m * 60);
    add(2, "Sales", 0, QTime(14, 31), 0);
    return log + "\r\n";
}

class frmUsageTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDesktop desktop;
    int asked = 0;

    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        QFile f(dir.path() + "/Data.log");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(DayLog());
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    // The first ask finds a save being written: the window asks again.
    std::unique_ptr<frmUsage> Open() {
        auto window = std::make_unique<frmUsage>(
            [this](const QDate& day) -> std::optional<DayReader::Source> {
                if (asked++ == 0) return std::nullopt;
                return DayReader::Source{day, dir.path() + "/Data.log", -1, {}, {}};
            },
            desktop, kDay);
        window->resize(900, 600);
        window->show();
        return window;
    }
    static bool WaitShown(frmUsage& w) {
        QSignalSpy shown(&w, &frmUsage::DayShown);
        return shown.count() > 0 || shown.wait(5000);
    }
};

QColor Sample(const QImage& image, const QRect& cell, qreal scale) {
    return image.pixelColor((QPointF(cell.center()) * scale).toPoint());
}

TEST_F(frmUsageTest, ChartCellsShowTheMinutesOnlineInLightDarkAndAt2x) {
    auto w = Open();
    ASSERT_TRUE(WaitShown(*w));
    EXPECT_GE(asked, 2);
    ASSERT_EQ(w->Usage().lines.size(), 2u);
    UsageChart& chart = w->Chart();

    QPalette light;
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::Highlight, QColor(0, 0, 255));
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(32, 32, 32));
    dark.setColor(QPalette::Highlight, QColor(61, 174, 233));
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::WindowText, Qt::white);
    for (const QPalette& palette : {light, dark}) {
        chart.setPalette(palette);
        const QColor empty = palette.color(QPalette::Base);
        const QColor full = palette.color(QPalette::Highlight);
        for (qreal scale : {1.0, 2.0}) {
            const QImage image = chart.Image(scale);
            ASSERT_EQ(image.width(), qRound(chart.width() * scale));
            EXPECT_EQ(Sample(image, chart.CellRect(0, 10), scale), full);
            EXPECT_EQ(Sample(image, chart.CellRect(0, 9), scale), empty);
            EXPECT_EQ(Sample(image, chart.CellRect(0, 11), scale), empty);
            // Half an hour: half-way between the two.
            const QColor half = Sample(image, chart.CellRect(1, 14), scale);
            EXPECT_NEAR(half.red(), (empty.red() + full.red()) / 2, 2);
            EXPECT_NEAR(half.blue(), (empty.blue() + full.blue()) / 2, 2);
            EXPECT_EQ(Sample(image, chart.CellRect(1, 10), scale), empty);
        }
    }
    // The tip names the line, the hour and the figure.
    const auto cell = chart.CellAt(chart.CellRect(1, 14).center());
    ASSERT_TRUE(cell);
    EXPECT_EQ(chart.TipText(*cell), "Line 2 (Sales), 14:00-15:00: 30 min 0 s online");
    EXPECT_FALSE(chart.CellAt(QPoint(1, 1)));
}

TEST_F(frmUsageTest, ExportsPrintsAndMovesBetweenDays) {
    auto w = Open();
    ASSERT_TRUE(WaitShown(*w));
    EXPECT_EQ(w->Usage().lines[0].totalSeconds, 3600);
    EXPECT_EQ(w->Usage().lines[1].longestSeconds, 1800);
    const QString out = dir.path() + "/out";
    ASSERT_TRUE(w->ExportHourlyCsv(out + ".csv"));
    QFile csv(out + ".csv");
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains("1,Front desk,2024-03-12T10:00,3600\r\n"));
    ASSERT_TRUE(w->ExportCallsCsv(out + "-calls.csv"));
    ASSERT_TRUE(w->SaveChartPng(out + ".png"));
    EXPECT_EQ(QImage(out + ".png").width(), w->Chart().width() * 2);
    ASSERT_TRUE(w->SaveChartPdf(out + ".pdf"));
    QFile pdf(out + ".pdf");
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_FALSE(w->ExportHourlyCsv(dir.path()));  // a folder is there

    EXPECT_TRUE(w->Print());
    ASSERT_EQ(desktop.printed.size(), 1u);
    EXPECT_EQ(desktop.printed[0].width(), w->Chart().width() * 2);

    // The day before has no records: an empty chart that says so.
    w->ShowDay(kDay.addDays(-1));
    ASSERT_TRUE(WaitShown(*w));
    EXPECT_TRUE(w->Usage().lines.empty());
    EXPECT_EQ(w->findChild<QLabel*>("status")->text(), "No data log records for 2024-03-11.");
}

}  // namespace

// A UTF-8 line name and caller name through the whole program: the real
// telephony service over the simulated exchange, the scan, the data log and
// In.log, with every fixed-width column counted in characters.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>

#include "ProgramHarness.h"

namespace {

TEST(Utf8Names, ArriveIntactInTheDataLogAndInLogWithTheColumnsAligned) {
    QLocale::setDefault(QLocale::c());
    platform::sim::ExchangeConfig config = ProgramHarness::Lines(2);
    config.EditLine(0).name = "Sales desk \u2014 Z\u00FCrich";
    ProgramHarness p(config);
    p.WriteSettings({"Append Data=1", "SysTray Enabled=0", "Display Data=0", "Alarm=0"});
    ASSERT_TRUE(p.program.StartUp("") && p.program.BuildLineTable());
    p.tapi.Exchange().Store().Update(
        [](platform::sim::ExchangeState& s) { s.Ring(0, "5551234", "J\u00FCrgen M\u00FCller"); });
    std::vector<OutLogModel::Row> rows;
    p.program.TestLines(rows);
    QCoreApplication::processEvents();  // the offered call reaches the callback
    p.program.Unload();

    const std::string field = "Sales desk \u2014 Z\u00FCrich,  ";  // 22 characters
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], field);
    OutLogModel list;
    list.SetRows(rows);
    EXPECT_EQ(list.data(list.index(0, 1), Qt::DisplayRole).toString(),
              QString::fromStdString(field));
    const QByteArray log = p.ReadFile(p.DataLogsFile("Data.log"));
    EXPECT_TRUE(log.contains(QByteArray::fromStdString("\r\n 1\t" + field + "\t  1\t")))
        << log.toStdString();
    EXPECT_TRUE(log.contains("\r\n 2\tLine 2," + QByteArray(15, ' ') + "\t  0\t"))
        << log.toStdString();

    const QList<QByteArray> lines = p.ReadFile(p.paths.dataDir + "/In.log").split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QString record = QString::fromUtf8(lines[2].chopped(1));
    EXPECT_EQ(record.size(), 118);
    EXPECT_EQ(record.left(43), " J\u00FCrgen M\u00FCller" + QString(29, ' '));
    EXPECT_EQ(record.mid(43, 55), "5551234" + QString(48, ' '));
}

}  // namespace

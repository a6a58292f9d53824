// The data log and In.log on real disks that fill up, and a save killed
// between two of its writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "datalog/DataLog.h"
#include "platform/file/AppendOnlyFile.h"

namespace {

// A 64 KiB tmpfs of the test's own; mounting needs root (as CI runs).
struct SmallDisk {
    QTemporaryDir dir;
    bool mounted = false;
    SmallDisk() {
        mounted = ::geteuid() == 0 && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k",
                                                                  "tmpfs", dir.path()}) == 0;
    }
    ~SmallDisk() {
        if (mounted) QProcess::execute("umount", {"-l", dir.path()});
    }
    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    // Fills the disk, then frees `room` bytes of it.
    void FillLeaving(qint64 room) const {
        QFile filler(Path("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        ASSERT_TRUE(filler.resize(std::max<qint64>(0, filler.size() - room)));
    }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The file's non-blank lines.
QList<QByteArray> Lines(const QString& path) {
    QList<QByteArray> lines;
    for (const QByteArray& line : ReadAll(path).split('\n'))
        if (!line.isEmpty() && line != "\r") lines << line;
    return lines;
}

std::string Numbered(int n, std::size_t width) {
    std::string record = std::to_string(n) + "\t";
    record.resize(width, 'x');
    return record;
}

TEST(FullDisk, DataLogRecordsWaitForSpaceAndNoneIsTornLostOrWrittenTwice) {
    SmallDisk disk;
    if (!disk.mounted) GTEST_SKIP() << "mounting a small tmpfs needs root";
    disk.FillLeaving(6000);
    FakeClock clock;
    Settings settings;
    settings.appendData = 1;
    settings.saveDataMinutes = 0;  // every scan saves
    LineTable table;
    double lastSave = 0;
    DataLog log(settings, clock, disk.dir.path(), table, lastSave);
    int failed = 0;
    for (int scan = 1; scan <= 300; ++scan) {
        if (scan == 150) QFile::remove(disk.Path("filler"));
        log.Text().Append(clock.Now().date(), "\r\n " + Numbered(scan, 80));
        log.CheckSaveSchedule();
        failed += !log.Flush();
        clock.Advance(1);
        // What is on the disk is always whole records.
        const QByteArray now = ReadAll(disk.Path("Data.log"));
        ASSERT_TRUE(now.isEmpty() || now.endsWith("\r\n")) << "after scan " << scan;
    }
    EXPECT_GT(failed, 10) << "the disk never filled";
    const QList<QByteArray> lines = Lines(disk.Path("Data.log"));
    ASSERT_EQ(lines.size(), 300);
    for (int scan = 1; scan <= 300; ++scan)
        ASSERT_EQ(lines[scan - 1], QByteArray::fromStdString(" " + Numbered(scan, 80) + "\r"));
}

TEST(FullDisk, InLogTakesWholeRecordsOrNothing) {
    SmallDisk disk;
    if (!disk.mounted) GTEST_SKIP() << "mounting a small tmpfs needs root";
    disk.FillLeaving(3000);
    const platform::AppendOnlyFile inLog(disk.Path("In.log"));
    int written = 0, refused = 0;
    for (int call = 1; call <= 100; ++call) {
        if (call == 60) QFile::remove(disk.Path("filler"));
        const std::string record = " " + Numbered(call, 117);
        (inLog.Append({record, "\r\n"}, "header one\r\nheader two\r\n") ? written : refused)++;
    }
    EXPECT_GT(refused, 0);
    const QList<QByteArray> lines = Lines(disk.Path("In.log"));
    ASSERT_EQ(lines.size(), written + 2);
    for (int i = 2; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 119) << lines[i].data();
}

// strace kills the probe when it makes its third write to the file, so the
// file holds exactly the first two of the save's pieces; a restart must find
// whole records only.
TEST(KillDuringSave, AKillBetweenTwoWritesLeavesOnlyWholeRecordsAfterARestart) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + "/Data.log";
    QFile(path).open(QIODevice::WriteOnly);  // strace -P follows an existing path
    QProcess probe;
    probe.start(strace,
                {"-f", "-qq", "-o", "/dev/null", "-P", path, "-e", "trace=write", "-e",
                 "inject=write:signal=KILL:when=3",
                 qEnvironmentVariable("VASTREL_BIN_DIR") + "/datalog_save_probe", dir.path(), "5"});
    ASSERT_TRUE(probe.waitForFinished(60000)) << "probe pid " << probe.processId();
    const qint64 size = QFileInfo(path).size();
    EXPECT_GE(size, 1 << 20);
    EXPECT_LT(size, 5 << 20) << "the save was not cut short";

    FakeClock clock;
    Settings settings;
    LineTable table;
    double lastSave = 0;
    DataLog restarted(settings, clock, QString(), table, lastSave);
    restarted.SetDir(dir.path());
    const QList<QByteArray> lines = Lines(path);
    ASSERT_GT(lines.size(), 1000);
    for (int n = 1; n <= lines.size(); ++n)
        ASSERT_EQ(lines[n - 1], QByteArray::fromStdString(" " + Numbered(n, 93) + "\r"));
}

}  // namespace

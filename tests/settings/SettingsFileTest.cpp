#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/profile/PrivateProfile.h"
#include "settings/SettingsFile.h"

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    platform::PrivateProfile profile{dir.path()};
    SettingsFile file{profile, dir.path()};

    QByteArray Contents() {
        QFile f(file.FilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void Write(const QByteArray& bytes) {
        QFile f(file.FilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Settings Load(const QByteArray& section) {
        Write(QByteArray(SettingsFile::kHeader) + "\r\n\r\n[Preferences]\r\n" + section);
        file.PrepareSettingsFile();
        Settings s;
        file.LoadSettings(s);
        return s;
    }
    const QByteArray fresh = QByteArray(SettingsFile::kHeader) + "\r\n\r\n";
};

TEST_F(SettingsFileTest, FirstStartCreatesTheHeaderAndTheDefaultsApply) {
    file.PrepareSettingsFile();
    EXPECT_EQ(Contents(), fresh);
    Settings s;
    file.LoadSettings(s);
    EXPECT_EQ(s.loadAtStartup, 0);
    EXPECT_EQ(s.sysTrayEnabled, 1);
    EXPECT_EQ(s.sampleEnabled, 1);
    EXPECT_EQ(s.saveDataMinutes, 720);
    EXPECT_EQ(s.appendData, 1);
    EXPECT_EQ(s.closeLineTest, 1);
    EXPECT_EQ(s.displayData, 1);
    EXPECT_EQ(s.playSound, 0);
    EXPECT_EQ(s.keepLog, 1);
    EXPECT_EQ(s.keepLogDays, 30);
    EXPECT_EQ(s.alarmEnabled, 1);
    EXPECT_EQ(s.alarmLimitMinutes, 120);
    EXPECT_EQ(s.intervalMinutes, 0);
    EXPECT_EQ(s.intervalSeconds, 1);
    EXPECT_EQ(s.lines, "");
    EXPECT_EQ(s.scanIntervalSeconds, 1);
}

TEST_F(SettingsFileTest, AWronglyHeadedEmptyOrGarbageFileIsReheadedAndItsValuesDropped) {
    for (const QByteArray& bad :
         {QByteArray("[Preferences]\r\nAlarm Limit=5\r\n"), QByteArray(),
          QByteArray("\x00\x01\xff garbage", 12), QByteArray(10'000'000, 'x')}) {
        Write(bad);
        file.PrepareSettingsFile();
        EXPECT_EQ(Contents(), fresh);
        Settings s;
        file.LoadSettings(s);
        EXPECT_EQ(s.alarmLimitMinutes, 120);
    }
}

TEST_F(SettingsFileTest, ACorrectlyHeadedFileIsLeftAlone) {
    const QByteArray kept = fresh + "[Preferences]\r\nAlarm Limit=5\r\n";
    Write(kept);
    file.PrepareSettingsFile();
    EXPECT_EQ(Contents(), kept);
}

TEST_F(SettingsFileTest, ValuesAreParsedAsLeadingNumbers) {
    const Settings s = Load(
        "SysTray Enabled= 1\r\nSave Data=12abc\r\nKeepLog Days=&H1E\r\nAlarm Limit=90.5\r\n"
        "Interval Minutes=2\r\nInterval Seconds=30\r\nDisplay Data=2\r\nLines=2,5,\r\n");
    EXPECT_EQ(s.sysTrayEnabled, 1);
    EXPECT_EQ(s.saveDataMinutes, 12);
    EXPECT_EQ(s.keepLogDays, 30);
    EXPECT_EQ(s.alarmLimitMinutes, 90);
    EXPECT_EQ(s.scanIntervalSeconds, 150);
    EXPECT_EQ(s.displayData, 2);  // stored as read; readers treat it as off
    EXPECT_EQ(s.lines, "2,5,");
    EXPECT_EQ(Load("Alarm Limit=91.5\r\n").alarmLimitMinutes, 92);
    EXPECT_EQ(Load("Save Data=abc\r\n").saveDataMinutes, 0);
}

TEST_F(SettingsFileTest, CloseLineTestFollowsTheKeyOrDefaultsToOne) {
    EXPECT_EQ(Load("Sample Enabled=0\r\n").closeLineTest, 1);
    EXPECT_EQ(Load("Close LineTest=0\r\n").closeLineTest, 0);
}

TEST_F(SettingsFileTest, NumbersThatDoNotFitTakeTheKeysDefault) {
    EXPECT_EQ(Load("SysTray Enabled=256\r\n").sysTrayEnabled, 1);
    EXPECT_EQ(Load("Alarm=-1\r\n").alarmEnabled, 1);
    EXPECT_EQ(Load("Save Data=99999999999\r\n").saveDataMinutes, 720);
    EXPECT_EQ(Load("Alarm Limit=1e999\r\n").alarmLimitMinutes, 120);
    const Settings s = Load("Interval Minutes=2000000000\r\nInterval Seconds=5\r\n");
    EXPECT_EQ(s.intervalMinutes, 0);
    EXPECT_EQ(s.intervalSeconds, 1);
    EXPECT_EQ(s.scanIntervalSeconds, 1);
}

TEST_F(SettingsFileTest, SaveWritesTheFourteenKeysInOrderAndUpdatesTheRecord) {
    file.PrepareSettingsFile();
    Settings s;
    SettingsControls c;
    c.chkIcon = c.chkDisplayData = c.optSample = c.chkAlarm = true;
    c.txtSaveData = "720";
    c.vsb1 = 720;
    c.txtMinutes = " 0";
    c.txtSeconds = "1";
    c.vsb3 = 1;
    c.txtDays = "30";
    c.vsbDays = 30;
    c.txtAlarm = "120";
    c.vsbAlarm = 120;
    c.txtLines = "1,2,";
    file.SaveSettings(s, c);
    EXPECT_EQ(Contents(), fresh +
                              "[Preferences]\r\nLoad @ startup= 0\r\nSysTray Enabled= 1\r\n"
                              "Display Data= 1\r\nPlay Sound= 0\r\nSample Enabled= 1\r\n"
                              "Save Data=720\r\nInterval Minutes= 0\r\nInterval Seconds=1\r\n"
                              "Append Data= 0\r\nKeep Log= 0\r\nKeepLog Days=30\r\nAlarm= 1\r\n"
                              "Alarm Limit=120\r\nLines=1,2,\r\n");
    EXPECT_EQ(s.saveDataMinutes, 720);
    EXPECT_EQ(s.closeLineTest, 0);
    EXPECT_EQ(s.lines, "1,2,");
    Settings back;
    file.LoadSettings(back);
    EXPECT_EQ(back.alarmLimitMinutes, 120);
    EXPECT_EQ(back.appendData, 0);
}

}  // namespace

// GetPrivateProfileStringA / WritePrivateProfileStringA on real files: the
// reading rules, where writes land, what they leave untouched, and damaged
// or huge files.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "platform/profile/PrivateProfile.h"

using namespace platform;

namespace {

constexpr const char* kIni = "vastrel.ini";
const std::string kHeader = "The following lines are required by Vastrel - do NOT edit or remove";

class PrivateProfileTest : public ::testing::Test {
protected:
    QString IniPath() const { return dir_.path() + "/" + kIni; }
    void WriteIni(const std::string& text) const {
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string ReadIni() const {
        QFile file(IniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
    }
    // Reads as the program does: a 1000-character buffer, only the returned
    // count of it used.
    std::string Get(const std::string& key, const std::string& section = "Preferences",
                    const std::string& defaultValue = "") const {
        std::vector<char> buffer(1000, '#');
        const DWORD count = profile_.GetPrivateProfileStringA(section, key, defaultValue,
                                                              buffer.data(), 1000, kIni);
        EXPECT_EQ(buffer[count], '\0');
        return std::string(buffer.data(), count);
    }
    BOOL Put(const std::string& key, const std::string& value,
             const std::string& section = "Preferences") {
        return profile_.WritePrivateProfileStringA(section, key, value, kIni);
    }

    QTemporaryDir dir_;
    PrivateProfile profile_{dir_.path()};
};

TEST_F(PrivateProfileTest, ReadingTrimsIgnoresCaseAndFallsBackToTheDefault) {
    EXPECT_EQ(Get("Alarm", "Preferences", "dflt"), "dflt");  // no file yet
    WriteIni(kHeader + "\r\n\r\n[Other]\r\nAlarm=7\r\nOnly=o\r\n[Preferences]\r\nAlarm= 1\r\n" +
             "Lines=\t 1,2, 3 \r\nSave Data  =720\r\nEmbedded=a=b\r\nEmpty=\r\n");
    const std::vector<std::vector<std::string>> cases = {
        // section, key, default, expected
        {"Preferences", "Alarm", "", "1"},
        {"preferences", "ALARM", "", "1"},
        {"PREFERENCES", "lines", "", "1,2, 3 "},  // only the CR of CR LF is removed
        {"Preferences", "Save Data", "", "720"},
        {"Preferences", "Embedded", "", "a=b"},
        {"Preferences", "Empty", "fallback", ""},
        {"Other", "Alarm", "", "7"},
        {"Preferences", "Only", "", ""},  // never taken from another section
        {"Preferences", "Missing", "dflt", "dflt"},
        {"Missing", "Alarm", "x", "x"},
    };
    for (const auto& c : cases) EXPECT_EQ(Get(c[1], c[0], c[2]), c[3]) << c[0] << "/" << c[1];
}

TEST_F(PrivateProfileTest, LongValuesAreCutToTheBuffer) {
    const std::string value(1500, 'v');
    WriteIni("[Preferences]\r\nLines=" + value + "\r\n");
    EXPECT_EQ(Get("Lines"), value.substr(0, 999));
    char tiny[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(profile_.GetPrivateProfileStringA("Preferences", "Lines", "", tiny, 4, kIni), 3u);
    EXPECT_EQ(std::string(tiny), "vvv");
    EXPECT_EQ(profile_.GetPrivateProfileStringA("Preferences", "Lines", "", tiny, 1, kIni), 0u);
    EXPECT_EQ(tiny[0], '\0');
    EXPECT_EQ(profile_.GetPrivateProfileStringA("Preferences", "No", "long default", tiny, 4, kIni),
              3u);
    EXPECT_EQ(std::string(tiny), "lon");
}

TEST_F(PrivateProfileTest, FirstOccurrenceWinsAndIsTheOneReplaced) {
    WriteIni("[Preferences]\nAlarm=1\nalarm=2\n[preferences]\nAlarm=3\nLines=9\n");
    EXPECT_EQ(Get("Alarm"), "1");
    EXPECT_EQ(Get("Lines"), "") << "only the first section of a name is read";
    ASSERT_TRUE(Put("Alarm", " 0"));
    EXPECT_EQ(ReadIni(), "[Preferences]\nAlarm= 0\nalarm=2\n[preferences]\nAlarm=3\nLines=9\n");
}

TEST_F(PrivateProfileTest, WritesCreateTheSectionAfterTheHeaderWithCrLf) {
    ASSERT_TRUE(Put("Load @ startup", " 0"));
    EXPECT_EQ(ReadIni(), "[Preferences]\r\nLoad @ startup= 0\r\n");
    const std::string header = kHeader + "\r\n\r\n";
    WriteIni(header);
    ASSERT_TRUE(Put("Load @ startup", " 0"));
    ASSERT_TRUE(Put("Lines", ""));
    EXPECT_EQ(ReadIni(), header + "[Preferences]\r\nLoad @ startup= 0\r\nLines=\r\n");
}

TEST_F(PrivateProfileTest, ReplacementKeepsPlaceAndNewKeysGoToTheEndOfTheirSection) {
    WriteIni(kHeader + "\r\n\r\n[Preferences]\r\nAlarm= 1\r\n; a note\r\nalarm limit=120\r\n" +
             "Lines=1,2\r\n\r\n[Telephony]\r\nAlarm=other\r\n");
    ASSERT_TRUE(Put("Alarm Limit", "90"));
    ASSERT_TRUE(Put("Alarm", " 0"));
    ASSERT_TRUE(Put("New", "n"));
    ASSERT_TRUE(Put("X", "1", "Telephony"));
    ASSERT_TRUE(Put("Key", "k", "Third"));
    EXPECT_EQ(ReadIni(), kHeader +
                             "\r\n\r\n[Preferences]\r\nAlarm= 0\r\n; a note\r\nAlarm Limit=90\r\n" +
                             "Lines=1,2\r\nNew=n\r\n\r\n[Telephony]\r\nAlarm=other\r\nX=1\r\n" +
                             "[Third]\r\nKey=k\r\n");
}

TEST_F(PrivateProfileTest, LineEndsOfTheFileAreKept) {
    WriteIni("[Preferences]\nAlarm=1");  // LF only, no end on the last line
    ASSERT_TRUE(Put("Lines", "2"));
    ASSERT_TRUE(Put("K", "v", "Next"));
    ASSERT_TRUE(Put("Alarm", "0"));
    EXPECT_EQ(ReadIni(), "[Preferences]\nAlarm=0\nLines=2\n[Next]\nK=v\n");
}

TEST_F(PrivateProfileTest, WritesThatWouldBreakTheFileAreRefused) {
    WriteIni("[Preferences]\r\nAlarm= 1\r\n");
    const std::vector<std::vector<std::string>> refused = {
        {"Preferences", "Alarm", "1\r\n[Evil]\r\nX=1"},
        {"Preferences", "Al=arm", "1"},
        {"Preferences", "Alarm\n", "1"},
        {"Preferences", "  ", "1"},
        {"Preferences", "[x]", "1"},
        {"Pre]ferences", "Alarm", "1"},
        {"", "Alarm", "1"}};
    for (const auto& r : refused) EXPECT_FALSE(Put(r[1], r[2], r[0])) << r[0] << "/" << r[1];
    EXPECT_FALSE(profile_.WritePrivateProfileStringA("Preferences", "Alarm", "1", ""));
    EXPECT_EQ(ReadIni(), "[Preferences]\r\nAlarm= 1\r\n");
    // A NUL ends the text, as it does for the C strings the callers pass.
    ASSERT_TRUE(Put("Alarm", std::string(" 0\0tail", 7)));
    EXPECT_EQ(ReadIni(), "[Preferences]\r\nAlarm= 0\r\n");
}

TEST_F(PrivateProfileTest, UnreadableFileIsNotReplaced) {
    QDir().mkpath(IniPath());  // a folder where the file should be
    EXPECT_FALSE(Put("Alarm", "1"));
    EXPECT_EQ(Get("Alarm", "Preferences", "d"), "d");
    EXPECT_TRUE(QFileInfo(IniPath()).isDir());
}

TEST_F(PrivateProfileTest, GarbageAndHugeFilesNeitherConfuseNorSlowDown) {
    std::string garbage;
    for (int i = 0; i < 65536; ++i) garbage += static_cast<char>((i * 2654435761u) >> 13);
    using namespace std::string_literals;
    WriteIni(garbage + "\n[Preferences]\r\nAl\0rm=1\r\nAlarm=x\0y\r\n"s + garbage);
    EXPECT_EQ(Get("Alarm"), "x");
    ASSERT_TRUE(Put("Lines", "4"));
    EXPECT_EQ(Get("Lines"), "4");
    EXPECT_EQ(ReadIni().substr(0, garbage.size()), garbage) << "unknown lines kept byte for byte";

    // One 10 MB line without a line end, then 10 MB of short lines.
    QElapsedTimer timer;
    timer.start();
    WriteIni(std::string(10'000'000, 'x'));
    ASSERT_TRUE(Put("Alarm", "1"));
    EXPECT_EQ(Get("Alarm"), "1");
    std::string many;
    while (many.size() < 10'000'000) many += "[S]\nk=v\n\n";
    WriteIni(many + "[Preferences]\nAlarm=2\n");
    ASSERT_TRUE(Put("Lines", "5"));
    EXPECT_EQ(Get("Alarm"), "2");
    EXPECT_LT(timer.elapsed(), 5000) << "profile calls on 10 MB files must stay fast";
}

}  // namespace

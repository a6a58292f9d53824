// GetPrivateProfileStringA / WritePrivateProfileStringA on real files: the
// reading rules, where writes land, what they leave untouched, and damaged
// or huge files.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "platform/profile/PrivateProfile.h"

using namespace platform;

namespace {

constexpr const char* kIni = "vastrel.ini";
constexpr const char* kHeader =
    "The following lines are required by Vastrel - do NOT edit or remove";

class PrivateProfileTest : public ::testing::Test {
protected:
    PrivateProfileTest() : profile_(dir_.path()) {}

    QString IniPath() const { return dir_.path() + "/" + kIni; }

    void WriteIni(const std::string& text) const {
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }

    std::string ReadIni() const {
        QFile file(IniPath());
        if (!file.open(QIODevice::ReadOnly)) return "<missing>";
        return file.readAll().toStdString();
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
    PrivateProfile profile_;
};

TEST_F(PrivateProfileTest, BareNamesResolveToTheSettingsDirectory) {
    EXPECT_EQ(profile_.PathOf("vastrel.ini"), dir_.path() + "/vastrel.ini");
    const QString elsewhere = dir_.path() + "/sub/other.ini";
    EXPECT_EQ(profile_.PathOf(elsewhere.toStdString()), elsewhere);

    ASSERT_TRUE(profile_.WritePrivateProfileStringA("S", "k", "v", elsewhere.toStdString()));
    char buffer[16];
    EXPECT_EQ(profile_.GetPrivateProfileStringA("S", "k", "", buffer, 16, elsewhere.toStdString()),
              1u);
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(PrivateProfileTest, ReadingSkipsBlanksAndIgnoresCase) {
    WriteIni(std::string(kHeader) + "\r\n\r\n[Preferences]\r\nAlarm= 1\r\n" +
             "Lines=\t 1,2, 3 \r\nSave Data  =720\r\n" + "Embedded=a=b\r\nEmpty=\r\n");
    EXPECT_EQ(Get("Alarm"), "1");
    EXPECT_EQ(Get("ALARM", "preferences"), "1");
    EXPECT_EQ(Get("lines", "PREFERENCES"), "1,2, 3 ") << "only the CR of CR LF is removed";
    EXPECT_EQ(Get("Save Data"), "720");
    EXPECT_EQ(Get("Embedded"), "a=b");
    EXPECT_EQ(Get("Empty", "Preferences", "fallback"), "");
}

TEST_F(PrivateProfileTest, MissingKeysSectionsAndFilesGiveTheDefault) {
    EXPECT_EQ(Get("Alarm", "Preferences", "dflt"), "dflt");  // no file yet
    WriteIni("[Other]\nAlarm=7\n[Preferences]\nLines=1\n");
    EXPECT_EQ(Get("Alarm"), "");
    EXPECT_EQ(Get("Alarm", "Preferences", "dflt"), "dflt");
    EXPECT_EQ(Get("Lines", "Missing", "x"), "x");
    EXPECT_EQ(Get("Alarm", "Other"), "7");
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
    EXPECT_EQ(
        profile_.GetPrivateProfileStringA("Preferences", "Nope", "long default", tiny, 4, kIni),
        3u);
    EXPECT_EQ(std::string(tiny), "lon");
    EXPECT_EQ(profile_.GetPrivateProfileStringA("Preferences", "Lines", "", nullptr, 4, kIni), 0u);
}

TEST_F(PrivateProfileTest, FirstOccurrenceWinsAndIsTheOneReplaced) {
    WriteIni("[Preferences]\nAlarm=1\nalarm=2\n[preferences]\nAlarm=3\nLines=9\n");
    EXPECT_EQ(Get("Alarm"), "1");
    EXPECT_EQ(Get("Lines"), "") << "only the first section of a name is read";
    ASSERT_TRUE(Put("Alarm", " 0"));
    EXPECT_EQ(ReadIni(), "[Preferences]\nAlarm= 0\nalarm=2\n[preferences]\nAlarm=3\nLines=9\n");
}

TEST_F(PrivateProfileTest, FirstWriteCreatesFileAndSectionWithCrLf) {
    ASSERT_TRUE(Put("Load @ startup", " 0"));
    ASSERT_TRUE(Put("SysTray Enabled", " 1"));
    EXPECT_EQ(ReadIni(), "[Preferences]\r\nLoad @ startup= 0\r\nSysTray Enabled= 1\r\n");
    EXPECT_EQ(Get("Load @ startup"), "0");
}

TEST_F(PrivateProfileTest, HeaderLinesStayAndTheSectionFollowsThem) {
    const std::string header = std::string(kHeader) + "\r\n\r\n";
    WriteIni(header);
    ASSERT_TRUE(Put("Load @ startup", " 0"));
    ASSERT_TRUE(Put("Save Data", "720"));
    ASSERT_TRUE(Put("Lines", ""));
    EXPECT_EQ(ReadIni(),
              header + "[Preferences]\r\nLoad @ startup= 0\r\nSave Data=720\r\nLines=\r\n");
}

TEST_F(PrivateProfileTest, ReplacementKeepsPlaceAndEverythingElse) {
    const std::string before =
        std::string(kHeader) +
        "\r\n\r\n[Preferences]\r\nAlarm= 1\r\n; a note\r\nalarm limit=120\r\n" +
        "Lines=1,2\r\n\r\n[Telephony]\r\nAlarm=other\r\n";
    WriteIni(before);
    ASSERT_TRUE(Put("Alarm Limit", "90"));
    ASSERT_TRUE(Put("Alarm", " 0"));
    EXPECT_EQ(ReadIni(), std::string(kHeader) +
                             "\r\n\r\n[Preferences]\r\nAlarm= 0\r\n; a note\r\nAlarm Limit=90\r\n" +
                             "Lines=1,2\r\n\r\n[Telephony]\r\nAlarm=other\r\n");
}

TEST_F(PrivateProfileTest, NewKeysGoToTheEndOfTheirSection) {
    WriteIni("[Preferences]\r\nAlarm= 1\r\n\r\n[Other]\r\nX=1\r\n");
    ASSERT_TRUE(Put("Lines", "3"));
    ASSERT_TRUE(Put("New", "n", "Other"));
    ASSERT_TRUE(Put("Key", "k", "Third"));
    EXPECT_EQ(ReadIni(),
              "[Preferences]\r\nAlarm= 1\r\nLines=3\r\n\r\n[Other]\r\nX=1\r\nNew=n\r\n"
              "[Third]\r\nKey=k\r\n");
}

TEST_F(PrivateProfileTest, LineEndsOfTheFileAreKept) {
    WriteIni("[Preferences]\nAlarm=1");  // LF only, no end on the last line
    ASSERT_TRUE(Put("Lines", "2"));
    ASSERT_TRUE(Put("K", "v", "Next"));
    EXPECT_EQ(ReadIni(), "[Preferences]\nAlarm=1\nLines=2\n[Next]\nK=v\n");
    ASSERT_TRUE(Put("Alarm", "0"));
    EXPECT_EQ(ReadIni(), "[Preferences]\nAlarm=0\nLines=2\n[Next]\nK=v\n");
}

TEST_F(PrivateProfileTest, WritesThatWouldBreakTheFileAreRefused) {
    WriteIni("[Preferences]\r\nAlarm= 1\r\n");
    EXPECT_FALSE(Put("Alarm", "1\r\n[Evil]\r\nX=1"));
    EXPECT_FALSE(Put("Al=arm", "1"));
    EXPECT_FALSE(Put("Alarm\n", "1"));
    EXPECT_FALSE(Put("  ", "1"));
    EXPECT_FALSE(Put("[x]", "1"));
    EXPECT_FALSE(Put("Alarm", "1", "Pre]ferences"));
    EXPECT_FALSE(Put("Alarm", "1", ""));
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

TEST_F(PrivateProfileTest, GarbageAndNulBytesNeitherCrashNorConfuse) {
    std::string garbage;
    for (int i = 0; i < 65536; ++i) garbage += static_cast<char>((i * 2654435761u) >> 13);
    using namespace std::string_literals;
    WriteIni(garbage + "\n[Preferences]\r\nAl\0rm=1\r\nAlarm=x\0y\r\n"s + garbage);
    EXPECT_EQ(Get("Alarm"), "x");
    ASSERT_TRUE(Put("Lines", "4"));
    EXPECT_EQ(Get("Lines"), "4");
    EXPECT_EQ(Get("Alarm"), "x");
    EXPECT_EQ(ReadIni().substr(0, garbage.size()), garbage)
        << "unknown lines are kept byte for byte";
}

TEST_F(PrivateProfileTest, HugeFilesAreHandledInLinearTime) {
    // One 10 MB line without a line end, then 10 MB of short lines.
    WriteIni(std::string(10'000'000, 'x'));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Get("Alarm", "Preferences", "d"), "d");
    ASSERT_TRUE(Put("Alarm", "1"));
    EXPECT_EQ(Get("Alarm"), "1");

    std::string many;
    many.reserve(10'000'000);
    while (many.size() < 10'000'000) many += "[S]\nk=v\n\n";
    WriteIni(many + "[Preferences]\nAlarm=2\n");
    EXPECT_EQ(Get("Alarm"), "2");
    ASSERT_TRUE(Put("Lines", "5"));
    EXPECT_EQ(Get("Lines"), "5");
    EXPECT_LT(timer.elapsed(), 5000) << "profile calls on 10 MB files must stay fast";
}

}  // namespace

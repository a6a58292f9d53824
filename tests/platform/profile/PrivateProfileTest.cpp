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

#include "NonRegularFiles.h"
#include "platform/profile/PrivateProfile.h"

using namespace platform;
using namespace std::string_literals;

namespace {

constexpr const char* kIni = "vastrel.ini";
const std::string kHeader = "The following lines are required by Vastrel - do NOT edit or remove";

class PrivateProfileTest : public ::testing::Test {
protected:
    void WriteIni(const std::string& text) const {
        QFile file(dir_.filePath(kIni));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string ReadIni() const {
        QFile file(dir_.filePath(kIni));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
    }
    // Reads as the program does: a 1000-character buffer, only the returned count of it used.
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

TEST_F(PrivateProfileTest, ReadingTrimsIgnoresCaseFirstWinsAndFallsBackToTheDefault) {
    EXPECT_EQ(Get("Alarm", "Preferences", "dflt"), "dflt");  // no file yet
    const std::string value(1500, 'v');
    WriteIni(kHeader + "\r\n\r\n[Other]\r\nAlarm=7\r\nOnly=o\r\n[Preferences]\r\nAlarm= 1\r\n" +
             "Lines=\t 1,2, 3 \r\nSave Data  =720\r\nEmbedded=a=b\r\nEmpty=\r\nalarm=2\r\n" +
             "Long=" + value + "\r\n[preferences]\r\nAlarm=3\r\nSecond=9\r\n");
    const std::vector<std::vector<std::string>> cases = {
        // section, key, default, expected
        {"Preferences", "Alarm", "", "1"},
        {"preferences", "ALARM", "", "1"},
        {"PREFERENCES", "lines", "", "1,2, 3 "},  // only the CR of CR LF is removed
        {"Preferences", "Save Data", "", "720"},
        {"Preferences", "Embedded", "", "a=b"},
        {"Preferences", "Empty", "fallback", ""},
        {"Preferences", "Long", "", value.substr(0, 999)},  // cut to the buffer
        {"Other", "Alarm", "", "7"},
        {"Preferences", "Only", "", ""},    // never taken from another section
        {"Preferences", "Second", "", ""},  // only the first section of a name is read
        {"Preferences", "Missing", "dflt", "dflt"},
        {"Missing", "Alarm", "x", "x"},
    };
    for (const auto& c : cases) EXPECT_EQ(Get(c[1], c[0], c[2]), c[3]) << c[0] << "/" << c[1];
    char tiny[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(profile_.GetPrivateProfileStringA("Preferences", "Long", "", tiny, 4, kIni), 3u);
    EXPECT_EQ(std::string(tiny), "vvv");
    EXPECT_EQ(profile_.GetPrivateProfileStringA("Preferences", "No", "long", tiny, 1, kIni), 0u);
    EXPECT_EQ(tiny[0], '\0');
}

TEST_F(PrivateProfileTest, WritesReplaceInPlaceAppendToTheirSectionAndKeepTheRest) {
    ASSERT_TRUE(Put("Load @ startup", " 0"));  // no file: the section, with CR LF
    EXPECT_EQ(ReadIni(), "[Preferences]\r\nLoad @ startup= 0\r\n");
    WriteIni(kHeader + "\r\n\r\n[Preferences]\r\nAlarm= 1\r\n; a note\r\nalarm limit=120\r\n" +
             "alarm=2\r\n\r\n[Telephony]\r\nAlarm=other\r\n");
    ASSERT_TRUE(Put("Alarm Limit", "90"));
    ASSERT_TRUE(Put("Alarm", std::string(" 0\0tail", 7)));  // a NUL ends the text
    ASSERT_TRUE(Put("New", ""));
    ASSERT_TRUE(Put("X", "1", "Telephony"));
    ASSERT_TRUE(Put("Key", "k", "Third"));
    EXPECT_EQ(ReadIni(), kHeader +
                             "\r\n\r\n[Preferences]\r\nAlarm= 0\r\n; a note\r\nAlarm Limit=90\r\n" +
                             "alarm=2\r\nNew=\r\n\r\n[Telephony]\r\nAlarm=other\r\nX=1\r\n" +
                             "[Third]\r\nKey=k\r\n");
    WriteIni("[Preferences]\nAlarm=1");  // LF only, no end on the last line
    ASSERT_TRUE(Put("Lines", "2"));
    ASSERT_TRUE(Put("K", "v", "Next"));
    EXPECT_FALSE(Put("Lines", "1\r\n[Evil]\r\nX=1"));  // refused: it would break the file
    const std::pair<const char*, const char*> refused[] = {
        {"Preferences", "Al=arm"}, {"Preferences", "Alarm\n"}, {"Preferences", "  "},
        {"Preferences", "[x]"},    {"Pre]ferences", "Alarm"},  {"", "Alarm"}};
    for (const auto& [section, key] : refused)
        EXPECT_FALSE(Put(key, "1", section)) << section << key;
    EXPECT_EQ(ReadIni(), "[Preferences]\nAlarm=1\nLines=2\n[Next]\nK=v\n");
}

TEST_F(PrivateProfileTest, CutGarbageAndHugeFilesNeitherConfuseNorSlowDown) {
    WriteIni("[Line2]\nName=Sales\r");  // found by fuzzing: cut off right after a CR
    ASSERT_TRUE(Put("Lines", "1,2,"));
    EXPECT_EQ(std::pair(Get("Name", "Line2"), Get("Lines")), std::pair("Sales"s, "1,2,"s));
    // Binary garbage around keys is in the fuzz seeds; here, that a write
    // keeps unknown bytes as they were.
    const std::string odd = "\x01\xff\x7f odd\r\n[Preferences]\r\nAl\0rm=1\r\nAlarm=x\0y\r\n"s;
    WriteIni(odd);
    EXPECT_EQ(Get("Alarm"), "x");
    ASSERT_TRUE(Put("Lines", "4"));
    EXPECT_EQ(Get("Lines"), "4");
    EXPECT_EQ(ReadIni().substr(0, odd.size()), odd) << "unknown lines kept byte for byte";

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

TEST_F(PrivateProfileTest, AFifoOrFolderReadsAsTheDefaultAndIsNeverWrittenAndFilesArePrivate) {
    const QString ini = dir_.filePath(kIni);
    const auto readsAsDefault = [&] {
        return Get("Alarm", "Preferences", "d") == "d" && !Put("Alarm", "1");
    };
    for (const bool folder : {false, true}) {
        ASSERT_TRUE(folder ? QDir().mkdir(ini) : MakeFifo(ini));
        EXPECT_EQ(ExitCodeWithin(5000, readsAsDefault), 1) << folder;
        EXPECT_TRUE(folder ? QDir().rmdir(ini) : IsFifo(ini) && QFile::remove(ini));
    }
    // Through a link the file it points to is replaced, never wider than 0600.
    QFile shared(dir_.filePath("shared.ini"));
    ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
    shared.close();
    ASSERT_TRUE(shared.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                      QFile::ReadOther));
    ASSERT_TRUE(QFile::link(shared.fileName(), dir_.filePath(kIni)));
    ASSERT_TRUE(Put("Alarm", "1"));
    EXPECT_TRUE(QFileInfo(dir_.filePath(kIni)).isSymLink());
    EXPECT_EQ(Get("Alarm"), "1");
    EXPECT_EQ(ModeOf(shared.fileName()), 0600);
    ASSERT_TRUE(QFile::remove(dir_.filePath(kIni)));
    ASSERT_TRUE(Put("Alarm", "2"));
    EXPECT_EQ(ModeOf(dir_.filePath(kIni)), 0600);
}

}  // namespace

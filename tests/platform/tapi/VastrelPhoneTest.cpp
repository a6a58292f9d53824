// vastrel-phone run as its own process against a running telephony service.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include "platform/tapi/TapiFactory.h"

using namespace platform;

namespace {

struct PhoneRun {
    int exitCode = -1;
    QByteArray out, err;
};

PhoneRun Phone(const QStringList& arguments) {
    QProcess process;  // killed by its pid if it does not finish
    process.start(qEnvironmentVariable("VASTREL_BIN_DIR") + "/vastrel-phone", arguments);
    if (!process.waitForFinished(10000))
        return ADD_FAILURE() << arguments.join(' ').toStdString(), PhoneRun{};
    // The service looks at the exchange once per pass of the event loop, as
    // a scan's ticks give it.
    QCoreApplication::processEvents();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// The test main points the XDG folders at a temporary home, which vastrel-phone inherits.
TEST(VastrelPhoneTest, RingsAnswersHangsUpAndBlocksTheLinesOfARunningSession) {
    const Paths paths = Paths::FromEnvironment(QCoreApplication::applicationDirPath());
    QFile ini(paths.settingsDir + "/telephon.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                ini.write("[Exchange]\nLines=3\nTraffic=none\n") > 0);
    ini.close();
    const auto service = CreateTapiService(paths);
    HLINEAPP app = 0;
    DWORD devices = 0;
    std::vector<DWORD> states;
    ASSERT_EQ(0, service->lineInitialize(
                     &app, 0,
                     [&](DWORD, DWORD message, DWORD_PTR, DWORD_PTR state, DWORD_PTR, DWORD_PTR) {
                         if (message == LINE_CALLSTATE) states.push_back(state);
                     },
                     "Pelmarsh", &devices));
    ASSERT_EQ(3u, devices);
    const auto open = [&](DWORD device, HLINE* hLine) {
        return service->lineOpen(app, device, hLine, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                                 LINEMEDIAMODE_DATAMODEM, nullptr);
    };

    const PhoneRun usage = Phone({"ring", "4"});
    EXPECT_EQ(2, usage.exitCode);
    EXPECT_TRUE(usage.err.startsWith("vastrel-phone: ") && usage.err.contains("lines are 1 to 3"));
    EXPECT_EQ(2, Phone({"ring", "1", "--name"}).exitCode);
    EXPECT_EQ(1, Phone({"answer", "1"}).exitCode);  // nothing to answer: a failure, no usage error
    ASSERT_EQ(0, Phone({"ring", "2", "--number", "0301234567", "--name", "Anna Adler"}).exitCode);
    ASSERT_EQ(0,
              Phone({"ring", "2", "--escaped", "--name", "A\\x00B\\tC", "--number=777"}).exitCode);
    EXPECT_EQ(QByteArray("2\toffering\t0301234567\tAnna Adler\n2\toffering\t777\tA\\x00B\\tC\n"),
              Phone({"calls"}).out);
    HLINE hLine = 0;
    ASSERT_EQ(0, open(1, &hLine));
    std::vector<BYTE> list(64, 0);
    WriteDword(list.data(), 64, 0, 64);
    ASSERT_EQ(0, service->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, list.data()));
    EXPECT_EQ(2u, ReadDword(list.data(), 64, linecalllist::dwCallsNumEntries));
    EXPECT_EQ(0, service->lineClose(hLine));
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), std::size_t{2}, 2000);

    ASSERT_EQ(0, Phone({"answer", "2"}).exitCode);
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), std::size_t{4}, 3000);  // seen before it ends
    EXPECT_TRUE(Phone({"calls"}).out.startsWith("2\tconnected\t0301234567\tAnna Adler\n"));
    ASSERT_EQ(0, Phone({"hangup", "2"}).exitCode);
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), std::size_t{8}, 3000);
    EXPECT_EQ(std::tuple(states[2], states[4], states[7]),
              std::tuple(LINECALLSTATE_CONNECTED, LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE));
    ASSERT_EQ(0, Phone({"block", "3"}).exitCode);
    EXPECT_EQ(LINEERR_RESOURCEUNAVAIL, open(2, &hLine));
    ASSERT_EQ(0, Phone({"unblock", "3"}).exitCode);
    ASSERT_EQ(0, open(2, &hLine));
    EXPECT_EQ(0, service->lineClose(hLine));
    EXPECT_EQ(0, service->lineShutdown(app));
}

}  // namespace

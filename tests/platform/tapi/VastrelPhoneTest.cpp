// vastrel-phone run as its own process against a running telephony service.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

#include "platform/tapi/TapiFactory.h"
#include "platform/tapi/sim/ExchangeStore.h"

using namespace platform;

namespace {

struct PhoneRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class VastrelPhoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test main points the XDG folders at a temporary home, which
        // vastrel-phone inherits.
        paths_ = Paths::FromEnvironment(QCoreApplication::applicationDirPath());
        WriteTelephonIni("[Exchange]\nLines=3\nTraffic=none\n");
        QFile::remove(sim::ExchangeStore::DefaultPath(paths_.runtimeDir));
    }

    void WriteTelephonIni(const QByteArray& text) {
        QFile ini(paths_.settingsDir + "/telephon.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(text);
    }

    static QString Program() {
        QString dir = qEnvironmentVariable("VASTREL_BIN_DIR");
        if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath();
        return dir + "/vastrel-phone";
    }

    PhoneRun Phone(const QStringList& arguments) {
        QProcess process;  // killed by its pid if it does not finish
        process.start(Program(), arguments);
        PhoneRun run;
        if (!process.waitForFinished(10000)) {
            ADD_FAILURE() << "vastrel-phone did not finish: " << Program().toStdString();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    Paths paths_;
};

TEST_F(VastrelPhoneTest, RingAnswerHangupReachARunningSession) {
    const auto service = CreateTapiService(paths_);
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

    ASSERT_EQ(0, Phone({"ring", "2", "--number", "0301234567", "--name", "Anna Adler"}).exitCode);
    ASSERT_EQ(0, Phone({"ring", "2", "--number=777"}).exitCode);
    const PhoneRun calls = Phone({"calls"});
    EXPECT_EQ(QByteArray("2\toffering\t0301234567\tAnna Adler\n2\toffering\t777\t\n"), calls.out);

    HLINE hLine = 0;
    ASSERT_EQ(0, service->lineOpen(app, 1, &hLine, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                                   LINEMEDIAMODE_DATAMODEM, nullptr));
    std::vector<BYTE> list(64, 0);
    WriteDword(list.data(), 64, 0, 64);
    ASSERT_EQ(0, service->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, list.data()));
    EXPECT_EQ(2u, ReadDword(list.data(), 64, linecalllist::dwCallsNumEntries));
    EXPECT_EQ(0, service->lineClose(hLine));
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), std::size_t{2}, 2000);

    ASSERT_EQ(0, Phone({"answer", "2"}).exitCode);
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), std::size_t{4}, 3000);
    EXPECT_EQ(LINECALLSTATE_CONNECTED, states[2]);
    EXPECT_EQ(QByteArray("2\tconnected\t0301234567\tAnna Adler\n2\tconnected\t777\t\n"),
              Phone({"calls"}).out);

    ASSERT_EQ(0, Phone({"hangup", "2"}).exitCode);
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), std::size_t{8}, 3000);
    EXPECT_EQ(LINECALLSTATE_DISCONNECTED, states[4]);
    EXPECT_EQ(LINECALLSTATE_IDLE, states[7]);
    EXPECT_TRUE(Phone({"calls"}).out.isEmpty());
    EXPECT_EQ(0, service->lineShutdown(app));
}

TEST_F(VastrelPhoneTest, BlockMakesLineOpenFailUntilUnblocked) {
    const auto service = CreateTapiService(paths_);
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, service->lineInitialize(&app, 0, {}, "Pelmarsh", &devices));
    const auto open = [&] {
        HLINE hLine = 0;
        const LONG result =
            service->lineOpen(app, 2, &hLine, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                              LINEMEDIAMODE_DATAMODEM, nullptr);
        if (result == 0) service->lineClose(hLine);
        return result;
    };
    EXPECT_EQ(0, open());
    ASSERT_EQ(0, Phone({"block", "3"}).exitCode);
    EXPECT_EQ(LINEERR_RESOURCEUNAVAIL, open());
    ASSERT_EQ(0, Phone({"unblock", "3"}).exitCode);
    EXPECT_EQ(0, open());
    EXPECT_EQ(0, service->lineShutdown(app));
}

TEST_F(VastrelPhoneTest, BadUsageExitsWithTwoAndSaysWhy) {
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"dial", "1"}, QStringList{"ring"}, QStringList{"ring", "0"},
          QStringList{"ring", "4"}, QStringList{"answer", "x1"}, QStringList{"hangup", "-1"},
          QStringList{"block", "99999999999999999999"}, QStringList{"ring", "1", "--color"},
          QStringList{"ring", "1", "--name"}, QStringList{"calls", "extra"}}) {
        const PhoneRun run = Phone(arguments);
        EXPECT_EQ(2, run.exitCode) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("vastrel-phone: ")) << run.err.toStdString();
    }
    EXPECT_TRUE(Phone({"ring", "4"}).err.contains("lines are 1 to 3"));
    EXPECT_TRUE(Phone({"calls"}).out.isEmpty());  // nothing was rung by any of them

    const PhoneRun help = Phone({"--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(help.out.contains("ring LINE"));
    // Nothing to answer or hang up is a failure, not a usage error.
    EXPECT_EQ(1, Phone({"answer", "1"}).exitCode);
    EXPECT_EQ(1, Phone({"hangup", "1"}).exitCode);
}

TEST_F(VastrelPhoneTest, EscapedNamesCarryAnyByte) {
    ASSERT_EQ(
        0,
        Phone({"ring", "1", "--escaped", "--name", "A\\x00B\\tC", "--number", "\\x41"}).exitCode);
    sim::ExchangeStore store(sim::ExchangeStore::DefaultPath(paths_.runtimeDir));
    store.Refresh();
    ASSERT_EQ(1u, store.State().Calls().size());
    EXPECT_EQ(std::string("A\0B\tC", 5), store.State().Calls()[0].call.name);
    EXPECT_EQ("A", store.State().Calls()[0].call.number);
    EXPECT_EQ(QByteArray("1\toffering\tA\tA\\x00B\\tC\n"), Phone({"calls"}).out);
}

TEST_F(VastrelPhoneTest, FollowsTheLineCountOfTelephonIni) {
    WriteTelephonIni("[Exchange]\nLines=0\n");
    EXPECT_EQ(2, Phone({"ring", "1"}).exitCode);
    WriteTelephonIni("[Provider]\nName=sip\n");
    EXPECT_EQ(1, Phone({"ring", "1"}).exitCode);
}

}  // namespace

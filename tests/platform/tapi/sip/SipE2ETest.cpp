// The built program on the SIP provider with three lines, against a real
// phone system (Kamailio with presence on 127.0.0.1, sipp callers): the data
// log and In.log are read back, standard error is read for what it says.
#include <gtest/gtest.h>

#include <QTest>

#include "PresenceLab.h"
#include "ProgramHome.h"

namespace {

constexpr const char* kUnmonitored = "Line cannot be monitored";

// The data log's records written after `from`, of line n.
QList<QByteArray> Records(const QByteArray& log, int line, qsizetype from = 0) {
    QList<QByteArray> records;
    const QByteArray start = "\r\n " + QByteArray::number(line) + "\t";
    for (qsizetype at = log.indexOf(start, from); at >= 0; at = log.indexOf(start, at + 1))
        records << log.mid(at + 2, log.indexOf("\r\n", at + 2) - at - 2);
    return records;
}

// A session bus of its own with a real Secret Service (gnome-keyring) on it,
// unlocked; both stop by their PIDs with this object.
class Keyring {
public:
    bool Start(QProcessEnvironment& env) {
        QProcess* bus =
            processes_.Start("dbus-daemon", {"--session", "--nofork", "--print-address=1"}, env,
                             true, QProcess::SeparateChannels);
        if (bus == nullptr || !e2e::WaitFor([&] { return bus->canReadLine(); }, 5000)) return false;
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString(bus->readLine()).trimmed());
        QProcess* keyring = processes_.Start("gnome-keyring-daemon",
                                             {"--foreground", "--unlock", "--components=secrets"},
                                             env, true, QProcess::SeparateChannels);
        if (keyring == nullptr) return false;
        keyring->write("keyring password");
        keyring->closeWriteChannel();
        return e2e::WaitFor(
            [&] {
                return sandbox::RunCommand(
                           "gdbus",
                           {"call", "--session", "-d", "org.freedesktop.DBus", "-o",
                            "/org/freedesktop/DBus", "-m", "org.freedesktop.DBus.NameHasOwner",
                            "org.freedesktop.secrets"},
                           env)
                    .out.contains("true");
            },
            5000);
    }
    static bool Available() {
        return !QStandardPaths::findExecutable("gnome-keyring-daemon").isEmpty() &&
               !QStandardPaths::findExecutable("dbus-daemon").isEmpty();
    }

private:
    sandbox::Processes processes_;
};

class SipEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PresenceLab::Available())
            GTEST_SKIP() << "kamailio, kamailio-presence-modules or sipp missing";
        ASSERT_TRUE(lab_.AddSubscriber("vastrel", "s3cret"));
        ASSERT_TRUE(lab_.StartKamailio()) << lab_.Diagnostics().toStdString();
    }
    QProcess* Start(const QByteArray& password) {
        WriteTelephonIni(password);
        home_.Write("config/vastrel.ini", QByteArray(e2e::ProgramHome::kHeader) +
                                              "[Preferences]\r\nSave Data=0\r\nLines=1,2,3,\r\n");
        return home_.Start({}, true, QProcess::SeparateChannels);
    }
    void WriteTelephonIni(const QByteArray& password) {
        home_.Write("config/telephon.ini",
                    "[Provider]\nName=sip\n[Sip]\nServer=" + lab_.Domain().toUtf8() +
                        "\nDomain=" + lab_.Domain().toUtf8() + "\nUser=vastrel\n" +
                        (password.isEmpty() ? QByteArray() : "Password=" + password + "\n") +
                        "Line1=101\nLine1Name=Front desk\nLine2=102\n"
                        "Line3=103\n");
        QFile::setPermissions(home_.Path("config/telephon.ini"),
                              QFile::ReadOwner | QFile::WriteOwner);
    }
    // Until the data log gains a record of line n that contains text.
    bool WaitRecord(int line, const QByteArray& text, int ms, qsizetype from = 0) {
        return e2e::WaitFor(
            [&] {
                for (const QByteArray& r : Records(home_.DataLog(), line, from))
                    if (r.contains(text)) return true;
                return false;
            },
            ms);
    }
    PresenceLab lab_;
    e2e::ProgramHome home_;
};

TEST_F(SipEndToEnd, CallsAreTimedAndLoggedAndAServerRestartIsOvercome) {
    ASSERT_TRUE(lab_.StartExtension(1500, 2));
    QProcess* vastrel = Start("s3cret");
    // Until the subscriptions are up (the first scans), the lines cannot be opened.
    ASSERT_TRUE(WaitRecord(1, "\t  0\t", 10000)) << home_.DataLog().toStdString();
    const qsizetype up = home_.DataLog().size();

    QProcess* answered = lab_.Call("102", "5551234", "Ada", 3000);
    QProcess* cancelled = lab_.Call("103", "0301234567", "Bob", 1000, /*cancel=*/true);
    ASSERT_TRUE(PresenceLab::Finished(answered, 10000)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(PresenceLab::Finished(cancelled, 10000));
    const qsizetype afterCalls = home_.DataLog().size();
    ASSERT_TRUE(WaitRecord(2, "\t  0\t", 5000, afterCalls));
    const QList<QByteArray> line2 = Records(home_.DataLog(), 2);
    const auto online = std::count_if(line2.begin(), line2.end(),
                                      [](const QByteArray& r) { return r.contains("\t  1\t"); });
    // Rang 1.5 s and talked 3 s: about 4 scans online, then idle again.
    EXPECT_GE(online, 3);
    EXPECT_LE(online, 7);
    const QByteArray in = home_.Read("program/In.log");
    EXPECT_EQ(in.count("5551234"), 1) << in.toStdString();
    EXPECT_EQ(in.count("0301234567"), 1);
    EXPECT_FALSE(home_.DataLog().mid(up).contains(kUnmonitored));

    lab_.StopKamailio();
    ASSERT_TRUE(WaitRecord(1, kUnmonitored, 10000));
    ASSERT_TRUE(lab_.StartKamailio());
    const qsizetype back = home_.DataLog().size();
    EXPECT_TRUE(WaitRecord(1, "\t  0\t", 5000, back)) << "not back within 5 s";
    EXPECT_TRUE(e2e::ProgramHome::EndsOnSigterm(vastrel));
    EXPECT_EQ(vastrel->readAllStandardError().count("vastrel: SIP"), 0);
}

TEST_F(SipEndToEnd, AWrongPasswordLeavesEveryLineUnmonitoredAndIsSaidOnce) {
    QProcess* vastrel = Start("wrong");
    ASSERT_TRUE(WaitRecord(3, kUnmonitored, 10000));
    QTest::qWait(3000);
    for (int line = 1; line <= 3; ++line) {
        const QList<QByteArray> records = Records(home_.DataLog(), line);
        EXPECT_TRUE(std::all_of(records.begin(), records.end(),
                                [](const QByteArray& r) { return r.contains(kUnmonitored); }));
    }
    EXPECT_TRUE(e2e::ProgramHome::EndsOnSigterm(vastrel));
    const QByteArray err = vastrel->readAllStandardError();
    EXPECT_EQ(err.count("vastrel: "), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("did not accept the password"));
    EXPECT_FALSE(err.contains("wrong"));
}

// The password kept with --sip-password in a real keyring is the one used:
// telephon.ini holds none.
TEST_F(SipEndToEnd, ThePasswordKeptInTheDesktopKeyringIsUsed) {
    if (!Keyring::Available()) GTEST_SKIP() << "gnome-keyring or dbus-daemon missing";
    Keyring keyring;
    ASSERT_TRUE(keyring.Start(home_.Env()));
    WriteTelephonIni({});
    QProcess store;
    store.setProcessEnvironment(home_.Env());
    store.start(home_.Program(), {"--sip-password"});
    store.write("s3cret\n");
    store.closeWriteChannel();
    ASSERT_TRUE(store.waitForFinished(10000 * sandbox::Slowdown()));
    const QByteArray said = store.readAllStandardError();
    ASSERT_EQ(store.exitCode(), 0) << said.toStdString();
    EXPECT_FALSE(said.contains("s3cret"));
    EXPECT_FALSE(home_.Read("config/telephon.ini").contains("s3cret"));
    QProcess* vastrel = Start({});
    EXPECT_TRUE(WaitRecord(3, "\t  0\t", 10000)) << vastrel->readAllStandardError().toStdString();
    EXPECT_TRUE(e2e::ProgramHome::EndsOnSigterm(vastrel));
}

}  // namespace

// The lab for the SIP dialog-event provider, checked with sipp as the
// subscriber: Kamailio wants digest credentials, then reports a call to the
// extension; restarted, it has forgotten every subscription; the scripted
// notifier sends what it is given, in order, inside the dialog.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "PresenceLab.h"

namespace {

// From each message, every capture of pattern, joined by spaces.
QStringList Captured(const QList<QByteArray>& messages, const QString& pattern) {
    QStringList found;
    for (const QByteArray& message : messages) {
        QStringList each;
        for (const auto& m : QRegularExpression(pattern).globalMatch(QString::fromUtf8(message)))
            each << m.captured(1);
        found << each.join(' ');
    }
    return found;
}
bool Increasing(const QStringList& numbers) {
    for (qsizetype i = 1; i < numbers.size(); ++i)
        if (numbers[i].toInt() <= numbers[i - 1].toInt()) return false;
    return !numbers.isEmpty();
}

class PresenceLabTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PresenceLab::Available())
            GTEST_SKIP() << "kamailio, kamailio-presence-modules or sipp missing";
        ASSERT_TRUE(lab_.AddSubscriber("alice", "se:cret"));
        ASSERT_TRUE(lab_.StartKamailio()) << lab_.Diagnostics().toStdString();
    }
    bool Subscribed(QProcess* watcher) {  // its first NOTIFY came
        return PresenceLab::WaitFor(
            [&] { return !lab_.Messages(watcher, "received", "NOTIFY").isEmpty(); }, 5000);
    }
    PresenceLab lab_;
};

TEST_F(PresenceLabTest, AnAuthenticatedWatcherSeesACallRingBeAnsweredAndEnd) {
    ASSERT_TRUE(lab_.StartExtension(1000, 1));
    QProcess* watcher = lab_.Watch("101", "alice", "se:cret", 10000);
    ASSERT_TRUE(Subscribed(watcher)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(PresenceLab::Finished(lab_.Call("101", "5551234", "Ada", 800), 10000));
    ASSERT_TRUE(PresenceLab::Finished(watcher, 15000)) << lab_.Diagnostics().toStdString();

    const auto answers = lab_.Messages(watcher, "received", "SIP/2.0");
    ASSERT_EQ(answers.size(), 4);  // subscribe and unsubscribe, each challenged
    EXPECT_TRUE(answers[0].startsWith("SIP/2.0 401"));
    EXPECT_TRUE(answers[0].contains(R"(realm="127.0.0.1")") && answers[0].contains("qop=\"auth\""));
    EXPECT_TRUE(answers[1].startsWith("SIP/2.0 200"));
    const auto notifies = lab_.Messages(watcher, "received", "NOTIFY");
    EXPECT_EQ(Captured(notifies, "<state>(\\w+)<"),
              (QStringList{"", "early", "confirmed", "terminated", "terminated"}));
    EXPECT_TRUE(Increasing(Captured(notifies.mid(1), "version=\"(\\d+)\"")));
    EXPECT_TRUE(notifies.value(1).contains("<identity>sip:5551234@127.0.0.1:"));
    EXPECT_TRUE(notifies.value(4).contains("Subscription-State: terminated"));
}

TEST_F(PresenceLabTest, AWrongPasswordIsChallengedAgainAndARestartForgetsSubscriptions) {
    QProcess* intruder = lab_.Watch("101", "alice", "secret", 1000);
    ASSERT_TRUE(
        PresenceLab::WaitFor([&] { return intruder->state() == QProcess::NotRunning; }, 10000));
    const auto refused = lab_.Messages(intruder, "received", "SIP/2.0");
    EXPECT_GE(refused.size(), 2);
    EXPECT_EQ(lab_.Messages(intruder, "received", "SIP/2.0 401").size(), refused.size());

    QProcess* watcher = lab_.Watch("101", "alice", "se:cret", 3000);
    ASSERT_TRUE(Subscribed(watcher));
    lab_.StopKamailio();
    ASSERT_TRUE(lab_.StartKamailio()) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(lab_.StartExtension(300, 1));
    ASSERT_TRUE(PresenceLab::Finished(lab_.Call("101", "5551234", "Ada", 300), 10000));
    ASSERT_TRUE(PresenceLab::Finished(watcher, 15000)) << lab_.Diagnostics().toStdString();
    EXPECT_EQ(lab_.Messages(watcher, "received", "NOTIFY").size(), 1);
    const auto answers = lab_.Messages(watcher, "received", "SIP/2.0");
    EXPECT_TRUE(answers.value(answers.size() - 1).startsWith("SIP/2.0 481"));
}

TEST_F(PresenceLabTest, TheNotifierSendsItsScriptInOneDialog) {
    using L = PresenceLab;
    const QByteArray ringing = L::Dialog("a1", "early", "sip:5551234@127.0.0.1", "Ada");
    QProcess* notifier = lab_.StartNotifier(
        {"alice",
         "secret",
         600,
         {L::Notify({}), L::Notify(L::DialogInfo(7, "full", ringing)),
          L::Notify(L::DialogInfo(8, "partial", L::Dialog("a1", "terminated"))), L::Answer(200, 0),
          L::Notify(L::DialogInfo(9, "full", {}), 0, "terminated;reason=timeout")}});
    ASSERT_NE(notifier, nullptr);
    QProcess* watcher = lab_.Watch("101", "alice", "secret", 5000, 1, lab_.NotifierDomain());
    ASSERT_TRUE(L::Finished(watcher, 10000)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(L::Finished(notifier, 5000)) << lab_.Diagnostics().toStdString();

    const auto notifies = lab_.Messages(watcher, "received", "NOTIFY");
    EXPECT_EQ(Captured(notifies, "<state>(\\w+)<"), (QStringList{"", "early", "terminated", ""}));
    EXPECT_EQ(Captured(notifies, "version=\"(\\d+)\""), (QStringList{"", "7", "8", "9"}));
    EXPECT_TRUE(notifies.value(1).contains(R"(<identity display="Ada">sip:5551234@)"));
    EXPECT_TRUE(Increasing(Captured(notifies, "CSeq: (\\d+)")));
    const auto subscribes = lab_.Messages(notifier, "received", "SUBSCRIBE");
    ASSERT_EQ(subscribes.size(), 3);  // challenged, with credentials, unsubscribe
    const QStringList callIds = Captured(subscribes + notifies, "Call-ID: (\\S+)");
    EXPECT_EQ(callIds.count(callIds.first()), callIds.size());
}

}  // namespace

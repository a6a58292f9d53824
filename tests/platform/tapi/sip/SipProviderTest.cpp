// The SIP dialog-event provider: its digest answers against the RFCs'
// examples, then against a real phone system (Kamailio with presence on
// 127.0.0.1, sipp callers) and a scripted notifier that sends documents out
// of order, repeated, partial and stale.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "PresenceLab.h"
#include "platform/tapi/sip/DigestAuth.h"
#include "platform/tapi/sip/SipProvider.h"

using namespace platform;
using namespace platform::sip;

namespace {

TEST(DigestAuth, AnswersMatchThePublishedExamples) {
    const auto challenge = [](std::vector<std::string_view> params) {
        return DigestChallenge::FromParams(params);
    };
    // RFC 2617, 3.5.
    const auto rfc2617 = challenge({R"(realm="testrealm@host.com")", "qop=\"auth,auth-int\"",
                                    R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093")",
                                    R"(opaque="5ccc069c403ebaf9f0171e9517f40e41")"});
    ASSERT_TRUE(rfc2617);
    EXPECT_NE(DigestAuth::Answer(*rfc2617, "Mufasa", "Circle Of Life", "GET", "/dir/index.html",
                                 "0a4f113b", 1)
                  .find(R"(response="6629fae49393a05397450978507c4ef1")"),
              std::string::npos);
    // RFC 7616, 3.9.1: the same request answered with MD5 and with SHA-256.
    for (const auto& [algorithm, response] :
         {std::pair("MD5", "8ca523f5e9506fed4657c9700eebdbec"),
          std::pair("SHA-256",
                    "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1")}) {
        const std::string algo = std::string("algorithm=") + algorithm;
        const auto rfc7616 =
            challenge({R"(realm="http-auth@example.org")", "qop=\"auth, auth-int\"", algo,
                       R"(nonce="7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v")",
                       R"(opaque="FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS")"});
        ASSERT_TRUE(rfc7616);
        const std::string answer =
            DigestAuth::Answer(*rfc7616, "Mufasa", "Circle of Life", "GET", "/dir/index.html",
                               "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", 1);
        EXPECT_NE(answer.find(std::string("response=\"") + response + "\""), std::string::npos)
            << answer;
        EXPECT_NE(answer.find("nc=00000001"), std::string::npos);
    }
    // What cannot be answered is not tried.
    EXPECT_FALSE(challenge({"realm=r", "nonce=n", "algorithm=SHA-512-256"}));
    EXPECT_FALSE(challenge({"realm=r", "nonce=n", "qop=auth-int"}));
    EXPECT_FALSE(challenge({"realm=r"}));
    const auto stale = challenge({"realm=r", "nonce=n", "stale=TRUE"});
    EXPECT_TRUE(stale && stale->stale && !stale->qopAuth);
}

SipConfig Config(const QString& server, int lines, const std::string& password,
                 int firstLine = 101) {
    TelephonySection section("Sip");
    section.Add("Server", server.toStdString());
    section.Add("Domain", server.toStdString());  // as the lab's server names its extensions
    section.Add("User", "vastrel");
    section.Add("Password", password);
    for (int n = 1; n <= lines; ++n)
        section.Add("Line" + std::to_string(n), std::to_string(firstLine + n - 1));
    return SipConfig::Read(section, /*filePrivate=*/true);
}

// No desktop keyring in tests: the password comes from the configuration.
void NoKeyring(const QString&, QObject*, Keyring::Found found) {
    found(std::nullopt);
}

// The calls on a device as the scan would read them: "state number" each.
std::string Calls(const SipProvider& provider, DWORD device) {
    std::string text;
    for (const CallId id : provider.CallsOn(device)) {
        const ProviderCall* call = provider.FindCall(id);
        if (!text.empty()) text += ",";
        text += call->state == LINECALLSTATE_OFFERING    ? "offering " + call->number
                : call->state == LINECALLSTATE_CONNECTED ? std::string("connected")
                                                         : std::string("other");
    }
    return text;
}

class SipServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PresenceLab::Available())
            GTEST_SKIP() << "kamailio, kamailio-presence-modules or sipp missing";
        ASSERT_TRUE(lab_.AddSubscriber("vastrel", "se:cret"));
    }
    void Watch(int lines, const std::string& password = "se:cret") {
        ASSERT_TRUE(lab_.StartKamailio()) << lab_.Diagnostics().toStdString();
        provider_ = std::make_unique<SipProvider>(
            Config(lab_.Domain(), lines, password), &NoKeyring,
            [this](const std::string& text) { reports_.push_back(text); });
        provider_->SetActive(true);
    }
    ::testing::AssertionResult AllActive(int ms) {
        if (PresenceLab::WaitFor(
                [&] { return provider_->ActiveCount() == provider_->DeviceCount(); }, ms))
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << provider_->ActiveCount() << " active";
        for (const std::string& report : reports_) failure << "\n" << report;
        return failure;
    }
    bool WaitCalls(DWORD device, const std::string& calls, int ms) {
        return PresenceLab::WaitFor([&] { return Calls(*provider_, device) == calls; }, ms);
    }
    PresenceLab lab_;
    std::unique_ptr<SipProvider> provider_;
    std::vector<std::string> reports_;
};

TEST_F(SipServer, ACallRingsIsAnsweredAndEndsAndACancelledOneEndsToo) {
    Watch(3);
    ASSERT_TRUE(AllActive(5000)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(lab_.StartExtension(1500, 2));
    QProcess* call = lab_.Call("101", "5551234", "Ada", 2000);
    EXPECT_TRUE(WaitCalls(0, "offering 5551234", 3000));
    EXPECT_TRUE(WaitCalls(0, "connected", 3000));
    EXPECT_EQ(Calls(*provider_, 1) + Calls(*provider_, 2), "");
    ASSERT_TRUE(PresenceLab::Finished(call, 8000)) << lab_.Diagnostics().toStdString();
    EXPECT_TRUE(WaitCalls(0, "", 3000));
    QProcess* cancelled = lab_.Call("102", "0301234567", "Bob", 800, /*cancel=*/true);
    EXPECT_TRUE(WaitCalls(1, "offering 0301234567", 3000));
    ASSERT_TRUE(PresenceLab::Finished(cancelled, 8000)) << lab_.Diagnostics().toStdString();
    EXPECT_TRUE(WaitCalls(1, "", 3000));
    EXPECT_TRUE(reports_.empty()) << reports_.front();
}

// Each way a server may ask for credentials: 401 or 407, MD5 or SHA-256,
// with or without qop, and nonces that go stale between refreshes.
TEST_F(SipServer, EveryDigestVariantIsAnsweredAndAWrongPasswordIsSaidOnce) {
    const PresenceLab::Auth variants[] = {
        {"SHA-256", true, false, 300}, {"MD5", false, true, 300}, {"SHA-256", true, true, 2}};
    for (const PresenceLab::Auth& auth : variants) {
        lab_.SetAuth(auth);
        Watch(2);
        EXPECT_TRUE(AllActive(5000)) << auth.algorithm.toStdString() << " " << auth.proxy;
        provider_.reset();
        lab_.StopKamailio();
    }
    lab_.SetAuth({});
    Watch(3, "wrong");
    QTest::qWait(3000);
    EXPECT_EQ(provider_->ActiveCount(), 0u);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_NE(reports_[0].find("did not accept the password of vastrel@127.0.0.1"),
              std::string::npos);
    EXPECT_EQ(reports_[0].find("wrong"), std::string::npos);  // never the password itself
}

TEST_F(SipServer, AServerThatGoesAwayClosesTheLinesAndItsReturnBringsTheTrueState) {
    Watch(3);
    ASSERT_TRUE(AllActive(5000));
    ASSERT_TRUE(lab_.StartExtension(300, 1));
    QProcess* call = lab_.Call("103", "5551234", "Ada", 20000);
    ASSERT_TRUE(WaitCalls(2, "connected", 5000)) << lab_.Diagnostics().toStdString();
    lab_.StopKamailio();
    EXPECT_TRUE(PresenceLab::WaitFor([&] { return provider_->ActiveCount() == 0; },
                                     SipProvider::kProbeUpMs + 2000));
    ASSERT_TRUE(lab_.StartKamailio());
    QElapsedTimer back;
    back.start();
    // The restarted server has forgotten the call, so the line is idle.
    EXPECT_TRUE(AllActive(5000));
    EXPECT_TRUE(WaitCalls(2, "", 5000 - static_cast<int>(back.elapsed())));
    std::printf("lines back %lld ms after the server\n", static_cast<long long>(back.elapsed()));
    SipLab::Stop(call);
}

TEST_F(SipServer, TwoHundredFiftySixExtensionsAreAllWatchedWithinThirtySeconds) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer clock;
    clock.start();
    Watch(256);
    ASSERT_TRUE(AllActive(30000)) << provider_->ActiveCount() << " active";
    const qint64 ms = clock.elapsed();
    QTest::qWait(2000);  // what watching costs once every line is up
    getrusage(RUSAGE_SELF, &after);
    const auto cpuMs = [](const rusage& u) {
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
    };
    std::printf("256 extensions active in %lld ms; %ld ms CPU; peak RSS %ld MiB\n",
                static_cast<long long>(ms), cpuMs(after) - cpuMs(before), after.ru_maxrss / 1024);
}

// The notifier's documents in the order a racing server might send them;
// the provider must end up where the newest state says.
TEST(SipNotifier, DocumentsApplyInVersionOrderAndAGapBringsAFreshFullState) {
    if (!PresenceLab::Available()) GTEST_SKIP() << "sipp missing";
    using L = PresenceLab;
    const QByteArray ada = L::Dialog("a", "early", "sip:5551234@pbx", "Ada");
    const QByteArray adaTalks = L::Dialog("a", "confirmed", "sip:5551234@pbx", "Ada");
    const QByteArray bob = L::Dialog("b", "early", "tel:+49301234567", "Bob");
    L::Script script;
    script.user = "vastrel";
    script.password = "s3cret";  // answered by the library, in the same dialog
    script.steps = {
        L::Notify({}, 300),
        L::Notify(L::DialogInfo(1, "full", ada), 300),
        L::Notify(L::DialogInfo(2, "partial", adaTalks), 300),
        L::Notify(L::DialogInfo(2, "partial", L::Dialog("a", "terminated")), 300),  // repeated
        L::Notify(L::DialogInfo(1, "full", ada), 300),                              // stale
        L::Notify(L::DialogInfo(4, "partial", bob), 300),                           // 3 is missing
        L::Answer(200),
        L::Notify(L::DialogInfo(5, "full", adaTalks + bob), 300),
        L::Notify(L::DialogInfo(6, "partial", L::Dialog("a", "terminated")), 300),
    };
    L lab;
    QProcess* notifier = lab.StartNotifier(script);
    ASSERT_NE(notifier, nullptr);
    SipProvider provider(Config(lab.NotifierDomain(), 1, "s3cret"), &NoKeyring);
    provider.SetActive(true);
    std::vector<std::string> seen{"none"};
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const std::string now = provider.Active(0) ? Calls(provider, 0) : "none";
        if (now != seen.back()) seen.push_back(now);
    });
    watch.start(10);
    ASSERT_TRUE(L::Finished(notifier, 15000)) << lab.Diagnostics().toStdString();
    QTest::qWait(200);
    EXPECT_EQ(seen, (std::vector<std::string>{"none", "", "offering 5551234", "connected",
                                              "connected,offering +49301234567",
                                              "offering +49301234567"}));
}

}  // namespace

// telephon.ini: the provider choice, the sections each provider reads, and
// the file itself (missing, a FIFO, made anew).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "NonRegularFiles.h"
#include "platform/tapi/TelephonyConfig.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/sim/ExchangeConfig.h"
#include "platform/tapi/sip/SipConfig.h"

using namespace platform;

namespace {

TEST(TelephonyConfigTest, ExchangeReadsEscapedNamesAndFallsBackOnDamagedValues) {
    const auto config =
        TelephonyConfig::Parse(
            "garbage\n[Exchange\nLines=1\n[exchange]\nTRAFFIC=Demo\nSeed=42\nDrop=async\n"
            "[Line2]\nName=  Front\\x00desk\\tA\\\\B\\x7\\q\\\nCaps=fail\n"
            "[LINE3]\nOpen=fail\nVersions=0x00010004-20000\n[Line1]\nVersions=20000-10003\n"
            "[Line4]\nName=Sales desk \u2014 Z\xFCrich\\xE2\\x80\n"
            "[Line5]\nName=beyond Lines\n\xff\xfe=\x01")
            .Exchange();
    // Neither the key under the broken header nor a reversed range is taken.
    EXPECT_EQ(std::tuple(config.lines, config.demoTraffic, config.seed, config.acceptDrop),
              std::tuple(4u, true, 42u, true));
    EXPECT_EQ(std::tuple(config.Name(0), config.Name(1), config.Name(4)),
              std::tuple("Line 1", std::string("Front\0desk\tA\\B\\x7\\q\\", 20), "Line 5"));
    // Names are handed over as UTF-8: Latin-1 bytes and broken sequences made so.
    EXPECT_EQ(config.Name(3), "Sales desk \u2014 Z\u00FCrich\u00E2\u0080");
    EXPECT_TRUE(config.Line(1).capsFail && config.Line(2).openFail && !config.Line(0).openFail);
    EXPECT_EQ(std::tuple(config.Line(2).versions.low, config.Line(2).versions.high,
                         config.Line(0).versions.low),
              std::tuple(0x00010004u, 0x00020000u, 0x00010003u));
    const std::pair<const char*, DWORD> counts[] = {
        {"0", 0},     {"-5", 0},   {"many", 4},
        {"12abc", 4}, {"0007", 7}, {"99999999999999999999999", sim::ExchangeConfig::kMaxLines}};
    for (const auto& [value, expected] : counts)
        EXPECT_EQ(
            expected,
            TelephonyConfig::Parse(std::string("[Exchange]\nLines=") + value).Exchange().lines)
            << value;
}

std::string Describe(const kamailio::KamailioConfig& config) {
    std::string text = config.rpc.toString().toStdString() + " " + config.eventsHost.toStdString() +
                       ":" + std::to_string(config.eventsPort);
    for (const auto& line : config.lines) text += " " + line.extension + "=" + line.name;
    return text;
}

TEST(TelephonyConfigTest, KamailioReadsItsSectionAndKeepsDefaultsForWhatItCannotUse) {
    const std::string defaults = "http://127.0.0.1:5080/RPC 127.0.0.1:8448";
    std::string many = "[Kamailio]\n";
    for (int n = 1; n <= 300; ++n)
        many += "Line" + std::to_string(n) + "=" + std::to_string(n) + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", defaults},
        {"[kamailio]\nRPC = http://10.0.0.5:6000/RPC \nEvents=[::1]:9000\nLine1=101\n"
         "Line1Name=Front\\x20desk\nLine2=102\nLine2Name=\nLine4=104\n",
         "http://10.0.0.5:6000/RPC ::1:9000 101=Front desk 102=102"},
        {"[Kamailio]\nLine1=101\nLine1Name=Z\u00FCrich \\xFC\n",
         defaults + " 101=Z\u00FCrich \u00FC"},
        {"[Kamailio]\nRpc=https://10.0.0.5/RPC\nEvents=10.0.0.5:0\n", defaults},
        {"[Kamailio]\nRpc=http:///RPC\nEvents=10.0.0.5:65536\n", defaults},
        {"[Kamailio]\nEvents=:9000\nLine1=\nLine2=102\n", defaults},
        {"[Kamailio]\nLine1=" + std::string(65, '1') + "\n", defaults},
        // Another section's keys are not the provider's.
        {"[Exchange]\nLine1=101\nRpc=http://10.0.0.5/RPC\n", defaults},
    };
    for (const auto& [ini, expected] : cases)
        EXPECT_EQ(expected, Describe(TelephonyConfig::Parse(ini).Kamailio())) << ini;
    EXPECT_EQ(kamailio::KamailioConfig::kMaxLines,
              TelephonyConfig::Parse(many).Kamailio().lines.size());
}

std::string Describe(const sip::SipConfig& config) {
    std::string text = (config.host.isEmpty() ? "-" : config.ProxyUri()) + " " +
                       (config.domain.isEmpty() ? "-" : config.UriOf("x")) + " " +
                       config.DigestUser() + " " + std::to_string(config.expires);
    for (const auto& line : config.lines) text += " " + line.extension + "=" + line.name;
    return text;
}

// Whatever a setting holds, it never rewrites the request it ends up in.
TEST(TelephonyConfigTest, SipReadsItsSectionAndRefusesWhatWouldNotBeAPlainUri) {
    const std::pair<std::string, std::string> cases[] = {
        {"[Sip]\nServer=pbx.example.org\nUser=vastrel\nLine1=101\nLine1Name=Front\\x20desk\n"
         "Line2=102\nLine4=104\n",
         "sip:pbx.example.org:5060;transport=udp sip:x@pbx.example.org vastrel 3600 "
         "101=Front desk 102=102"},
        {"[sip]\nserver=10.0.0.5:5070\nTransport=TCP\nDomain=example.org\nUser=watch\n"
         "AuthUser=watch@example.org\nExpires=600\n",
         "sip:10.0.0.5:5070;transport=tcp sip:x@example.org watch@example.org 600"},
        {"[Sip]\nServer=[2001:db8::1]\nTransport=tls\nExpires=59\n",
         "sips:[2001:db8::1]:5061;transport=tls sip:x@[2001:db8::1]  3600"},
        // A header, a parameter or a second address smuggled into a value.
        {"[Sip]\nServer=pbx>;lr\nDomain=a b\nUser=v@evil\nLine1=10 1\nLine2=102\n", "- -  3600"},
        {"[Sip]\nServer=pbx:0\nLine1=" + std::string(129, '1') + "\n", "- -  3600"},
        {"[Sip]\nServer=pbx:5060x\nExpires=99999999\n", "- -  3600"},
    };
    for (const auto& [ini, expected] : cases)
        EXPECT_EQ(expected, Describe(TelephonyConfig::Parse(ini).Sip())) << ini;
}

// The password is taken from telephon.ini only while no one else can read it.
TEST(TelephonyConfigTest, SipPasswordInTheFileCountsOnlyWhileTheFileIsPrivate) {
    QTemporaryDir dir;
    const QString ini = TelephonyConfig::FilePath(dir.path());
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Provider]\nName=sip\n[Sip]\nServer=pbx\nUser=v\nPassword=s3cret\\x3b\n");
    file.close();
    for (const auto& [mode, password, refused] :
         {std::tuple(0600, std::string("s3cret;"), false), std::tuple(0640, std::string(), true),
          std::tuple(0604, std::string(), true), std::tuple(0400, std::string("s3cret;"), false)}) {
        ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), static_cast<mode_t>(mode)), 0);
        const sip::SipConfig config = TelephonyConfig::Load(dir.path()).Sip();
        EXPECT_EQ(std::pair(config.password.value_or(""), config.passwordRefused),
                  std::pair(password, refused))
            << std::oct << mode;
    }
}

TEST(TelephonyConfigTest, ProviderAndSectionsAreReadTheWayEveryProfileIs) {
    struct Case {
        const char* ini;
        const char* provider;  // the one it selects among these, or "none"
        DWORD lines;
    };
    const Case cases[] = {
        {"", "sim", 4},
        {"[Provider]\nName=\n", "sim", 4},
        {"[Provider]\nName=Sim\n", "sim", 4},
        {"[provider]\r\nNAME = KAMAILIO \r\n", "kamailio", 4},
        {"[Provider]\nName=asterisk\n", "none", 4},
        // Comment lines, and only the first of a repeated key or section counts.
        {"; [Exchange]\n; Lines=9\n[Exchange]\n# Lines=8\nLines=1\nLines=2\n", "sim", 1},
        {"[Exchange]\nLines=2\n[Provider]\nName=x\n[EXCHANGE]\nLines=3\n", "none", 2},
    };
    for (const Case& c : cases) {
        const TelephonyConfig config = TelephonyConfig::Parse(c.ini);
        const std::string chosen = config.ProviderIs("sim")        ? "sim"
                                   : config.ProviderIs("kamailio") ? "kamailio"
                                                                   : "none";
        EXPECT_EQ(c.provider, chosen) << c.ini;
        EXPECT_EQ(c.lines, config.Exchange().lines) << c.ini;
    }
}

// A missing file reads as the starter file, and one made anew is private; a
// FIFO in its place is unreadable (no demo calls) at once and never replaced.
TEST(TelephonyConfigTest, AMissingFileReadsAsTheStarterAndAFifoAsUnreadable) {
    QTemporaryDir dir;
    const QString ini = TelephonyConfig::FilePath(dir.path());
    EXPECT_TRUE(TelephonyConfig::Load(dir.path()).Exchange().demoTraffic);
    sim::ExchangeConfig::CreateIfMissing(dir.path());
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(std::pair(file.readAll().toStdString(), ModeOf(ini)),
              std::pair(sim::ExchangeConfig::StarterText(), 0600));
    ASSERT_TRUE(QFile::remove(ini) && MakeFifo(ini));
    EXPECT_EQ(ExitCodeWithin(5000,
                             [&] {
                                 sim::ExchangeConfig::CreateIfMissing(dir.path());
                                 const TelephonyConfig config = TelephonyConfig::Load(dir.path());
                                 return config.ProviderIs("sim") && !config.Exchange().demoTraffic;
                             }),
              1);
    EXPECT_TRUE(IsFifo(ini));
}

}  // namespace

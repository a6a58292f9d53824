// What arrives from the server, canned: caller text, events, the RPC reply,
// the netstring framing and the telephon.ini section.
#include <gtest/gtest.h>

#include "platform/tapi/kamailio/CallerText.h"
#include "platform/tapi/kamailio/DialogParser.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/kamailio/NetstringReader.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

TEST(CallerText, HexAndTextAreBoundedAndMadeHarmless) {
    const std::pair<std::string, std::string> fromHex[] = {
        {"416461", "Ada"}, {"41446", ""}, {"4g", ""}, {"41414141", ""}};  // limit 3 bytes
    for (const auto& [hex, text] : fromHex) EXPECT_EQ(CallerText::FromHex(hex, 3), text) << hex;
    const std::pair<std::string, std::string> safe[] = {
        {"Zo\xC3\xAB", "Zo\xEB"},       // UTF-8 e-diaeresis becomes Latin-1
        {"Zo\xEB", "Zo\xEB"},           // already Latin-1
        {"5\xE2\x82\xAC", "5?"},        // euro sign: none in Latin-1
        {"\xF0\x9F\x93\x9E", "?"},      // one character, one mark
        {"\xED\xA0\x80", "\xED\xA0?"},  // a surrogate is no UTF-8; 0x80 is C1
        {std::string("a\0b\tc\r\nd\x1B\x7F", 10), "a?b?c??d??"},
        {"x\xC2\x85y", "x?y"},  // C1 control
        {"  Ada  ", "Ada"},
        {"   ", ""},
        {std::string(500, 'n'), std::string(64, 'n')}};
    for (const auto& [in, out] : safe) EXPECT_EQ(CallerText::Safe(in, 64), out) << in;
    EXPECT_EQ(CallerText::Decode(QByteArray("Ada \"the\" Lovelace").toHex().toStdString(), 64),
              "Ada \"the\" Lovelace");
    EXPECT_EQ(CallerText::Decode(QByteArray(100000, 'z').toHex().toStdString(), 64),
              std::string(64, 'z'));
}

TEST(DialogParser, EventsOfTheThreeKinds) {
    const auto offering = DialogParser::ParseEvent(
        R"({"event":"offering","dialog":"811:9885","line":"313031","number":"35353531323334",)"
        R"("name":"416461202274686522204c6f76656c616365"})");
    ASSERT_TRUE(offering);
    EXPECT_EQ(offering->key, "811:9885");
    EXPECT_EQ(offering->line, "101");
    EXPECT_EQ(offering->state, LINECALLSTATE_OFFERING);
    EXPECT_EQ(offering->number, "5551234");
    EXPECT_EQ(offering->name, "Ada \"the\" Lovelace");

    const auto answered =
        DialogParser::ParseEvent(R"({"event":"answered","dialog":"1:2","line":"313031"})");
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->state, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(answered->name, "");
    const auto ended = DialogParser::ParseEvent(R"({"event":"ended","dialog":"1:2"})");
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->state, 0u);
}

TEST(DialogParser, EventsThatAreNotOursOrDamagedAreRefused) {
    EXPECT_FALSE(DialogParser::ParseEvent(R"({"event":"ringing","dialog":"1:2"})"));
    EXPECT_FALSE(DialogParser::ParseEvent(R"({"event":"ended","dialog":"1:x"})"));
    EXPECT_FALSE(DialogParser::ParseEvent(R"({"event":"ended","dialog":":2"})"));
    EXPECT_FALSE(DialogParser::ParseEvent(R"({"event":"ended"})"));
    EXPECT_FALSE(DialogParser::ParseEvent(R"([1,2])"));
    EXPECT_FALSE(DialogParser::ParseEvent("{\"event\":"));
    EXPECT_FALSE(DialogParser::ParseEvent(QByteArray(DialogParser::kMaxEvent + 1, ' ')));
    // A line that is not hex matches no extension rather than a wrong one.
    EXPECT_EQ(DialogParser::ParseEvent(R"({"event":"offering","dialog":"1:2","line":"101"})")->line,
              "");
}

// As Kamailio 5.6 prints it, trimmed to the fields that matter plus a few.
const char kProfileList[] =
    R"({"jsonrpc":"2.0","result":[)"
    R"({"h_entry":665,"h_id":6263,"call-id":"1-29913@127.0.0.1","from_uri":"sip:5551234@h","state":2,)"
    R"("profiles":[{"vastrel_line":"101"}],"variables":[{"vastrel_name":"416461"},)"
    R"({"vastrel_number":"35353531323334"},{"vastrel_line":"313031"}]},)"
    R"({"h_entry":1,"h_id":7,"state":4,"profiles":[{"other":"x"},{"vastrel_line":"102"}],"variables":[]},)"
    R"({"h_entry":1,"h_id":8,"state":5,"profiles":[{"vastrel_line":"102"}],"variables":[]},)"
    R"({"h_entry":1,"h_id":9,"state":1,"profiles":[],"variables":[{"vastrel_line":"313033"}]}],"id":1})";

TEST(DialogParser, ProfileListGivesLiveDialogsWithLineAndCaller) {
    const auto dialogs = DialogParser::ParseProfileList(kProfileList);
    ASSERT_TRUE(dialogs);
    ASSERT_EQ(dialogs->size(), 3u);  // the deleted one (state 5) is gone
    EXPECT_EQ((*dialogs)[0].key, "665:6263");
    EXPECT_EQ((*dialogs)[0].line, "101");
    EXPECT_EQ((*dialogs)[0].state, LINECALLSTATE_OFFERING);
    EXPECT_EQ((*dialogs)[0].number, "5551234");
    EXPECT_EQ((*dialogs)[0].name, "Ada");
    EXPECT_EQ((*dialogs)[1].line, "102");
    EXPECT_EQ((*dialogs)[1].state, LINECALLSTATE_CONNECTED);
    EXPECT_EQ((*dialogs)[1].number, "");
    EXPECT_EQ((*dialogs)[2].line, "103");  // from the variable when the profile is not listed
}

TEST(DialogParser, ARawControlByteOrBadUtf8FromACallerDoesNotSpoilTheList) {
    QByteArray reply = kProfileList;
    reply.replace("sip:5551234@h", "sip:\x01\xFF\xFE\n5551234@h");
    const auto dialogs = DialogParser::ParseProfileList(reply);
    ASSERT_TRUE(dialogs);
    EXPECT_EQ(dialogs->size(), 3u);
}

TEST(DialogParser, ErrorRepliesAndNonsenseGiveNoList) {
    EXPECT_FALSE(DialogParser::ParseProfileList(
        R"({"jsonrpc":"2.0","error":{"code":404,"message":"Profile not found"},"id":1})"));
    EXPECT_FALSE(DialogParser::ParseProfileList("<html>"));
    EXPECT_FALSE(DialogParser::ParseProfileList(R"({"result":{}})"));
    EXPECT_TRUE(DialogParser::ParseProfileList(R"({"result":[]})")->empty());
    EXPECT_EQ(DialogParser::ProfileListRequest(7),
              R"({"id":7,"jsonrpc":"2.0","method":"dlg.profile_list","params":["vastrel_line"]})");
}

TEST(NetstringReader, SplitsMessagesHoweverTheBytesArrive) {
    NetstringReader reader(100);
    reader.Feed("3:abc,0:,5:he");
    EXPECT_EQ(reader.Next(), QByteArray("abc"));
    EXPECT_EQ(reader.Next(), QByteArray(""));
    EXPECT_FALSE(reader.Next());
    reader.Feed("llo");
    EXPECT_FALSE(reader.Next());  // the comma is still missing
    reader.Feed(",");
    EXPECT_EQ(reader.Next(), QByteArray("hello"));
    EXPECT_FALSE(reader.Broken());
}

TEST(NetstringReader, AStreamThatIsNotNetstringsStaysBrokenUntilReset) {
    for (const char* bad : {"3:abcX", "x:", ":", "101:", "99999999999999999999:"}) {
        NetstringReader reader(100);
        reader.Feed(bad);
        EXPECT_FALSE(reader.Next()) << bad;
        EXPECT_TRUE(reader.Broken()) << bad;
        reader.Feed("1:a,");
        EXPECT_FALSE(reader.Next());
        reader.Reset();
        reader.Feed("1:a,");
        EXPECT_EQ(reader.Next(), QByteArray("a"));
    }
}

TEST(KamailioConfig, LinesUpToTheFirstGapWithNamesDefaultingToTheExtension) {
    const KamailioConfig config = KamailioConfig::Parse(
        "[Provider]\nName=kamailio\n[Kamailio]\nRpc=http://10.0.0.5:8080/RPC\n"
        "Events=10.0.0.5:9000\nLine1=101\nLine1Name=Front desk\nLine2=102\n"
        "Line3Name=Orphan\nLine4=104\n");
    EXPECT_EQ(config.rpc.toString(), "http://10.0.0.5:8080/RPC");
    EXPECT_EQ(config.eventsHost, "10.0.0.5");
    EXPECT_EQ(config.eventsPort, 9000);
    ASSERT_EQ(config.lines.size(), 2u);
    EXPECT_EQ(config.lines[0].extension, "101");
    EXPECT_EQ(config.lines[0].name, "Front desk");
    EXPECT_EQ(config.lines[1].name, "102");
}

TEST(KamailioConfig, UnusableAddressesKeepTheLoopbackDefaults) {
    for (const char* text :
         {"[Kamailio]\nRpc=https://h/RPC\nEvents=h\n", "[Kamailio]\nRpc=not a url\nEvents=h:0\n",
          "[Kamailio]\nRpc=\nEvents=h:70000\n"}) {
        const KamailioConfig config = KamailioConfig::Parse(text);
        EXPECT_EQ(config.rpc.toString(), "http://127.0.0.1:5080/RPC") << text;
        EXPECT_EQ(config.eventsHost, "127.0.0.1") << text;
        EXPECT_EQ(config.eventsPort, 8448) << text;
        EXPECT_TRUE(config.lines.empty());
    }
    EXPECT_EQ(KamailioConfig::Parse("[Kamailio]\nEvents=[::1]:8448\n").eventsHost, "::1");
}

}  // namespace

// What arrives from the server, canned: events, the RPC reply and the
// netstring framing, with the bytes a hostile caller or server could send;
// and the local picture of the calls they move, where events and snapshots
// may not undo what the other learnt later.
#include <gtest/gtest.h>

#include "platform/tapi/kamailio/CallPicture.h"
#include "platform/tapi/kamailio/DialogParser.h"
#include "platform/tapi/kamailio/NetstringReader.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

std::string Describe(const DialogRecord& r) {
    return r.key + "|" + r.line + "|" + std::to_string(r.state) + "|" + r.number + "|" + r.name;
}
QByteArray Offering(const std::string& number, const std::string& name) {
    const auto hex = [](const std::string& s) { return QByteArray::fromStdString(s).toHex(); };
    return R"({"event":"offering","dialog":"1:2","line":"313031","number":")" + hex(number) +
           R"(","name":")" + hex(name) + R"("})";
}

std::string Times(int n, const std::string& character) {
    std::string text;
    for (int i = 0; i < n; ++i) text += character;
    return text;
}

TEST(KamailioParsing, EventsAreReadAndHostileBytesRefusedOrMadeHarmless) {
    const std::pair<QByteArray, std::string> cases[] = {
        // "": refused
        {R"({"event":"offering","dialog":"811:9885","line":"313031","number":"35353531323334",)"
         R"("name":"416461202274686522204c6f76656c616365","from":")"
         "\x01\xff\n"
         R"("})",
         "811:9885|101|2|5551234|Ada \"the\" Lovelace"},
        {R"({"event":"answered","dialog":"1:2","line":"313031"})", "1:2|101|256||"},
        {R"({"event":"ended","dialog":"1:2"})", "1:2||0||"},
        // A line that is not hex matches no extension rather than a wrong one.
        {R"({"event":"offering","dialog":"1:2","line":"101"})", "1:2||2||"},
        // UTF-8 as it came, Latin-1 made UTF-8, control characters barred,
        // cut to 64 characters however many bytes they take.
        {Offering(std::string("a\0b\tc\r\nd\x1B\x7F", 10),
                  "  Zo\xC3\xAB \xF0\x9F\x93\x9E x\xC2\x85y "),
         "1:2|101|2|a|b|c||d|||Zo\u00EB \U0001F4DE x|y"},
        {Offering("5551234", "J\u00FCrgen M\u00FCller \u2014 \u96FB\u8A71"),
         "1:2|101|2|5551234|J\u00FCrgen M\u00FCller \u2014 \u96FB\u8A71"},
        {Offering(std::string(500, '5'), "J\xFCrgen 5\xE2\x82\xAC\xED\xA0\x80"),
         "1:2|101|2|" + std::string(64, '5') + "|J\u00FCrgen 5\u20AC\u00ED\u00A0|"},
        {Offering("1", Times(70, "\u96FB")), "1:2|101|2|1|" + Times(64, "\u96FB")},
        {R"({"event":"ringing","dialog":"1:2"})", ""},
        {R"({"event":"ended","dialog":"1:x"})", ""},
        {R"({"event":"ended","dialog":":2"})", ""},
        {"{\"event\":\"ended\",\"dialog\":\"\xD9\xA1:\xD9\xA2\"}", ""},  // Arabic-Indic digits
        {R"({"event":"ended","dialog":"1234567890123:1234567890123"})", ""},
        {R"({"event":"ended"})", ""},
        {"[1,2]", ""},
        {"{\"event\":", ""},
        {QByteArray(DialogParser::kMaxEvent + 1, ' '), ""},
    };
    for (const auto& [json, want] : cases) {
        const auto got = DialogParser::ParseEvent(json);
        EXPECT_EQ(want, got ? Describe(*got) : "") << json.left(120).toStdString();
    }
}

TEST(KamailioParsing, ProfileListGivesLiveDialogsAndNothingForErrorsOrNonsense) {
    // As Kamailio 5.6 prints it, trimmed to the fields that matter plus a few.
    const QByteArray reply =
        R"({"jsonrpc":"2.0","result":[{"h_entry":665,"h_id":6263,"call-id":"1-29913@127.0.0.1",)"
        R"("from_uri":"sip:5551234@h","state":2,"profiles":[{"vastrel_line":"101"}],)"
        R"("variables":[{"vastrel_name":"416461"},{"vastrel_number":"35353531323334"},)"
        R"({"vastrel_line":"313031"}]},{"h_entry":1,"h_id":7,"state":4,"profiles":[{"other":"x"},)"
        R"({"vastrel_line":"102"}],"variables":[]},{"h_entry":1,"h_id":8,"state":5,"profiles":)"
        R"([{"vastrel_line":"102"}],"variables":[]},{"h_entry":1,"h_id":9,"state":1,"profiles":[],)"
        R"("variables":[{"vastrel_line":"313033"}]}],"id":1})";
    QByteArray hostile = reply;  // raw control bytes and bad UTF-8 from a caller
    hostile.replace("sip:5551234@h", "sip:\x01\xFF\xFE\n5551234@h");
    for (const QByteArray& json : {reply, hostile}) {
        const auto dialogs = DialogParser::ParseProfileList(json);
        ASSERT_TRUE(dialogs);
        std::string all;  // the deleted one (state 5) is gone; 103 from the variable alone
        for (const DialogRecord& r : *dialogs) all += Describe(r) + ";";
        EXPECT_EQ(all, "665:6263|101|2|5551234|Ada;1:7|102|256||;1:9|103|2||;");
    }
    for (const char* bad : {R"({"jsonrpc":"2.0","error":{"code":404,"message":"x"},"id":1})",
                            "<html>", R"({"result":{}})"})
        EXPECT_FALSE(DialogParser::ParseProfileList(bad)) << bad;
    EXPECT_TRUE(DialogParser::ParseProfileList(R"({"result":[]})")->empty());
}

TEST(KamailioParsing, NetstringsSplitHoweverTheBytesArriveAndABrokenStreamWaitsForReset) {
    NetstringReader reader(100);
    reader.Feed("3:abc,0:,5:he");
    EXPECT_EQ(reader.Next(), QByteArray("abc"));
    EXPECT_EQ(reader.Next(), QByteArray(""));
    reader.Feed("llo");
    EXPECT_FALSE(reader.Next());  // the comma is still missing
    reader.Feed(",");
    EXPECT_EQ(reader.Next(), QByteArray("hello"));
    for (const char* bad : {"3:abcX", "x:", ":", "101:", "99999999999999999999:"}) {
        reader.Feed(QByteArray(bad) + "1:a,");
        EXPECT_FALSE(reader.Next()) << bad;
        EXPECT_TRUE(reader.Broken()) << bad;
        reader.Reset();
        reader.Feed("1:a,");
        EXPECT_EQ(reader.Next(), QByteArray("a"));
    }
}

constexpr DWORD O = LINECALLSTATE_OFFERING, C = LINECALLSTATE_CONNECTED;
DialogRecord Ev(const std::string& key, DWORD state, const std::string& line = "101",
                const std::string& name = "Ada") {
    return DialogRecord{key, line, state, "5551234", name};
}
// Every call as "id line state name;", by line.
std::string Describe(const CallPicture& picture) {
    std::string text;
    for (DWORD d = 0; d < 3; ++d)
        for (const CallId id : picture.CallsOn(d)) {
            const ProviderCall* call = picture.Find(id);
            text += std::to_string(id) + " " + std::to_string(call->device) +
                    (call->state == C   ? "C "
                     : call->state == O ? "O "
                                        : "? ") +
                    call->name + ";";
        }
    return text;
}

TEST(CallPicture, EventsAndSnapshotsMergeWithoutUndoingNewerNews) {
    enum Op { Events, Begin, Snapshot, Forget };
    struct Step {
        Op op;
        std::vector<DialogRecord> records;
        bool changed;         // by each event, or by the snapshot
        const char* picture;  // afterwards; nullptr: not looked at
    };
    const std::pair<const char*, std::vector<Step>> cases[] = {
        {"rings, is answered, ends",
         {{Events, {Ev("1:1", O, "102")}, true, "1 1O Ada;"},
          {Events, {Ev("1:1", C, "102")}, true, "1 1C Ada;"},
          {Events, {Ev("1:1", 0, "")}, true, ""}}},
        {"strays and late news change nothing",
         {{Events, {Ev("1:1", O, "999"), Ev("1:2", 0)}, false, ""},  // not watched, never seen
          {Events, {Ev("1:3", C)}, true, nullptr},
          {Events, {Ev("1:3", O)}, false, "1 0C Ada;"},  // no way back to ringing
          {Events, {Ev("1:3", 0)}, true, ""},
          {Events, {Ev("1:3", C)}, false, ""},  // after its end
          {Forget, {}, false, nullptr},         // a restarted server may hand the key out again
          {Events, {Ev("1:3", O)}, true, "2 0O Ada;"}}},
        {"caller id missing at first is taken later",
         {{Events, {Ev("1:1", O, "101", ""), Ev("1:1", C)}, true, "1 0C Ada;"}}},
        {"a snapshot replaces the picture but keeps the ids of known calls",
         {{Events, {Ev("1:1", O), Ev("1:2", O, "102")}, true, nullptr},
          {Begin, {}, false, nullptr},
          {Snapshot,
           {Ev("1:1", C), Ev("2:1", O, "103"), Ev("2:2", O, "555")},
           true,
           "1 0C Ada;3 2O Ada;"},
          {Begin, {}, false, nullptr},
          {Snapshot, {Ev("1:1", C), Ev("2:1", O, "103")}, false, "1 0C Ada;3 2O Ada;"}}},
        {"events while a snapshot is on its way are newer than it",
         {{Events, {Ev("1:1", O)}, true, nullptr},
          {Begin, {}, false, nullptr},
          // ended, new, and new and answered after the list was taken
          {Events, {Ev("1:1", 0), Ev("1:2", O), Ev("1:3", O), Ev("1:3", C)}, true, nullptr},
          {Snapshot, {Ev("1:1", O), Ev("1:3", O)}, false, "2 0O Ada;3 0C Ada;"},
          {Begin, {}, false, nullptr},
          {Snapshot, {}, true, ""}}},  // the next one is the truth again
    };
    for (const auto& [what, steps] : cases) {
        CallPicture picture{{"101", "102", "103"}};
        for (std::size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(std::string(what) + ", step " + std::to_string(i + 1));
            const Step& s = steps[i];
            if (s.op == Begin) picture.BeginSnapshot();
            if (s.op == Forget) picture.ForgetEnded();
            for (const DialogRecord& e : s.op == Events ? s.records : std::vector<DialogRecord>{})
                EXPECT_EQ(s.changed, picture.Apply(e)) << e.key;
            EXPECT_TRUE(s.op != Snapshot || s.changed == picture.ApplySnapshot(s.records));
            EXPECT_TRUE(!s.picture || s.picture == Describe(picture)) << Describe(picture);
        }
    }
    CallPicture flooded{{"101"}};  // a line tracks a bounded number of calls
    for (std::size_t i = 0; i < CallPicture::kMaxCallsPerLine + 5; ++i)
        flooded.Apply(Ev("9:" + std::to_string(i), O));
    EXPECT_EQ(flooded.CallsOn(0).size(), CallPicture::kMaxCallsPerLine);
    EXPECT_TRUE(flooded.Clear());
    EXPECT_TRUE(flooded.CallsOn(0).empty());
    EXPECT_FALSE(flooded.Clear());
}

}  // namespace

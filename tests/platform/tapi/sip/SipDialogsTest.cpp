// Dialog event documents as SIP servers send them, and hostile ones; the
// order in which a subscription's documents may change what is known; and
// the calls that the dialogs show as, whose ids must outlive every document
// that still lists their dialog.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/tapi/sip/DialogInfo.h"
#include "platform/tapi/sip/ExtensionDialogs.h"
#include "platform/tapi/sip/SipCallPicture.h"

using namespace platform;
using namespace platform::sip;

namespace {

using D = DialogDirection;

std::string Describe(const std::vector<DialogEntry>& dialogs) {
    std::string text;
    for (const DialogEntry& d : dialogs)
        text += d.id + " " + d.state +
                (d.direction == D::Initiator   ? " out "
                 : d.direction == D::Recipient ? " in "
                                               : " ? ") +
                d.remoteNumber + " " + d.remoteName + ";";
    return text;
}

std::string Describe(const DialogInfo& info) {
    return std::to_string(info.version) + (info.full ? " full: " : " partial: ") +
           Describe(info.dialogs);
}

// A document in the default namespace around the given dialogs.
std::string Doc(std::uint32_t version, const std::string& dialogs, const char* state = "full") {
    return R"(<dialog-info xmlns="urn:ietf:params:xml:ns:dialog-info" version=")" +
           std::to_string(version) + R"(" state=")" + state +
           R"(" entity="sip:201@pbx.example.com">)" + dialogs + "</dialog-info>";
}

std::string Dialog(const std::string& id, const std::string& state, const std::string& remote = "",
                   const char* direction = "recipient") {
    return R"(<dialog id=")" + id + R"(" direction=")" + direction + R"("><state>)" + state +
           "</state>" + remote + "</dialog>";
}

std::string Remote(const std::string& uri, const std::string& display) {
    return R"(<remote><identity display=")" + display + R"(">)" + uri + "</identity></remote>";
}

TEST(DialogInfo, DocumentsAsServersWriteThemGiveDialogsAndSafeCallerIds) {
    const std::pair<std::string, std::string> cases[] = {
        // After RFC 4235's examples: local and remote parties, duration,
        // tags, target parameters, all but the remote party skipped.
        {R"(<?xml version="1.0"?>
<dialog-info xmlns="urn:ietf:params:xml:ns:dialog-info" version="1" state="full" entity="sip:alice@example.com">
  <dialog id="as7d900as8" call-id="a84b4c76e66710" local-tag="1928301774" remote-tag="456887766" direction="initiator">
    <state event="remote-bye" code="200">confirmed</state><duration>274</duration>
    <local><identity display="Alice">sip:alice@example.com</identity><target uri="sip:alice@pc33.example.com">
      <param pname="+sip.rendering" pval="yes"/></target></local>
    <remote><identity display="Bob">sip:bob@example.org</identity><target uri="sip:bobster@phone21.example.org"/></remote>
  </dialog></dialog-info>)",
         "1 full: as7d900as8 confirmed out bob Bob;"},
        // Several dialogs on one extension, a PBX's own namespace mixed in:
        // a foreign <state> is not the dialog's state.
        {Doc(7,
             R"(<dialog id="a1" direction="recipient" xmlns:x="urn:example:pbx"><x:exten>201</x:exten>)"
             R"(<x:state>terminated</x:state><state>early</state>)" +
                 Remote("sip:5551234@10.0.0.1;user=phone", "Ada Lovelace") + "</dialog>" +
                 Dialog("b2", "confirmed", Remote("tel:+1-201-555-0123", "")) +
                 Dialog("c3", " Trying ", "", "Initiator") + Dialog("", "early") +
                 Dialog("d4", "ringing") + R"(<dialog direction="recipient"/>)" +
                 Dialog("e5", "terminated") +
                 Dialog("b2", "confirmed", Remote("tel:+1-201-555-0199;phone-context=x", ""))),
         "7 full: a1 early in 5551234 Ada Lovelace;b2 confirmed in +1-201-555-0199 ;"
         "c3 trying out  ;e5 terminated in  ;"},
        // Prefixed elements, a partial state, sips: and escapes of every kind.
        {R"(<di:dialog-info xmlns:di="urn:ietf:params:xml:ns:dialog-info" version="4294967295" )"
         R"(state="partial" entity="sip:201@h"><di:dialog id="x&amp;1" direction="recipient">)"
         R"(<di:state>early</di:state><di:remote><di:identity display="&quot;M&#xFC;ller&quot; )"
         R"(&amp; Co &lt;&#x96FB;&gt;"><![CDATA[sips:%2B49%2030 123:pw@h]]></di:identity>)"
         R"(</di:remote></di:dialog></di:dialog-info>)",
         "4294967295 partial: x&1 early in +49 30 123 \"M\u00FCller\" & Co <\u96FB>;"},
        // No identity: the target; a URI in angle brackets; control
        // characters in names barred, however they came.
        {Doc(2,
             Dialog("a", "early", R"(<remote><target uri="sip:777@h"/></remote>)") +
                 Dialog("b", "early",
                        Remote("&lt;sip:3%0A4@h&gt;", "Tab&#9;New&#10;line&#x85;end\x7F")) +
                 Dialog(
                     "c", "early",
                     R"(<remote><identity>urn:x:anonymous</identity><target uri="sip:host.example;x=y"/></remote>)")),
         "2 full: a early in 777 ;b early in 3|4 Tab|New|line|end|;c early in host.example ;"},
        // A raw stray byte or control byte from a caller's name does not hide the line.
        {Doc(3, Dialog("a", "early", Remote("sip:1@h", "J\xFCrgen\x01M"))),
         "3 full: a early in 1 J\u00FCrgen M;"},
        {R"(<?xml version="1.0" encoding="ISO-8859-1"?><dialog-info xmlns="urn:ietf:params:xml:ns:dialog-info" version="0" state="FULL">)" +
             Dialog("a", "early", Remote("sip:1@h", "J\xFCrgen")) + "</dialog-info>",
         "0 full: a early in 1 J\u00FCrgen;"},
        {Doc(5, ""), "5 full: "},
    };
    for (const auto& [body, want] : cases) {
        const auto info = DialogInfo::Parse(body);
        EXPECT_EQ(want, info ? Describe(*info) : "(refused)") << body;
    }
    std::string many;  // the first ones are kept
    for (int i = 0; i < 70; ++i) many += Dialog(std::to_string(i), "early");
    const auto flooded = DialogInfo::Parse(Doc(1, many));
    ASSERT_TRUE(flooded);
    EXPECT_EQ(flooded->dialogs.size(), DialogInfo::kMaxDialogs);
    EXPECT_EQ(flooded->dialogs.back().id, std::to_string(DialogInfo::kMaxDialogs - 1));
}

TEST(DialogInfo, HostileOrBrokenBodiesAreRefusedWhole) {
    std::string laughs = R"(<!DOCTYPE dialog-info [<!ENTITY l0 "ha">)";
    for (int i = 1; i < 10; ++i) {
        const std::string last = "&l" + std::to_string(i - 1) + ";";
        laughs +=
            "<!ENTITY l" + std::to_string(i) + " \"" + last + last + last + last + last + "\">";
    }
    laughs += "]>" + Doc(1, Dialog("a", "early", Remote("sip:1@h", "&l9;")));
    const std::string fits = Doc(1, Dialog("a", "early"));
    const auto Root = [](const std::string& attributes) {
        return R"(<dialog-info xmlns="urn:ietf:params:xml:ns:dialog-info" )" + attributes + "/>";
    };
    std::vector<std::string> cases = {
        laughs,
        R"(<!DOCTYPE x SYSTEM "file:///etc/passwd">)" + Doc(1, Dialog("a", "early")),
        R"(<!DOCTYPE dialog-info>)" + Doc(1, Dialog("a", "early")),
        Doc(1, Dialog("a", "early", Remote("sip:1@h", "&undeclared;"))),
        fits + std::string(DialogInfo::kMaxBytes + 1 - fits.size(), ' '),
        Root(R"(state="full")"),
        Root(R"(version="1")"),
        Root(R"(version="1" state="delta")"),
        // Another document, or this one outside its namespace.
        R"(<dialog-info version="1" state="full"/>)",
        R"(<reginfo xmlns="urn:ietf:params:xml:ns:reginfo" version="1" state="full"/>)",
        // Not well-formed.
        fits.substr(0, fits.size() - 3),
        fits + "<dialog-info/>",
        "confirmed",
        "",
    };
    // Versions signed, beyond 32 bits or not decimal.
    for (const char* v : {"", "-1", "4294967296", "1.5", "0x1", "\uFF11"})
        cases.push_back(Root("version=\"" + std::string(v) + "\" state=\"full\""));
    for (const std::string& body : cases)
        EXPECT_FALSE(DialogInfo::Parse(body)) << body.substr(0, 200);
    EXPECT_TRUE(DialogInfo::Parse(fits + std::string(DialogInfo::kMaxBytes - fits.size(), ' ')));
    for (const char* body : {"", " ", "\r\n\t \r\n"}) EXPECT_TRUE(DialogInfo::IsEmptyBody(body));
    for (const char* body : {"x", " <a/>", "\v"}) EXPECT_FALSE(DialogInfo::IsEmptyBody(body));
}

using Outcome = ExtensionDialogs::Outcome;
constexpr Outcome A = Outcome::Applied, I = Outcome::Ignored, G = Outcome::Gap;

std::string Brief(const std::vector<DialogEntry>& dialogs) {
    std::string text;
    for (const DialogEntry& d : dialogs) text += d.id + " " + d.state + ";";
    return text;
}

// "F3 a:early b:terminated" applies a full state of version 3, "P4 ..." a
// partial one; "E" is an empty body, "R" a new subscription.
std::optional<Outcome> Take(ExtensionDialogs& extension, const std::string& step) {
    std::istringstream words(step);
    std::string word;
    words >> word;
    if (word == "E") extension.ApplyEmpty();
    if (word == "R") extension.Restart();
    if (word == "E" || word == "R") return std::nullopt;
    DialogInfo document{static_cast<std::uint32_t>(std::stoul(word.substr(1))), word[0] == 'F', {}};
    while (words >> word) {
        const std::size_t colon = word.find(':');
        document.dialogs.push_back(
            DialogEntry{word.substr(0, colon), word.substr(colon + 1), D::Recipient, "", ""});
    }
    return extension.Apply(document);
}

TEST(ExtensionDialogs, DocumentsApplyInVersionOrderAndAGapAsksForAFreshSubscription) {
    struct Step {
        const char* step;
        std::optional<Outcome> outcome;
        const char* live;   // afterwards
        const char* ended;  // by this step
    };
    const std::pair<const char*, std::vector<Step>> cases[] = {
        {"a subscription starts from a full state; a missed partial is a gap",
         {{"P1 a:early", G, "", ""},
          {"F3 a:early b:terminated", A, "a early;", ""},
          {"P4 b:early", A, "a early;b early;", ""},
          {"P6 a:terminated", G, "a early;b early;", ""},
          {"P5 a:terminated", A, "b early;", "a terminated;"},  // late, but next in line
          {"F9 c:trying", A, "c trying;", "b early;"}}},
        {"repeated and stale documents change nothing",
         {{"F10 a:early", A, "a early;", ""},
          {"P11 a:confirmed", A, "a confirmed;", ""},
          {"P11 a:terminated", I, "a confirmed;", ""},
          {"F10 a:early", I, "a confirmed;", ""},
          {"P2 a:early", I, "a confirmed;", ""}}},
        {"a new subscription counts again and keeps the dialogs until it reports",
         {{"F40 a:confirmed", A, "a confirmed;", ""},
          {"P42 b:early", G, "a confirmed;", ""},
          {"R", {}, "a confirmed;", ""},
          {"P1 b:early", G, "a confirmed;", ""},
          {"F0 a:confirmed b:early", A, "a confirmed;b early;", ""},
          {"P1 c:early a:terminated", A, "b early;c early;", "a terminated;"}}},
        {"a full state keeps known dialogs in their places and ends those it leaves out",
         {{"F1 a:early b:early c:early", A, "a early;b early;c early;", ""},
          {"F5 d:early c:confirmed b:terminated", A, "c confirmed;d early;",
           "a early;b terminated;"}}},
        {"an empty body ends everything but leaves the count where it was",
         {{"F7 a:confirmed", A, "a confirmed;", ""},
          {"E", {}, "", "a confirmed;"},
          {"P7 b:early", I, "", ""},
          {"P8 b:early", A, "b early;", ""},
          {"R", {}, "b early;", ""},
          {"E", {}, "", "b early;"},  // a fresh subscription's known empty state
          {"P20 c:early", A, "c early;", ""},
          {"P22 d:early", G, "c early;", ""}}},
    };
    for (const auto& [what, steps] : cases) {
        ExtensionDialogs extension;
        for (const Step& s : steps) {
            SCOPED_TRACE(std::string(what) + ": " + s.step);
            EXPECT_EQ(s.outcome, Take(extension, s.step));
            EXPECT_EQ(s.live, Brief(extension.Live()));
            EXPECT_EQ(s.ended, Brief(extension.Ended()));
        }
    }
    ExtensionDialogs bounded;  // by a full state and by partial ones
    std::string many = "F1";
    for (std::size_t i = 0; i < DialogInfo::kMaxDialogs + 5; ++i)
        many += " " + std::to_string(i) + ":early";
    Take(bounded, many);
    Take(bounded, "P2 new:early");
    EXPECT_EQ(bounded.Live().size(), DialogInfo::kMaxDialogs);
    EXPECT_EQ(bounded.Live().back().id, std::to_string(DialogInfo::kMaxDialogs - 1));
}

constexpr DWORD O = LINECALLSTATE_OFFERING, P = LINECALLSTATE_PROCEEDING,
                C = LINECALLSTATE_CONNECTED;

std::string Describe(const SipCallPicture& picture, DWORD device) {
    std::string text;
    for (const CallId id : picture.CallsOn(device)) {
        const ProviderCall* call = picture.Find(id);
        text += std::to_string(id) +
                (call->state == C   ? " C "
                 : call->state == O ? " O "
                                    : " P ") +
                call->number + " " + call->name + ";";
    }
    return text;
}

TEST(SipCallPicture, DialogStatesShowAsCallStates) {
    const std::tuple<const char*, D, DWORD> cases[] = {
        {"early", D::Recipient, O},      {"early", D::Unknown, O},
        {"early", D::Initiator, P},      {"trying", D::Recipient, O},
        {"proceeding", D::Recipient, O}, {"trying", D::Unknown, P},
        {"proceeding", D::Initiator, P}, {"confirmed", D::Unknown, C},
        {"confirmed", D::Initiator, C},  {"terminated", D::Recipient, 0},
        {"", D::Recipient, 0},
    };
    for (const auto& [state, direction, want] : cases)
        EXPECT_EQ(want, SipCallPicture::CallState(DialogEntry{"a", state, direction, "", ""}))
            << state;
}

TEST(SipCallPicture, LinesKeepApartAndBounded) {
    const auto In = [](const std::string& id, const char* state) {
        return DialogEntry{id, state, D::Recipient, "", ""};
    };
    SipCallPicture picture(2);
    EXPECT_TRUE(picture.Show(0, {In("x", "early")}));  // the same dialog id on two lines
    EXPECT_TRUE(picture.Show(1, {In("x", "confirmed")}));
    EXPECT_TRUE(picture.Clear(1));
    EXPECT_FALSE(picture.Clear(1));
    EXPECT_FALSE(picture.Find(2));
    EXPECT_EQ(Describe(picture, 0), "1 O  ;");
    EXPECT_FALSE(picture.Show(2, {In("y", "early")}));
    EXPECT_TRUE(picture.CallsOn(2).empty());
    std::vector<DialogEntry> flood;  // the call already shown stays when new dialogs flood in
    for (std::size_t i = 0; i < SipCallPicture::kMaxCallsPerLine + 5; ++i)
        flood.push_back(In("f" + std::to_string(i), "early"));
    flood.push_back(In("x", "confirmed"));
    picture.Show(0, flood);
    EXPECT_EQ(picture.CallsOn(0).size(), SipCallPicture::kMaxCallsPerLine);
    EXPECT_EQ(picture.Find(1)->state, C);
}

TEST(SipDialogs, CallsKeepTheirIdsAcrossDocumentsAndEndWithTheirDialogs) {
    const std::string ada = Remote("sip:5551234@pbx", "Ada");
    struct Notify {
        std::string body;
        bool changed;
        const char* calls;
    };
    const Notify notifies[] = {
        {Doc(0, ""), false, ""},
        {Doc(1, Dialog("a", "early", ada), "partial"), true, "1 O 5551234 Ada;"},
        {Doc(2, Dialog("a", "early", ada), "partial"), false, "1 O 5551234 Ada;"},
        {Doc(4, Dialog("b", "early"), "partial"), false, "1 O 5551234 Ada;"},  // 3 was missed
        // The new subscription's first state; the caller id stays.
        {Doc(0,
             Dialog("a", "confirmed") + Dialog("b", "early", Remote("sip:202@h", ""), "initiator")),
         true, "1 C 5551234 Ada;2 P 202 ;"},
        // A dialog never goes back from answered to ringing.
        {Doc(1, Dialog("a", "early", ada), "partial"), false, "1 C 5551234 Ada;2 P 202 ;"},
        {Doc(2, Dialog("b", "terminated"), "partial"), true, "1 C 5551234 Ada;"},
        {Doc(3, Dialog("a", "terminated", ada), "partial"), true, ""},
        {Doc(4, Dialog("a", "early"), "partial"), true, "3 O  ;"},  // a new call, a new id
        {" ", true, ""},
    };
    ExtensionDialogs extension;
    SipCallPicture picture(1);
    for (const Notify& n : notifies) {
        if (DialogInfo::IsEmptyBody(n.body)) {
            extension.ApplyEmpty();
        } else if (extension.Apply(*DialogInfo::Parse(n.body)) == Outcome::Gap) {
            extension.Restart();  // after subscribing again
        }
        EXPECT_EQ(n.changed, picture.Show(0, extension.Live())) << n.body;
        EXPECT_EQ(n.calls, Describe(picture, 0)) << n.body;
    }
}

}  // namespace

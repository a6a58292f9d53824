// The local picture of the calls: events move it, snapshots correct it, and
// neither may undo what the other learnt later.
#include <gtest/gtest.h>

#include "platform/tapi/kamailio/CallPicture.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

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

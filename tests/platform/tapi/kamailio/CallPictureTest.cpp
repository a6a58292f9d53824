// The local picture of the calls: events move it, snapshots correct it, and
// neither may undo what the other learnt later.
#include <gtest/gtest.h>

#include "platform/tapi/kamailio/CallPicture.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

DialogRecord Event(const std::string& key, DWORD state, const std::string& line = "101") {
    return DialogRecord{key, line, state, "5551234", "Ada"};
}

class CallPictureTest : public ::testing::Test {
protected:
    CallPicture picture{{"101", "102", "103"}};
    std::size_t Calls(DWORD device) const { return picture.CallsOn(device).size(); }
    DWORD StateOf(DWORD device) const { return picture.Find(picture.CallsOn(device).at(0))->state; }
};

TEST_F(CallPictureTest, ACallRingsIsAnsweredAndEnds) {
    EXPECT_TRUE(picture.Apply(Event("1:1", LINECALLSTATE_OFFERING, "102")));
    ASSERT_EQ(Calls(1), 1u);
    EXPECT_EQ(Calls(0), 0u);
    const ProviderCall* call = picture.Find(picture.CallsOn(1)[0]);
    EXPECT_EQ(call->device, 1u);
    EXPECT_EQ(call->number, "5551234");
    EXPECT_EQ(call->name, "Ada");
    EXPECT_EQ(call->state, LINECALLSTATE_OFFERING);
    EXPECT_TRUE(picture.Apply(Event("1:1", LINECALLSTATE_CONNECTED, "102")));
    EXPECT_EQ(StateOf(1), LINECALLSTATE_CONNECTED);
    const CallId id = picture.CallsOn(1)[0];
    EXPECT_TRUE(picture.Apply(Event("1:1", 0, "")));
    EXPECT_EQ(Calls(1), 0u);
    EXPECT_EQ(picture.Find(id), nullptr);
}

TEST_F(CallPictureTest, StrayEventsChangeNothing) {
    EXPECT_FALSE(picture.Apply(Event("1:1", LINECALLSTATE_OFFERING, "999")));  // not watched
    EXPECT_FALSE(picture.Apply(Event("1:2", 0)));                              // never seen
    picture.Apply(Event("1:3", LINECALLSTATE_CONNECTED));
    EXPECT_FALSE(picture.Apply(Event("1:3", LINECALLSTATE_OFFERING)));  // no way back to ringing
    EXPECT_EQ(StateOf(0), LINECALLSTATE_CONNECTED);
    picture.Apply(Event("1:3", 0));
    EXPECT_FALSE(picture.Apply(Event("1:3", LINECALLSTATE_CONNECTED)));  // late, after its end
    EXPECT_EQ(Calls(0), 0u);
    picture.ForgetEnded();  // a restarted server may hand the key out again
    EXPECT_TRUE(picture.Apply(Event("1:3", LINECALLSTATE_OFFERING)));
}

TEST_F(CallPictureTest, CallerIdMissingFromTheFirstWordIsTakenFromALaterOne) {
    picture.Apply(DialogRecord{"1:1", "101", LINECALLSTATE_OFFERING, "", ""});
    picture.Apply(Event("1:1", LINECALLSTATE_CONNECTED));
    EXPECT_EQ(picture.Find(picture.CallsOn(0)[0])->name, "Ada");
}

TEST_F(CallPictureTest, ASnapshotReplacesThePictureButKeepsTheIdsOfKnownCalls) {
    picture.Apply(Event("1:1", LINECALLSTATE_OFFERING));
    picture.Apply(Event("1:2", LINECALLSTATE_OFFERING, "102"));
    const CallId kept = picture.CallsOn(0)[0];
    picture.BeginSnapshot();
    EXPECT_TRUE(picture.ApplySnapshot({Event("1:1", LINECALLSTATE_CONNECTED),
                                       Event("2:1", LINECALLSTATE_OFFERING, "103"),
                                       Event("2:2", LINECALLSTATE_OFFERING, "555")}));
    ASSERT_EQ(Calls(0), 1u);
    EXPECT_EQ(picture.CallsOn(0)[0], kept);
    EXPECT_EQ(StateOf(0), LINECALLSTATE_CONNECTED);
    EXPECT_EQ(Calls(1), 0u);  // ended while no event said so
    EXPECT_EQ(Calls(2), 1u);
    picture.BeginSnapshot();
    EXPECT_FALSE(picture.ApplySnapshot(
        {Event("1:1", LINECALLSTATE_CONNECTED), Event("2:1", LINECALLSTATE_OFFERING, "103")}));
}

TEST_F(CallPictureTest, EventsWhileASnapshotIsOnItsWayAreNewerThanIt) {
    picture.Apply(Event("1:1", LINECALLSTATE_OFFERING));
    picture.BeginSnapshot();
    picture.Apply(Event("1:1", 0));                       // ended after the list was taken
    picture.Apply(Event("1:2", LINECALLSTATE_OFFERING));  // new after it
    picture.Apply(Event("1:3", LINECALLSTATE_OFFERING));
    picture.Apply(Event("1:3", LINECALLSTATE_CONNECTED));  // answered after it
    picture.ApplySnapshot(
        {Event("1:1", LINECALLSTATE_OFFERING), Event("1:3", LINECALLSTATE_OFFERING)});
    ASSERT_EQ(Calls(0), 2u);
    EXPECT_EQ(picture.Find(picture.CallsOn(0)[0])->state, LINECALLSTATE_OFFERING);   // 1:2
    EXPECT_EQ(picture.Find(picture.CallsOn(0)[1])->state, LINECALLSTATE_CONNECTED);  // 1:3
    // The next snapshot is the truth again.
    picture.BeginSnapshot();
    picture.ApplySnapshot({});
    EXPECT_EQ(Calls(0), 0u);
}

TEST_F(CallPictureTest, ALineTracksABoundedNumberOfCallsAndClearEmptiesAll) {
    for (std::size_t i = 0; i < CallPicture::kMaxCallsPerLine + 5; ++i)
        picture.Apply(Event("9:" + std::to_string(i), LINECALLSTATE_OFFERING));
    EXPECT_EQ(Calls(0), CallPicture::kMaxCallsPerLine);
    EXPECT_TRUE(picture.Clear());
    EXPECT_EQ(Calls(0), 0u);
    EXPECT_FALSE(picture.Clear());
    EXPECT_TRUE(picture.CallsOn(7).empty());
}

}  // namespace

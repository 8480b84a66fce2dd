// The message link: the cvelmessage library's queues, and the framework's poll against a
// scripted message module.
#include <cstring>
#include <string>

#include "stages/message_link.h"
#include "stages_fixture.h"

namespace {

using stages_test::LinkLibrary;
using stages_test::Message;

// ---------------------------------------------------------------------------------------
// The link library itself
// ---------------------------------------------------------------------------------------

class LinkLibraryTest : public ::testing::Test {
protected:
    LinkLibrary link{KORVAN_RUN_TREE};
    int receiver_a = 0, receiver_b = 0;  // two vessel identities
};

TEST_F(LinkLibraryTest, DeliversEachReceiversPairsInTheOrderSentThenAnswersMinusOne) {
    ASSERT_NE(link.handle, nullptr);
    link.send()(&receiver_a, "STAGE", "STAGE S m c 0 0 0 1 0 0");
    link.send()(&receiver_b, "PAYLOAD", "PAYLOAD P m c 0 0 0 1 0 0");
    link.send()(&receiver_a, "ENDSTAGE", "ENDSTAGE");

    char keyword[256] = {}, text[2048] = {};
    EXPECT_EQ(link.check()(&receiver_a, keyword, text), 1);  // one more waiting
    EXPECT_STREQ(keyword, "STAGE");
    EXPECT_STREQ(text, "STAGE S m c 0 0 0 1 0 0");
    EXPECT_EQ(link.check()(&receiver_a, keyword, text), 0);
    EXPECT_STREQ(keyword, "ENDSTAGE");
    EXPECT_EQ(link.check()(&receiver_a, keyword, text), -1);
    EXPECT_EQ(link.check()(&receiver_a, keyword, text), -1);
    EXPECT_EQ(link.take_all(&receiver_b), (std::vector<Message>{{"PAYLOAD", "PAYLOAD P m c 0 0 0 1 0 0"}}));
}

TEST_F(LinkLibraryTest, CutsLongPairsToTheBuffersAndAlwaysTerminates) {
    const std::string long_keyword(1000, 'k');
    const std::string long_text(5000, 't');
    link.send()(&receiver_a, long_keyword.c_str(), long_text.c_str());

    char keyword[256], text[2048];
    std::memset(keyword, 'x', sizeof keyword);
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(link.check()(&receiver_a, keyword, text), 0);
    EXPECT_EQ(std::string(keyword), std::string(255, 'k'));
    EXPECT_EQ(std::string(text), std::string(2047, 't'));
}

TEST_F(LinkLibraryTest, RefusesPairsWithoutAReceiverAndNeverFillsMissingBuffers) {
    EXPECT_EQ(link.send()(nullptr, "PAYLOAD", "PAYLOAD x"), -1);
    link.send()(&receiver_a, "PAYLOAD", "PAYLOAD x");
    EXPECT_EQ(link.check()(&receiver_a, nullptr, nullptr), -1);
    EXPECT_EQ(link.take_all(&receiver_a).size(), 1u);  // still waiting for a real poll
}

// ---------------------------------------------------------------------------------------
// The poll, against a scripted module
// ---------------------------------------------------------------------------------------

struct FakeLink {
    FakeLink() : handle(LoadLibraryA(STAGES_TEST_RUN_TREE "/fake/FakeCveLink")) {
        reset = runtime::procedure<void (*)()>(handle, "FakeLinkReset");
        push = runtime::procedure<void (*)(int, const char*, const char*)>(handle, "FakeLinkPush");
        push_unterminated = runtime::procedure<void (*)(int)>(handle, "FakeLinkPushUnterminated");
        forever = runtime::procedure<void (*)(int, const char*, const char*)>(handle, "FakeLinkForever");
        calls = runtime::procedure<int (*)()>(handle, "FakeLinkCalls");
        reset();
    }
    ~FakeLink() { FreeLibrary(handle); }
    HMODULE handle;
    void (*reset)();
    void (*push)(int, const char*, const char*);
    void (*push_unterminated)(int);
    void (*forever)(int, const char*, const char*);
    int (*calls)();
};

// A framework vessel whose link is the scripted module, and which records the lines that
// reach its hook.
class ScriptedVessel : public COMMON_VESSEL_EX {
public:
    explicit ScriptedVessel(OBJHANDLE h) : COMMON_VESSEL_EX(h) {
        release_message_module(msg_module);
        msg_module = LoadLibraryA(STAGES_TEST_RUN_TREE "/fake/FakeCveLink");
    }
    ~ScriptedVessel() override {
        release_message_module(msg_module);
        msg_module = nullptr;
    }
    void clbkCVELine(const char* keyword, const char* text) override { hook_lines.emplace_back(keyword, text); }
    void drop_link() {
        release_message_module(msg_module);
        msg_module = nullptr;
    }
    std::vector<Message> hook_lines;
};

class PollTest : public ::testing::Test {
protected:
    void SetUp() override {
        world.set_root(KORVAN_RUN_TREE);
        world.add_class(stages_test::plain_class("Frame", 2.0, 100.0, 0.0));
        runtime::VesselRecord* rec = world.instantiate_vessel("F1", "Frame");
        ASSERT_NE(rec, nullptr);
        delete rec->iface;
        vessel = new ScriptedVessel(rec);
        rec->iface = vessel;
        fake.reset();
    }
    runtime::World world;
    FakeLink fake;
    ScriptedVessel* vessel = nullptr;
};

constexpr const char* kItemA = "PAYLOAD A a.msh Drop 1 0 0 10 0 0";
constexpr const char* kItemB = "PAYLOAD B b.msh Drop 2 0 0 20 0 0";

TEST_F(PollTest, DispatchesWhileTheModuleAnswersZeroAndStopsAtMinusOne) {
    fake.push(0, "PAYLOAD", kItemA);
    fake.push(0, "PAYLOAD", kItemB);
    fake.push(-1, "", "");
    EXPECT_TRUE(vessel->poll_messages());
    EXPECT_EQ(fake.calls(), 3);
    EXPECT_EQ(vessel->item_count(), 2);
    EXPECT_STREQ(vessel->item(1).name, "B");
    EXPECT_FALSE(vessel->poll_messages());
}

TEST_F(PollTest, DispatchesTheMessageThatComesWithMinusTwoAndStops) {
    fake.push(-2, "PAYLOAD", kItemA);
    fake.push(0, "PAYLOAD", kItemB);
    EXPECT_TRUE(vessel->poll_messages());
    EXPECT_EQ(fake.calls(), 1);
    EXPECT_EQ(vessel->item_count(), 1);
}

TEST_F(PollTest, DropsPairsWithAnEmptyTextAndReportsNothingDispatched) {
    fake.push(0, "PAYLOAD", "");
    fake.push(-1, "", "");
    EXPECT_FALSE(vessel->poll_messages());
    EXPECT_EQ(vessel->item_count(), 0);
}

TEST_F(PollTest, HandsOtherKeywordsToTheHookAndFillsTheOutputBuffersWithTheLastMessage) {
    fake.push(0, "PAYLOAD", kItemA);
    fake.push(0, "HELLO", "HELLO there");
    fake.push(-1, "", "");
    char keyword[256] = {}, text[2048] = {};
    EXPECT_TRUE(vessel->poll_messages(keyword, text));
    EXPECT_EQ(vessel->hook_lines, (std::vector<Message>{{"HELLO", "HELLO there"}}));
    EXPECT_STREQ(keyword, "HELLO");
    EXPECT_STREQ(text, "HELLO there");
}

TEST_F(PollTest, TerminatesWhatTheModuleLeftUnterminated) {
    fake.push_unterminated(0);
    fake.push(-1, "", "");
    char keyword[256], text[2048];
    std::memset(keyword, 'x', sizeof keyword);
    std::memset(text, 'x', sizeof text);
    EXPECT_TRUE(vessel->poll_messages(keyword, text));
    EXPECT_EQ(std::string(keyword), std::string(255, 'K'));
    EXPECT_EQ(std::string(text), std::string(2047, 'T'));
    ASSERT_EQ(vessel->hook_lines.size(), 1u);
    EXPECT_EQ(vessel->hook_lines[0].second, std::string(2047, 'T'));
}

// A module that never ends a poll: each poll asks it 4096 times at most, and the poll
// after a saturated one returns false, so a caller draining the link ends.
TEST_F(PollTest, ModuleThatNeverAnswersNegativeCannotHangTheVessel) {
    fake.forever(0, "HELLO", "HELLO again");
    EXPECT_TRUE(vessel->poll_messages());
    EXPECT_EQ(fake.calls(), 4096);
    EXPECT_FALSE(vessel->poll_messages());
    EXPECT_EQ(fake.calls(), 4096);

    int drains = 0;
    if (vessel->poll_messages()) {
        while (vessel->poll_messages()) ++drains;
    }
    EXPECT_EQ(drains, 0);
}

TEST_F(PollTest, WithoutAModuleEveryPollIsFalseAndSendingDoesNothing) {
    vessel->drop_link();
    fake.push(0, "PAYLOAD", kItemA);
    EXPECT_FALSE(vessel->poll_messages());
    vessel->SendCVEMessage(vessel, "PAYLOAD", kItemA);
    EXPECT_EQ(fake.calls(), 0);
}

TEST(KorvanMessages, AllMessagesOfOneStepAreAppliedBeforeOneRebuild) {
    korvan_test::VesselWorld env;
    env.world.add_class(stages_test::plain_class("Drop", 2.0, 500.0, 0.0));
    Korvan* korvan = env.make();
    ASSERT_NE(korvan, nullptr);
    LinkLibrary link(KORVAN_RUN_TREE);
    env.step(korvan);
    const double hull_mass = korvan->GetEmptyMass();
    const std::size_t hull_meshes = env.def(korvan).meshes.size();
    const int rebuilds_before = env.def(korvan).mesh_clears;
    env.step(korvan);
    EXPECT_EQ(env.def(korvan).mesh_clears, rebuilds_before) << "no messages, no rebuild";

    VESSEL* self = korvan;
    link.send()(self, "STAGE", "STAGE S s.msh Drop 0 0 -10 300 0 0");
    link.send()(self, "PAYLOAD", "PAYLOAD A a.msh Drop 0 1 -12 50 0 0");
    link.send()(self, "ENDSTAGE", "ENDSTAGE");
    link.send()(self, "PAYLOAD", "PAYLOAD B b.msh Drop 0 -1 -14 70 0 0");
    env.step(korvan);

    EXPECT_EQ(env.def(korvan).mesh_clears, rebuilds_before + 1) << "one rebuild for the whole step";
    ASSERT_EQ(korvan->item_count(), 3);
    EXPECT_EQ(korvan->item(1).parent, 0);
    EXPECT_EQ(korvan->item(2).parent, -1);
    EXPECT_EQ(korvan->current_open_group(), -1);
    // The rebuild came after the last message: every item shows and weighs.
    EXPECT_EQ(env.def(korvan).meshes.size(), hull_meshes + 3);
    EXPECT_DOUBLE_EQ(korvan->GetEmptyMass(), hull_mass + 300.0 + 50.0 + 70.0);
    EXPECT_TRUE(link.take_all(self).empty());
}

TEST(MessageModule, LoadsFromTheRunTreeAndReleasesNullQuietly) {
    runtime::World world;
    world.set_root(KORVAN_RUN_TREE);
    HMODULE m = load_message_module();
    EXPECT_NE(m, nullptr);
    EXPECT_NE(GetProcAddress(m, "CheckCMessage"), nullptr);
    release_message_module(m);
    release_message_module(nullptr);
}

}  // namespace

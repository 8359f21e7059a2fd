// Finding the CAD, bringing it forward, waiting until it is idle, parsing point texts.
#include <vector>

#include "cadlink/connection.h"
#include "cadlink/embedded/document.h"
#include "test_util.h"

namespace pimu::cadlink {
namespace {

struct RecordingSleeper : ISleeper {
    std::vector<int> waits;
    void Sleep(int ms) override { waits.push_back(ms); }
};

// A CAD that is busy for a number of polls.
class BusyApp : public IApplication {
public:
    explicit BusyApp(int busyPolls) : busy_(busyPolls) {}
    std::intptr_t HWND() override { return 42; }
    IDocument &ActiveDocument() override { throw CadError("no document"); }
    CadStatePtr GetAcadState() override { return State("acad"); }
    CadStatePtr GetGcadState() override { return State("gcad"); }
    CadStatePtr GetZcadState() override { return State("zcad"); }
    std::vector<std::string> calls;

private:
    struct S : ICadState {
        bool idle;
        explicit S(bool i) : idle(i) {}
        bool IsQuiescent() override { return idle; }
    };
    int busy_;
    CadStatePtr State(const char *which) {
        calls.push_back(which);
        return std::make_shared<S>(busy_-- <= 0);
    }
};

TEST(Connection, StateMemberFollowsTheProgIdWords) {
    const std::pair<const char *, StateMember> cases[] = {
        {"GCAD.Application.23", StateMember::Gcad},
        {"GCAD.Application.24", StateMember::Acad},
        {"gcad.application.25", StateMember::Acad},
        {"GstarCAD.GCAD.Application", StateMember::Gcad},  // not a number: version 0
        {"ZWCAD.Application", StateMember::Zcad},
        {"zwcad.application.2024", StateMember::Zcad},
        {"BricscadApp.AcadApplication", StateMember::Acad},
        {"PCAD.Application", StateMember::Acad},
    };
    for (const auto &[progId, member] : cases)
        EXPECT_EQ(ChooseStateMember(progId), member) << progId;
}

TEST(Connection, FamilyWordsKeepTheirCase) {
    EXPECT_TRUE(IsPcadFamily("PCAD.Application"));
    EXPECT_FALSE(IsPcadFamily("pcad.application"));
    EXPECT_TRUE(IsAutoFamily("AutoCAD.Application"));
    EXPECT_FALSE(IsAutoFamily("AUTOCAD.Application"));
}

TEST(Connection, WaitQuiescentPollsUntilIdleOrStopped) {
    RecordingSleeper sleeper;
    BusyApp app(2);
    EXPECT_TRUE(WaitQuiescent(app, "ZWCAD.Application", 200, sleeper, NoProgress()));
    EXPECT_EQ(sleeper.waits, (std::vector<int>{200, 200, 200, 200}));
    EXPECT_EQ(app.calls, (std::vector<std::string>{"zcad", "zcad", "zcad"}));

    // A CAD that never becomes idle: the user's stop ends the wait.
    RecordingSleeper s2;
    BusyApp never(1000000);
    struct StopAtFifthPoll : Progress {
        int polls = 0;
        bool KeepRunning() override { return ++polls != 5; }
    } user;
    EXPECT_FALSE(WaitQuiescent(never, "GCAD.Application.23", 100, s2, user));
    EXPECT_EQ(never.calls.size(), 5u);
    EXPECT_EQ(never.calls.front(), "gcad");

    // The embedded drawing is idle at once, whatever member the words choose.
    auto app2 = std::make_shared<embedded::EmbeddedApplication>(
        std::make_shared<embedded::EmbeddedDocument>());
    RecordingSleeper s3;
    EXPECT_TRUE(WaitQuiescent(*app2, "GCAD.Application.22", 100, s3, NoProgress()));
    EXPECT_TRUE(WaitQuiescent(*app2, "ZWCAD.Application", 100, s3, NoProgress()));
    EXPECT_TRUE(WaitQuiescent(*app2, "AutoCAD.Application", 100, s3, NoProgress()));
    EXPECT_EQ(app2->gcadStateCalls, 1);
    EXPECT_EQ(app2->zcadStateCalls, 1);
    EXPECT_EQ(app2->acadStateCalls, 1);
}

struct FakeDesktop : IDesktop {
    bool iconic = true;
    std::intptr_t foreground = 0;
    std::vector<std::string> log;
    bool IsIconic(std::intptr_t) override { return iconic; }
    void OpenIcon(std::intptr_t) override { log.push_back("open"); }
    void SetForegroundWindow(std::intptr_t h) override {
        log.push_back("front");
        foreground = h;
    }
    std::intptr_t GetForegroundWindow() override { return foreground; }
    void KeyEscape(bool down) override { log.push_back(down ? "esc down" : "esc up"); }
};

TEST(Connection, BringCadForwardRestoresAndCancelsWithEscape) {
    BusyApp app(0);
    FakeDesktop desktop;
    RecordingSleeper sleeper;
    BringCadForward(app, desktop, sleeper);
    EXPECT_EQ(desktop.log, (std::vector<std::string>{"open", "front", "esc down", "esc up"}));
    EXPECT_EQ(sleeper.waits, (std::vector<int>{500, 5, 200}));

    NullDesktop none;
    RecordingSleeper quiet;
    BringCadForward(app, none, quiet);
    EXPECT_TRUE(quiet.waits.empty());
}

TEST(Connection, RunningCadAndApplication) {
    auto app = std::make_shared<embedded::EmbeddedApplication>(
        std::make_shared<embedded::EmbeddedDocument>());
    EmbeddedConnector running(app);
    EmbeddedConnector absent(nullptr);
    EXPECT_TRUE(IsCadRunning(running, "BricscadApp.AcadApplication"));
    EXPECT_EQ(GetCadApplication(running, "x").get(), app.get());
    EXPECT_FALSE(IsCadRunning(absent, "BricscadApp.AcadApplication"));
    EXPECT_THROW(GetCadApplication(absent, "x"), CadError);
}

TEST(Connection, ParsePoint) {
    struct Case {
        const char *text;
        bool ok;
        double x, y, z;
    };
    const Case cases[] = {
        {"10.5,20", true, 10.5, 20, 0}, {"1,2,3", true, 1, 2, 3},
        {"\"5,6,7\"", true, 5, 6, 7},   {"12", false, 0, 0, 0},
        {",5", false, 0, 0, 0},         {"1,x", false, 1, 0, 0},
        {"1,2,z", false, 1, 2, 0},      {"-1e3, 2 ", true, -1000, 2, 0},
        {"", false, 0, 0, 0},           {"1,5,6,7", false, 1, 5, 0},
    };
    for (const Case &c : cases) {
        const ParsedPoint p = ParsePoint(c.text);
        EXPECT_EQ(p.ok, c.ok) << c.text;
        EXPECT_EQ(p.x, c.x) << c.text;
        EXPECT_EQ(p.y, c.y) << c.text;
        EXPECT_EQ(p.z, c.z) << c.text;
    }
}

TEST(Connection, MessageFilterDecisions) {
    EXPECT_EQ(MessageFilterPolicy::HandleInComingCall(), 0u);
    EXPECT_EQ(MessageFilterPolicy::RetryRejectedCall(2), 1000);
    EXPECT_EQ(MessageFilterPolicy::RetryRejectedCall(1), -1);
    // A CAD busy for longer than the limit is given up, so a hung CAD cannot hold Pimu forever.
    EXPECT_EQ(MessageFilterPolicy::RetryRejectedCall(2, MessageFilterPolicy::kRetryLimitMs - 1),
              1000);
    EXPECT_EQ(MessageFilterPolicy::RetryRejectedCall(2, MessageFilterPolicy::kRetryLimitMs), -1);
    EXPECT_EQ(MessageFilterPolicy::MessagePending(), 1u);
    NullMessageFilter filter;
    filter.RegisterFilter();
    EXPECT_TRUE(filter.registered());
    filter.RevokeFilter();
    EXPECT_FALSE(filter.registered());
}

}  // namespace
}  // namespace pimu::cadlink

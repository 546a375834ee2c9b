// TMan2Man over loopback: probes, a silent partner, recovery, a lossy link, and faults inside the hand-off.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include "net/TMan2Man.h"
#include "net/TMan2ManMessages.h"
#include "net/TReDlg.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;

namespace {

constexpr int L = 500;
constexpr int T = int(kProviderTimeout);

// Counts what each player hands to the layer, by message kind.
class SendCounter {
public:
    SendCounter() {
        SessionTestHooks h = GetSessionTestHooks();
        h.onSend = [this](DPID from, DPID, const void* data, DWORD size) {
            if (size < 4) return;
            std::lock_guard lock(mutex_);
            sends_.push_back({from, man2man::ReadWord(data, 0)});
        };
        SetSessionTestHooks(h);
    }
    int Count(DPID from, uint32_t kind) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& s : sends_) n += s.first == from && s.second == kind;
        return n;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        sends_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<DPID, uint32_t>> sends_;
};

void SetDrop(int percent, HookSide side) {
    SessionTestHooks h = GetSessionTestHooks();
    h.dropPercent = percent;
    h.side = side;
    SetSessionTestHooks(h);
}

class Man2ManLiveness : public ::testing::Test {
protected:
    void SetUp() override {
        for (TMan2Man* m : {&host, &guest, &third}) {
            m->SetLiveCheckInterval(L);
            EXPECT_EQ(m->RegiStruct(record.data(), 56, 1), 0);
        }
    }
    bool ConnectPair(const char* hostName = "Host") {
        if (!Host(host, hostName)) return false;
        prompts.AnswerTexts({""});
        if (!Join(guest, "Guest", hostName)) return false;
        return WaitUntil([&] { return host.Connected(); });
    }

    HooksScope hooks{LoopbackHooks()};
    SendCounter sent;
    ScriptedPrompts prompts;
    std::array<uint8_t, 56> record{};
    TMan2Man host, guest, third;
    EventLog hostLog{host}, guestLog{guest}, thirdLog{third};
};

TEST_F(Man2ManLiveness, SilenceDeclaresThePartnerLostAndRecoverySucceedsWhenItAnswers) {
    ASSERT_TRUE(ConnectPair());
    ASSERT_TRUE(WaitUntil([&] { return host.AliveTimer()->Interval() == 2 * L + T; }));

    QElapsedTimer silence;
    qint64 lostAfter = -1;
    bool recovered = false;
    int probes = 0;
    host.OnLostConnection = [&](TMan2Man* m) {
        lostAfter = silence.elapsed();
        EXPECT_TRUE(m->Lost());
        EXPECT_FALSE(m->SendChat("refused while lost"));
        SetDrop(0, HookSide::Both);  // the partner can be heard again
        recovered = m->RecoverConnection(10000);
        probes = sent.Count(m->PlayerId(0), man2man::kRecoveryCheckerMessage);
    };
    SetDrop(100, HookSide::MemberOnly);  // nothing of the guest's reaches the host
    silence.start();
    ASSERT_TRUE(WaitUntil([&] { return lostAfter >= 0 && (recovered || !host.Initialized()); }));
    // The guest's last probe left at most L before the silence began.
    EXPECT_GE(lostAfter, L + T - 50);
    EXPECT_TRUE(recovered);
    EXPECT_GE(probes, 1);
    EXPECT_TRUE(host.Connected());
    EXPECT_FALSE(host.Lost());
    EXPECT_TRUE(host.AliveTimer()->Running());
    EXPECT_EQ(ReDlg, nullptr);

    ASSERT_TRUE(host.SendChat("back"));
    ASSERT_TRUE(WaitUntil([&] { return guestLog.chatLines.back() == "Host > back"; }));
}

TEST_F(Man2ManLiveness, RecoveryFailsAtTheTimeLimitAndTheComponentDisconnects) {
    ASSERT_TRUE(ConnectPair());
    bool recovered = true;
    int probes = -1;
    host.OnLostConnection = [&](TMan2Man* m) {
        hostLog.Add("lost");
        sent.Clear();
        recovered = m->RecoverConnection(2000);
        probes = sent.Count(m->PlayerId(0), man2man::kRecoveryCheckerMessage);
    };
    SetDrop(100, HookSide::MemberOnly);
    ASSERT_TRUE(WaitUntil([&] { return !host.Initialized(); }));
    EXPECT_FALSE(recovered);
    EXPECT_EQ(probes, 2);  // at 1000 and 2000 ms; the tick after 2000 gives up
    const std::vector<std::string> tail = {"lost", "chat:Master >> また来てね。", "lalabye"};
    ASSERT_GE(hostLog.events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(hostLog.events.end() - 3, hostLog.events.end()), tail);
    SetDrop(0, HookSide::Both);
    ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("lalabye"); }));
}

TEST_F(Man2ManLiveness, IntervalZeroProbesNeverAndAnIdlePartnerProbesEveryInterval) {
    // Both sides: a side that never probes looks silent to a side that watches.
    host.SetLiveCheckInterval(0);
    guest.SetLiveCheckInterval(0);
    ASSERT_TRUE(ConnectPair());
    sent.Clear();
    QTest::qWait(4 * L + 200);
    EXPECT_EQ(sent.Count(host.PlayerId(0), man2man::kLiveCheckerMessage), 0);
    EXPECT_EQ(sent.Count(guest.PlayerId(0), man2man::kLiveCheckerMessage), 0);
    EXPECT_EQ(host.LiveChecksSent() + guest.LiveChecksSent(), 0u);
    EXPECT_FALSE(host.AliveTimer()->Running());
    EXPECT_FALSE(guest.AliveTimer()->Running());

    // Switching the check on while connected takes effect at once, and idle sides probe.
    // The guest is switched once the host's probes reach it: a watch that is enabled
    // restarts with L itself, and would race the partner's first probe.
    sent.Clear();
    host.SetLiveCheckInterval(L);
    ASSERT_TRUE(WaitUntil([&] { return guest.Lost() || sent.Count(host.PlayerId(0), man2man::kLiveCheckerMessage) >= 1; }));
    QTest::qWait(50);
    guest.SetLiveCheckInterval(L);
    ASSERT_TRUE(WaitUntil([&] {
        return sent.Count(host.PlayerId(0), man2man::kLiveCheckerMessage) >= 3 &&
               sent.Count(guest.PlayerId(0), man2man::kLiveCheckerMessage) >= 3;
    }));
    // The partner's first probe started the watch again.
    EXPECT_TRUE(host.AliveTimer()->Running());
    EXPECT_EQ(host.AliveTimer()->Interval(), 2 * L + T);
    EXPECT_TRUE(host.Connected());
    EXPECT_TRUE(guest.Connected());
    EXPECT_FALSE(hostLog.Has("lost") || guestLog.Has("lost"));
}

TEST_F(Man2ManLiveness, ASideThatKeepsSendingSendsNoProbes) {
    ASSERT_TRUE(ConnectPair());
    sent.Clear();
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(host.SendRegiData(0, false));
        QTest::qWait(L / 3);
    }
    EXPECT_EQ(sent.Count(host.PlayerId(0), man2man::kLiveCheckerMessage), 0);
    EXPECT_GE(sent.Count(guest.PlayerId(0), man2man::kLiveCheckerMessage), 2);
}

TEST_F(Man2ManLiveness, ALinkThatDropsThirtyPercentStillDeliversEveryChatLineOnceInOrder) {
    host.SetLiveCheckInterval(0);  // a lossy link must not end in a lost partner here
    guest.SetLiveCheckInterval(0);
    ASSERT_TRUE(ConnectPair());
    hostLog.Clear();
    guestLog.Clear();
    SetDrop(30, HookSide::Both);

    std::vector<std::string> expected;
    for (int i = 0; i < 30; ++i) {
        const std::string line = "line " + std::to_string(i);
        bool sentOk = false;
        // As the user would: a line that could not be delivered is typed again.
        for (int attempt = 0; attempt < 10 && !sentOk; ++attempt) sentOk = host.SendChat(line);
        ASSERT_TRUE(sentOk) << line;
        expected.push_back("Host > " + line);
        if (i % 3 == 0) {
            bool back = false;
            for (int attempt = 0; attempt < 10 && !back; ++attempt) back = guest.SendChat("ack " + std::to_string(i));
            ASSERT_TRUE(back);
        }
    }
    std::vector<std::string> received;
    ASSERT_TRUE(WaitUntil([&] {
        received.clear();
        for (const auto& l : guestLog.chatLines)
            if (l.rfind("Host > ", 0) == 0) received.push_back(l);
        return received.size() >= expected.size();
    }));
    QTest::qWait(300);  // late resends must not show a line twice
    received.clear();
    for (const auto& l : guestLog.chatLines)
        if (l.rfind("Host > ", 0) == 0) received.push_back(l);
    EXPECT_EQ(received, expected);
    EXPECT_EQ(hostLog.Count("chat:Guest > ack 0"), 1);
    EXPECT_GE(host.SendSequence(), 30u);
}

TEST_F(Man2ManLiveness, TheLayersSessionLossIsReportedEvenWithTheCheckSwitchedOff) {
    SessionTestHooks h = GetSessionTestHooks();
    h.keepAliveIntervalMs = 200;
    h.keepAliveTimeoutMs = 1500;
    SetSessionTestHooks(h);
    host.SetLiveCheckInterval(0);
    guest.SetLiveCheckInterval(0);
    ASSERT_TRUE(ConnectPair());
    SetDrop(100, HookSide::MemberOnly);
    ASSERT_TRUE(WaitUntil([&] { return !host.Initialized(); }));
    EXPECT_TRUE(hostLog.Has("lost"));
    EXPECT_TRUE(hostLog.Has("lalabye"));
    SetDrop(0, HookSide::Both);
}

// A handler that throws, or a record nobody registered, must not end the receive loop.
TEST_F(Man2ManLiveness, AnExceptionWhileHandlingAMessageIsShownAndReceivingGoesOn) {
    std::array<uint8_t, 8> other{};
    EXPECT_EQ(guest.RegiStruct(other.data(), 8, 5), 1);
    ASSERT_TRUE(ConnectPair());
    ASSERT_TRUE(guest.SendRegiData(1, false));
    ASSERT_TRUE(WaitUntil([&] { return !prompts.messageTexts().empty(); }));
    const auto shown = prompts.shown().back();
    EXPECT_EQ(shown.text,
              "TMMコンポーネントで例外が発生しました。\n未登録データが届きました。Data ID = 5");
    EXPECT_EQ(shown.caption, "Korvo");
    EXPECT_EQ(shown.icon, PromptIcon::Error);
    EXPECT_FALSE(hostLog.Has("regi:0"));

    host.OnChatComming = [](TMan2Man*) { throw std::runtime_error("handler failed"); };
    ASSERT_TRUE(guest.SendChat("boom"));
    ASSERT_TRUE(WaitUntil([&] { return prompts.messageTexts().back() == "handler failed"; }));

    record[0] = 42;
    guestLog.Clear();
    ASSERT_TRUE(guest.SendRegiData(0, true));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("regi:0"); }));
}

TEST_F(Man2ManLiveness, DisconnectingFromInsideAHandOffNeitherHangsNorLeaksTheLink) {
    ASSERT_TRUE(ConnectPair());
    host.OnRegiDataComming = [&](TMan2Man* m, RegiDataTag) {
        hostLog.Add("regi");
        m->Disconnect();
        EXPECT_FALSE(m->Initialized());
    };
    ASSERT_TRUE(guest.SendRegiData(0, false));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("regi") && guestLog.Has("lalabye"); }));
    EXPECT_FALSE(host.Initialized());
    EXPECT_TRUE(hostLog.Has("lalabye"));

    // The same component hosts again, and a newcomer joins it.
    host.OnRegiDataComming = nullptr;
    ASSERT_TRUE(Host(host, "Again"));
    prompts.AnswerTexts({""});
    ASSERT_TRUE(Join(third, "Third", "Again"));
    ASSERT_TRUE(WaitUntil([&] { return host.Connected(); }));
    ASSERT_TRUE(third.SendChat("hi"));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.chatLines.back() == "Third > hi"; }));
}

TEST_F(Man2ManLiveness, AGuaranteedSendFromInsideAnEventIsAcknowledgedAndWhatCameMeanwhileKeepsItsOrder) {
    ASSERT_TRUE(ConnectPair());
    // The guest answers a record with a guaranteed chat line from inside the event, while the
    // receive thread that brought the record is still held by it.
    bool answered = false;
    guest.OnRegiDataComming = [&](TMan2Man* m, RegiDataTag tag) {
        guestLog.Add("regi:" + std::to_string(tag));
        answered = m->SendChat("got it");
        guestLog.Add(answered ? "answered" : "not answered");
    };
    guestLog.Clear();
    const uint8_t a[4] = {1, 1, 1, 1}, b[4] = {2, 2, 2, 2};
    ASSERT_TRUE(host.SendRegiData(0, false));
    ASSERT_TRUE(host.SendFreeData(a, 4, false));
    ASSERT_TRUE(host.SendFreeData(b, 4, false));
    ASSERT_TRUE(WaitUntil([&] { return guestLog.Count("free:4") == 2 && hostLog.Has("chat:Guest > got it"); }));
    EXPECT_TRUE(answered);
    const std::vector<std::string> expected{"regi:0", "chat:Guest > got it", "answered", "free:4", "free:4"};
    EXPECT_EQ(guestLog.events, expected);
    ASSERT_EQ(guestLog.freeData.size(), 2u);
    EXPECT_EQ(guestLog.freeData[0], std::vector<uint8_t>(a, a + 4));
    EXPECT_EQ(guestLog.freeData[1], std::vector<uint8_t>(b, b + 4));
    // Only one envelope went out: the first attempt was acknowledged.
    EXPECT_EQ(sent.Count(guest.PlayerId(0), man2man::kGuaranteeEnvelope), 1);
}

TEST_F(Man2ManLiveness, SendErrorsReachTheUserOnTheUiThreadOnlyForBusyAndTooBig) {
    host.SendError(DPERR_BUSY);
    host.SendError(DPERR_SENDTOOBIG);
    host.SendError(DPERR_CONNECTIONLOST);
    auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "データの送信が出来ませんでした。\n回線がビジーになっています。");
    EXPECT_EQ(shown[1].text, "データの送信が出来ませんでした。\nデータが大きすぎます。");
    for (const auto& s : shown) {
        EXPECT_EQ(s.caption, "エラー：　データの送信が出来ませんでした。");
        EXPECT_EQ(s.icon, PromptIcon::Warning);
    }
    // From another thread (the checker's) the box waits for the UI thread.
    std::thread worker([&] { host.SendError(DPERR_BUSY); });
    worker.join();
    EXPECT_EQ(prompts.shown().size(), 2u);
    ASSERT_TRUE(WaitUntil([&] { return prompts.shown().size() == 3u; }));
}

TEST_F(Man2ManLiveness, RecoveryIsOnlyOfferedForALostPartner) {
    EXPECT_FALSE(host.RecoverConnection(1000));
    ASSERT_TRUE(ConnectPair());
    EXPECT_FALSE(host.RecoverConnection(1000));
    EXPECT_EQ(ReDlg, nullptr);
}

}  // namespace

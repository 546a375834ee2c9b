// Two TMan2Man components in one process over loopback: connecting, records, free data, chat, partners leaving and arriving.
#include <gtest/gtest.h>

#include <QTimer>
#include <array>
#include <cstring>

#include "net/TMan2Man.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;

namespace {

struct Records {
    std::array<uint8_t, 56> line{};
    std::array<uint8_t, 64> circle{};
    void Register(TMan2Man& m) {
        EXPECT_EQ(m.RegiStruct(line.data(), 56, 1), 0);
        EXPECT_EQ(m.RegiStruct(circle.data(), 64, 2), 1);
    }
};

void Fill(uint8_t* p, size_t n, uint8_t seed) {
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(seed + i * 7);
}

class Man2ManSession : public ::testing::Test {
protected:
    void SetUp() override {
        for (TMan2Man* m : {&host, &guest, &third}) m->SetLiveCheckInterval(500);
        hostRecords.Register(host);
        guestRecords.Register(guest);
        thirdRecords.Register(third);
    }
    bool ConnectPair(int connection = kUdp) {
        if (!Host(host, "Host", connection)) return false;
        prompts.AnswerTexts({""});
        if (!Join(guest, "Guest", "Host", connection)) return false;
        return WaitUntil([&] { return host.Connected(); });
    }

    HooksScope hooks{LoopbackHooks()};
    ScriptedPrompts prompts;
    TMan2Man host, guest, third;
    EventLog hostLog{host}, guestLog{guest}, thirdLog{third};
    Records hostRecords, guestRecords, thirdRecords;
};

TEST_F(Man2ManSession, HostAndGuestConnectAndComposeTheirGreetings) {
    ASSERT_TRUE(ConnectPair());
    EXPECT_TRUE(guest.Connected());
    EXPECT_FALSE(host.Lost());
    EXPECT_FALSE(host.GuaranteedSupported());
    EXPECT_EQ(host.ProviderTimeout(), int(kProviderTimeout));
    EXPECT_EQ(host.GetPlayerName(wiMe), "Host");
    EXPECT_EQ(host.GetPlayerName(wiPartner), "Guest");
    EXPECT_EQ(guest.GetPlayerName(wiPartner), "Host");
    EXPECT_EQ(guest.GetPlayerName(wiMaster), "Master");
    EXPECT_EQ(host.LastServiceIndex(), kUdp);
    EXPECT_EQ(guest.LastEnteredName(), "Guest");

    const std::vector<std::string> hostExpected = {
        "chat:Master >> ようこそ、Hostさん。", "arrived:host", "chat:Master >> Guestさんが来ました。"};
    EXPECT_EQ(hostLog.events, hostExpected);
    const std::vector<std::string> guestExpected = {"arrived:guest",
                                                    "chat:Master >> ようこそ、Guestさん。"};
    EXPECT_EQ(guestLog.events, guestExpected);
    // The composed line is Shift-JIS, byte for byte.
    EXPECT_EQ(guestLog.chatLines.back(), "Master" + Sjis(" >> ようこそ、") + "Guest" + Sjis("さん。"));
    EXPECT_TRUE(prompts.messageTexts().empty());
    // A partner is there: the guest waits 2 x L for the first message, the host has seen one.
    ASSERT_NE(host.AliveTimer(), nullptr);
    EXPECT_TRUE(host.AliveTimer()->Running());
    EXPECT_EQ(host.AliveTimer()->Interval(), 2 * 500 + int(kProviderTimeout));
}

TEST_F(Man2ManSession, RegisteredRecordsOf56And64BytesTravelBothWays) {
    ASSERT_TRUE(ConnectPair());
    hostLog.Clear();
    guestLog.Clear();

    Fill(hostRecords.line.data(), 56, 1);
    ASSERT_TRUE(host.SendRegiData(0, false));
    ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("regi:0"); }));
    EXPECT_EQ(guestRecords.line, hostRecords.line);

    Fill(hostRecords.circle.data(), 64, 50);
    ASSERT_TRUE(host.SendRegiData(1, true));  // through the own acknowledged delivery
    ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("regi:1"); }));
    EXPECT_EQ(guestRecords.circle, hostRecords.circle);
    EXPECT_EQ(host.SendSequence(), 1u);

    Fill(guestRecords.line.data(), 56, 99);
    Fill(guestRecords.circle.data(), 64, 150);
    ASSERT_TRUE(guest.SendRegiData(1, false));
    ASSERT_TRUE(guest.SendRegiData(0, true));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("regi:0") && hostLog.Has("regi:1"); }));
    EXPECT_EQ(hostRecords.line, guestRecords.line);
    EXPECT_EQ(hostRecords.circle, guestRecords.circle);

    // Out-of-range tags are refused without sending anything.
    EXPECT_FALSE(host.SendRegiData(-1, false));
    EXPECT_FALSE(host.SendRegiData(2, false));
}

TEST_F(Man2ManSession, FreeDataArrivesWhole) {
    ASSERT_TRUE(ConnectPair());
    std::vector<uint8_t> block(1000);
    Fill(block.data(), block.size(), 3);
    ASSERT_TRUE(guest.SendFreeData(block.data(), unsigned(block.size()), true));
    ASSERT_TRUE(host.SendFreeData(block.data(), 10, false));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("free:1000") && guestLog.Has("free:10"); }));
    EXPECT_EQ(hostLog.freeData.front(), block);
    EXPECT_EQ(guestLog.freeData.front(), std::vector<uint8_t>(block.begin(), block.begin() + 10));
    EXPECT_GE(host.PoolCapacity(2), 18u);
    EXPECT_EQ(guest.PoolCapacity(2), 1100u);

    EXPECT_FALSE(host.SendFreeData(nullptr, 10, false));
    EXPECT_FALSE(host.SendFreeData(block.data(), 0, false));
}

TEST_F(Man2ManSession, ChatLinesAreComposedOnBothSidesWithTheirNames) {
    ASSERT_TRUE(ConnectPair());
    hostLog.Clear();
    guestLog.Clear();

    const std::string hello = Sjis("こんにちは、図面を送ります");
    ASSERT_TRUE(host.SendChat(hello));
    EXPECT_EQ(hostLog.chatLines, std::vector<std::string>{"Host > " + hello});
    ASSERT_TRUE(WaitUntil([&] { return !guestLog.chatLines.empty(); }));
    EXPECT_EQ(guestLog.chatLines, std::vector<std::string>{"Host > " + hello});
    ChatEvent event;
    WhoIs who;
    std::string text;
    guest.ReadChatEx(event, who, text);
    EXPECT_EQ(event, ceChat);
    EXPECT_EQ(who, wiPartner);
    EXPECT_EQ(text, hello);

    ASSERT_TRUE(guest.SendChat("ok"));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.chatLines.size() == 2; }));
    EXPECT_EQ(hostLog.chatLines.back(), "Guest > ok");
    EXPECT_EQ(guestLog.chatLines.back(), "Guest > ok");

    // An empty line is "sent" without sending or composing anything.
    EXPECT_TRUE(host.SendChat(""));
    QTest::qWait(200);
    EXPECT_EQ(hostLog.chatLines.size(), 2u);
    EXPECT_EQ(guestLog.chatLines.size(), 2u);
}

TEST_F(Man2ManSession, ConnectingWhileConnectedShowsNoDialog) {
    ASSERT_TRUE(ConnectPair());
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        if (CoDlg) {
            dialogShown = true;
            CoDlg->reject();
        }
    });
    EXPECT_TRUE(guest.LetsConnect(kKorvoApplicationGuid));
    QTest::qWait(50);
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(CoDlg, nullptr);
}

TEST_F(Man2ManSession, TheGuestLeavesAndASecondGuestArrivesWithoutADialogOnTheHost) {
    ASSERT_TRUE(ConnectPair());
    ASSERT_TRUE(host.SendChat("one"));
    EXPECT_EQ(host.SendSequence(), 1u);
    hostLog.Clear();
    guestLog.Clear();

    guest.Disconnect();
    EXPECT_FALSE(guest.Initialized());
    const std::vector<std::string> guestExpected = {"chat:Master >> また来てね。", "lalabye"};
    EXPECT_EQ(guestLog.events, guestExpected);
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("lalabye"); }));
    EXPECT_FALSE(host.Connected());
    EXPECT_TRUE(host.Initialized());
    EXPECT_EQ(host.GetPlayerName(wiPartner), "");
    EXPECT_FALSE(host.AliveTimer()->Running());
    EXPECT_FALSE(host.SendChat("nobody"));

    prompts.AnswerTexts({""});
    ASSERT_TRUE(Join(third, "Third", "Host"));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("arrived:host"); }));
    const std::vector<std::string> hostExpected = {"chat:Master >> Guestさんが帰りました。", "lalabye",
                                                   "arrived:host", "chat:Master >> Thirdさんが来ました。"};
    EXPECT_EQ(hostLog.events, hostExpected);
    EXPECT_TRUE(prompts.messageTexts().empty());

    // The acknowledged delivery starts again from 0 with the new partner.
    EXPECT_EQ(host.SendSequence(), 0u);
    ASSERT_TRUE(host.SendChat("two"));
    ASSERT_TRUE(WaitUntil([&] { return !thirdLog.chatLines.empty() &&
                                       thirdLog.chatLines.back() == "Host > two"; }));
    ASSERT_TRUE(third.SendChat("three"));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.chatLines.back() == "Third > three"; }));
}

TEST_F(Man2ManSession, TheHostLeavesAndTheGuestBecomesHostUnderItsOwnName) {
    ASSERT_TRUE(ConnectPair());
    guestLog.Clear();
    host.Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("lalabye"); }));
    EXPECT_EQ(guestLog.events.front(), "chat:Master >> Hostさんが帰りました。");
    EXPECT_FALSE(guest.Connected());
    EXPECT_TRUE(guest.Initialized());

    // A newcomer's search lists the session under the new host's name and joins it.
    prompts.AnswerTexts({""});
    ASSERT_TRUE(Join(third, "Third", "Guest"));
    ASSERT_TRUE(WaitUntil([&] { return guest.Connected(); }));
    EXPECT_TRUE(guestLog.Has("arrived:host"));
    EXPECT_EQ(third.GetPlayerName(wiPartner), "Guest");
    ASSERT_TRUE(third.SendChat("hello"));
    ASSERT_TRUE(WaitUntil([&] { return guestLog.chatLines.back() == "Third > hello"; }));
}

TEST_F(Man2ManSession, TheGuaranteedConnectionSendsWithoutTheOwnEnvelopes) {
    ASSERT_TRUE(ConnectPair(kTcp));
    EXPECT_TRUE(host.GuaranteedSupported());
    ASSERT_TRUE(host.SendChat("over tcp"));
    Fill(guestRecords.circle.data(), 64, 7);
    ASSERT_TRUE(guest.SendRegiData(1, true));
    ASSERT_TRUE(WaitUntil([&] {
        return !guestLog.chatLines.empty() && guestLog.chatLines.back() == "Host > over tcp" &&
               hostLog.Has("regi:1");
    }));
    EXPECT_EQ(hostRecords.circle, guestRecords.circle);
    EXPECT_EQ(host.SendSequence(), 0u);
    EXPECT_EQ(guest.SendSequence(), 0u);
}

TEST_F(Man2ManSession, CancellingEitherDialogLeavesTheComponentIdle) {
    {
        DialogDriver d;
        d.CancelConnection();
        EXPECT_FALSE(host.LetsConnect(kKorvoApplicationGuid));
    }
    EXPECT_FALSE(host.Initialized());
    EXPECT_EQ(host.DirectPlay(), nullptr);
    // The cancelled dialog had offered the guaranteed connection, and its choice is kept.
    EXPECT_EQ(host.LastServiceIndex(), kTcp);
    {
        DialogDriver d;
        d.ChooseConnection(kTcp).TypeName("  Typed  ").Click(&TSeDlg::CancelBtn);
        EXPECT_FALSE(host.LetsConnect(kKorvoApplicationGuid));
        EXPECT_TRUE(d.Finished());
    }
    EXPECT_FALSE(host.Initialized());
    EXPECT_EQ(host.LastServiceIndex(), kTcp);
    EXPECT_EQ(host.LastEnteredName(), "  Typed  ");
    EXPECT_TRUE(hostLog.events.empty());
}

}  // namespace

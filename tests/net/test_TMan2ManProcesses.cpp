// Host and guest as two separate processes over loopback.
#include <gtest/gtest.h>

#include <QProcess>
#include <array>

#include "net/TMan2Man.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;

namespace {

void JoinChatEchoAndLeave(const char* passphrase) {
    SessionTestHooks settings = LoopbackHooks();
    settings.providerTimeoutMs = kTwoProcessProviderTimeout;
    HooksScope hooks(settings);
    ScriptedPrompts prompts;
    std::array<uint8_t, 56> record{};
    TMan2Man host;
    host.SetLiveCheckInterval(500);
    ASSERT_EQ(host.RegiStruct(record.data(), 56, 1), 0);
    EventLog log(host);
    ASSERT_TRUE(Host(host, "Host", kUdp, passphrase));
    EXPECT_EQ(host.Protected(), *passphrase != 0);
    const uint16_t port = DPlayLastHostPort();
    ASSERT_NE(port, 0);

    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList arguments{QString::number(port), QStringLiteral("Host"), QStringLiteral("Peer")};
    if (*passphrase != 0) arguments << QString::fromUtf8(passphrase);
    peer.start(QStringLiteral(KORVO_MAN2MAN_PEER), arguments);
    ASSERT_TRUE(peer.waitForStarted(10000));

    const std::string greeting = "chat:Peer > 別のプロセスからこんにちは";
    ASSERT_TRUE(WaitUntil([&] { return log.Has(greeting); }));
    EXPECT_TRUE(host.Connected());
    EXPECT_EQ(host.GetPlayerName(wiPartner), "Peer");
    const std::vector<std::string> arrival{"chat:Master >> ようこそ、Hostさん。", "arrived:host",
                                           "chat:Master >> Peerさんが来ました。", greeting};
    EXPECT_EQ(log.events, arrival);

    // A record goes over and comes back from the other process with every byte increased.
    for (size_t i = 0; i < record.size(); ++i) record[i] = uint8_t(i * 3);
    ASSERT_TRUE(host.SendRegiData(0, false));
    ASSERT_TRUE(WaitUntil([&] { return log.Has("regi:0"); }));
    for (size_t i = 0; i < record.size(); ++i) ASSERT_EQ(record[i], uint8_t(i * 3 + 1)) << i;

    log.Clear();
    ASSERT_TRUE(host.SendChat("bye"));
    ASSERT_TRUE(WaitUntil([&] { return log.Has("lalabye"); }));
    ASSERT_TRUE(WaitUntil([&] { return peer.state() == QProcess::NotRunning; }));
    EXPECT_EQ(peer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(peer.exitCode(), 0);
    EXPECT_FALSE(host.Connected());
    EXPECT_TRUE(log.Has("chat:Master >> Peerさんが帰りました。")) << log.events.size();
    EXPECT_TRUE(prompts.messageTexts().empty());
}

}  // namespace

TEST(Man2ManProcesses, AGuestInAnotherProcessJoinsChatsEchoesRecordsAndLeaves) {
    JoinChatEchoAndLeave("");
}

TEST(Man2ManProcesses, AGuestInAnotherProcessThatKnowsThePassphraseDoesAllThatUnderProtection) {
    JoinChatEchoAndLeave("やまとかわ 2026");
}

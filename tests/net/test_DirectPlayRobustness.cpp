// Tests of the session layer against strangers, garbage and lossy links, over loopback.
#include <QTcpSocket>
#include <QUdpSocket>
#include <random>

#include "net/DPlayWire.h"
#include "tests/net/DPlayTestSupport.h"
#include "tests/support/ScriptedPrompts.h"

using namespace dptest;

namespace {

struct Connected {
    ScriptedPrompts prompts;
    HooksScope hooks;
    Side host, guest;
    explicit Connected(int connection, SessionTestHooks h = LoopbackHooks()) : hooks(h) {
        prompts.AnswerTexts({std::string()});
        EXPECT_EQ(Host(host, connection, "Host"), DP_OK);
        EXPECT_EQ(Init(guest, connection), DP_OK);
        auto found = FindNamed(guest.dp, "Host");
        EXPECT_TRUE(found);
        if (found) {
            EXPECT_EQ(Join(guest, found->instance, "Guest"), DP_OK);
        }
        EXPECT_TRUE(NextSystem(host, DPSYS_CREATEPLAYERORGROUP));
    }
    // Data still flows both ways, and nothing but that data was waiting. The unguaranteed
    // connection may lose a datagram while the socket buffer is still full of garbage, so a
    // send that is not answered within a second is repeated.
    void ExpectStillWorking() {
        ExpectDelivered(guest, host, Pattern(16, 1));
        ExpectDelivered(host, guest, Pattern(16, 2));
    }
    static void ExpectDelivered(Side& from, Side& to, const std::vector<std::uint8_t>& bytes) {
        std::optional<Got> got;
        for (int attempt = 0; attempt < 10 && !got; ++attempt) {
            ASSERT_EQ(SendBytes(from, to.player, bytes), DP_OK);
            got = Next(to, 1s);
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(got->bytes, bytes);
        // A repeated send may still arrive late: whatever else is queued must be that data.
        while (auto more = Next(to, 200ms)) EXPECT_EQ(more->bytes, bytes);
    }
};

std::vector<std::uint8_t> Forged(dpwire::Body body, std::uint32_t key) {
    return dpwire::Encode(dpwire::Message{key, std::move(body)});
}

}  // namespace

TEST(DPlayRobustness, DatagramsFromAForeignSocketNeverReachAPlayerAndDoNotHarmTheSession) {
    Connected c(0);
    ASSERT_NE(c.guest.player, 0u);
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress::LocalHost, 0));
    std::uint16_t port = DPlayLastHostPort();
    auto fire = [&](const std::vector<std::uint8_t>& bytes) {
        stranger.writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<qint64>(bytes.size()), QHostAddress::LocalHost, port);
    };
    std::mt19937 rng(2024);
    // Well-formed session messages that name the real players, with guessed keys.
    std::vector<std::uint8_t> payload{100, 0, 0, 0, 1, 0, 0, 0};
    dpwire::Control leave;
    leave.sequence = 1;
    leave.kind = dpwire::ControlKind::Leave;
    dpwire::Control destroy;
    destroy.sequence = 1;
    destroy.kind = dpwire::ControlKind::PlayerDestroyed;
    destroy.playerId = c.guest.player;
    for (int i = 0; i < 2000; ++i) {
        std::uint32_t key = rng() | 1;
        fire(Forged(dpwire::Data{c.guest.player, c.host.player, payload.data(), payload.size()},
                    key));
        fire(Forged(leave, key));
        fire(Forged(destroy, key));
        fire(Forged(dpwire::KeepAlive{}, key));
    }
    // Random bytes, and mutated copies of the messages a stranger may send.
    auto enumRequest = Forged(dpwire::EnumRequest{kApp, 5}, 0);
    auto joinRequest = Forged(dpwire::JoinRequest{6, GUID_NULL}, 0);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::uint8_t> m;
        switch (i % 3) {
            case 0:
                m.resize(static_cast<std::size_t>(byte(rng)) * (i % 7 == 0 ? 200 : 1));
                for (auto& b : m) b = static_cast<std::uint8_t>(byte(rng));
                break;
            case 1:
                m = enumRequest;
                break;
            default:
                m = joinRequest;
        }
        if (!m.empty() && i % 3 != 0) {
            for (int e = 0; e < 1 + i % 3; ++e)
                m[static_cast<std::size_t>(byte(rng)) % m.size()] =
                    static_cast<std::uint8_t>(byte(rng));
        }
        if (i % 11 == 0 && !m.empty()) m.resize(m.size() - 1);
        fire(m);
        if (i % 1000 == 0) std::this_thread::sleep_for(1ms);  // let the socket buffer drain
    }
    c.ExpectStillWorking();
    DWORD count = 99;
    ASSERT_EQ(c.host.dp->GetMessageCount(c.host.player, &count), DP_OK);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(c.guest.dp->GetMessageCount(c.guest.player, &count), DP_OK);
    EXPECT_EQ(count, 0u);
}

TEST(DPlayRobustness, AStreamThatBreaksTheFramingIsCutOffWithoutHarmingTheSession) {
    Connected c(1);
    std::uint16_t port = DPlayLastHostPort();
    // A length no message can have.
    QTcpSocket bad;
    bad.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(bad.waitForConnected(20000));
    bad.write(QByteArray("\xFF\xFF\xFF\xFF junk", 9));
    bad.flush();
    EXPECT_TRUE(bad.state() == QAbstractSocket::UnconnectedState || bad.waitForDisconnected(20000));
    // A well-framed message of the wrong kind, then random bytes in frames.
    QTcpSocket noisy;
    noisy.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(noisy.waitForConnected(20000));
    std::mt19937 rng(7);
    std::vector<std::uint8_t> payload{1, 2, 3};
    auto data = Forged(dpwire::Data{c.guest.player, c.host.player, payload.data(), 3}, 0x1234);
    for (int i = 0; i < 200; ++i) {
        std::vector<std::uint8_t> m = i % 2 ? data : std::vector<std::uint8_t>(20 + rng() % 40);
        if (i % 2 == 0)
            for (auto& b : m) b = static_cast<std::uint8_t>(rng());
        QByteArray frame;
        for (int k = 0; k < 4; ++k) frame.append(static_cast<char>((m.size() >> (8 * k)) & 0xFF));
        frame.append(reinterpret_cast<const char*>(m.data()), static_cast<qsizetype>(m.size()));
        noisy.write(frame);
    }
    noisy.flush();
    noisy.waitForBytesWritten(20000);
    c.ExpectStillWorking();
    DWORD count = 99;
    ASSERT_EQ(c.host.dp->GetMessageCount(c.host.player, &count), DP_OK);
    EXPECT_EQ(count, 0u);
}

TEST(DPlayRobustness, TheDropHookLosesAboutTheChosenShareOfTheGuestsDatagrams) {
    SessionTestHooks h = LoopbackHooks();
    Connected c(0, h);
    int received = 0;
    const int batches = 50, perBatch = 20;
    for (int batch = 0; batch < batches; ++batch) {
        h.dropPercent = 30;
        h.side = HookSide::MemberOnly;
        h.seed = static_cast<std::uint64_t>(batch + 1);
        SetSessionTestHooks(h);
        for (int i = 0; i < perBatch; ++i) ASSERT_EQ(SendBytes(c.guest, c.host.player, {1}), DP_OK);
        // A marker sent without loss tells when the batch has been received.
        h.dropPercent = 0;
        SetSessionTestHooks(h);
        ASSERT_EQ(SendBytes(c.guest, c.host.player, {2}), DP_OK);
        for (;;) {
            auto g = Next(c.host);
            ASSERT_TRUE(g);
            if (g->bytes == std::vector<std::uint8_t>{2}) break;
            ++received;
        }
    }
    EXPECT_GT(received, 600);
    EXPECT_LT(received, 800);
    // The host's own sends were never touched.
    ASSERT_EQ(SendBytes(c.host, c.guest.player, {3}), DP_OK);
    EXPECT_TRUE(Next(c.guest));
}

TEST(DPlayRobustness, TheDelayHookHoldsDatagramsBackSoThatLaterOnesOvertakeThem) {
    SessionTestHooks h = LoopbackHooks();
    Connected c(0, h);
    h.delayPercent = 100;
    h.delayMs = 3000;
    SetSessionTestHooks(h);
    ASSERT_EQ(SendBytes(c.host, c.guest.player, {'A'}), DP_OK);
    h.delayPercent = 0;
    SetSessionTestHooks(h);
    ASSERT_EQ(SendBytes(c.host, c.guest.player, {'B'}), DP_OK);
    auto first = Next(c.guest);
    auto second = Next(c.guest);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes, std::vector<std::uint8_t>{'B'});
    EXPECT_EQ(second->bytes, std::vector<std::uint8_t>{'A'});
}

TEST(DPlayRobustness, TheSendObserverSeesWhatGoesToThePartner) {
    SessionTestHooks h = LoopbackHooks();
    Connected c(0, h);
    std::vector<std::vector<std::uint8_t>> seen;
    std::mutex m;
    h.onSend = [&](DPID from, DPID to, const void* data, DWORD size) {
        std::lock_guard lock(m);
        EXPECT_EQ(from, c.host.player);
        EXPECT_EQ(to, c.guest.player);
        auto* p = static_cast<const std::uint8_t*>(data);
        seen.emplace_back(p, p + size);
    };
    SetSessionTestHooks(h);
    ASSERT_EQ(SendBytes(c.host, DPID_ALLPLAYERS, {103, 0, 0, 0}), DP_OK);
    ASSERT_EQ(SendBytes(c.host, c.guest.player, {7}), DP_OK);
    ResetSessionTestHooks();
    std::lock_guard lock(m);
    EXPECT_EQ(seen, (std::vector<std::vector<std::uint8_t>>{{103, 0, 0, 0}, {7}}));
}

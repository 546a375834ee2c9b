// Tests of whole sessions: two or three session-layer objects over loopback, both connections.
#include <QTcpServer>
#include <QUdpSocket>

#include "tests/net/DPlayTestSupport.h"
#include "tests/support/ScriptedPrompts.h"

using namespace dptest;

namespace {

const char* const kHostName = "\x83\x7a\x83\x58\x83\x67";  // "ホスト" in Shift-JIS

class DPlaySession : public ::testing::TestWithParam<int> {
protected:
    int connection() const { return GetParam(); }
    bool tcp() const { return GetParam() == 1; }
    // Every search asks for the address once; empty means this computer.
    void AnswerAddresses(int count) {
        for (int i = 0; i < count; ++i) prompts.AnswerTexts({std::string()});
    }
    ScriptedPrompts prompts;
    HooksScope hooks{LoopbackHooks()};
};

// Host and guest connected, each with a player, the host's creation message consumed.
struct Pair {
    Side host, guest;
};

void Connect(DPlaySession& t, Pair& p, int connection) {
    ASSERT_EQ(Host(p.host, connection, kHostName), DP_OK);
    ASSERT_EQ(Init(p.guest, connection), DP_OK);
    auto found = FindNamed(p.guest.dp, kHostName);
    ASSERT_TRUE(found);
    ASSERT_EQ(Join(p.guest, found->instance, "Guest"), DP_OK);
    auto created = NextSystem(p.host, DPSYS_CREATEPLAYERORGROUP);
    ASSERT_TRUE(created);
    (void)t;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(BothConnections, DPlaySession, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Udp" : "Tcp"; });

TEST_P(DPlaySession, AGuestFindsTheHostJoinsAndBothExchangeDataBothWays) {
    AnswerAddresses(1);
    Side host, guest;
    ASSERT_EQ(Host(host, connection(), kHostName), DP_OK);
    ASSERT_EQ(Init(guest, connection()), DP_OK);
    auto found = FindNamed(guest.dp, kHostName);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->flags, DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID);
    EXPECT_EQ(found->maxPlayers, 2u);
    EXPECT_EQ(found->currentPlayers, 1u);
    auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 1u);  // asked once, although the search polled many times
    EXPECT_EQ(shown[0].caption, "通信先の指定");

    ASSERT_EQ(Join(guest, found->instance, "Guest"), DP_OK);
    auto created = NextSystem(host, DPSYS_CREATEPLAYERORGROUP);
    ASSERT_TRUE(created);
    auto msg = created->As<DPMSG_CREATEPLAYERORGROUP>();
    EXPECT_EQ(created->to, host.player);
    EXPECT_EQ(msg.dpId, guest.player);
    EXPECT_EQ(msg.dwPlayerType, DPPLAYERTYPE_PLAYER);
    EXPECT_EQ(msg.dwCurrentPlayers, 2u);
    EXPECT_STREQ(msg.dpnName.lpszShortNameA, "Guest");

    // The guest sees itself first and the host's player last, with its name.
    std::vector<std::pair<DPID, std::string>> players;
    ASSERT_EQ(guest.dp->EnumPlayers(
                  nullptr,
                  [](DPID id, DWORD, const DPNAME* n, DWORD, void* c) -> BOOL {
                      static_cast<std::vector<std::pair<DPID, std::string>>*>(c)->emplace_back(
                          id, n->lpszShortNameA ? n->lpszShortNameA : "(null)");
                      return 1;
                  },
                  &players, 0),
              DP_OK);
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players[0], std::make_pair(guest.player, std::string("Guest")));
    EXPECT_EQ(players[1], std::make_pair(host.player, std::string(kHostName)));

    // Records of the two sizes the drawing shares, then one near the connection's limit.
    ASSERT_EQ(SendBytes(host, guest.player, Pattern(56, 1)), DP_OK);
    ASSERT_EQ(SendBytes(guest, DPID_ALLPLAYERS, Pattern(64, 2)), DP_OK);
    std::size_t large = tcp() ? 1000000 : 60000;
    ASSERT_EQ(SendBytes(host, DPID_ALLPLAYERS, Pattern(large, 3)), DP_OK);
    auto a = Next(guest);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->from, host.player);
    EXPECT_EQ(a->to, guest.player);
    EXPECT_EQ(a->bytes, Pattern(56, 1));
    auto big = Next(guest);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->bytes, Pattern(large, 3));
    auto b = Next(host);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->from, guest.player);
    EXPECT_EQ(b->bytes, Pattern(64, 2));

    DPCAPS caps{};
    caps.dwSize = 40;
    ASSERT_EQ(host.dp->GetCaps(&caps, 0), DP_OK);
    EXPECT_EQ((caps.dwFlags & DPCAPS_GUARANTEEDSUPPORTED) != 0, tcp());
    EXPECT_NE(caps.dwFlags & DPCAPS_ISHOST, 0u);
    EXPECT_EQ(caps.dwTimeout, 1200u);
    EXPECT_EQ(caps.dwMaxBufferSize, tcp() ? 1048576u : 65000u);
    ASSERT_EQ(guest.dp->GetCaps(&caps, 0), DP_OK);
    EXPECT_EQ(caps.dwFlags & DPCAPS_ISHOST, 0u);
    EXPECT_EQ(SendBytes(guest, host.player, Pattern(8, 4), DPSEND_GUARANTEED),
              tcp() ? DP_OK : DPERR_UNSUPPORTED);
    if (tcp()) {
        auto g = Next(host);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->bytes, Pattern(8, 4));
    }
    EXPECT_EQ(SendBytes(host, guest.player, Pattern(caps.dwMaxBufferSize + 1, 5)),
              DPERR_SENDTOOBIG);

    std::vector<std::uint8_t> nameBuffer(64);
    DWORD size = static_cast<DWORD>(nameBuffer.size());
    ASSERT_EQ(host.dp->GetPlayerName(guest.player, nameBuffer.data(), &size), DP_OK);
    DPNAME n;
    std::memcpy(&n, nameBuffer.data(), sizeof(n));
    EXPECT_STREQ(n.lpszShortNameA, "Guest");
}

TEST_P(DPlaySession, AFullSessionIsListedOnlyWhenAllAreAskedForAndRefusesAThirdComputer) {
    AnswerAddresses(2);
    Pair p;
    ASSERT_NO_FATAL_FAILURE(Connect(*this, p, connection()));
    Side third;
    ASSERT_EQ(Init(third, connection()), DP_OK);
    auto full = FindSessions(
        third.dp, [](const auto& l) { return !l.empty() && l[0].currentPlayers == 2; },
        DPENUMSESSIONS_ALL);
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(full[0].currentPlayers, 2u);
    auto available = FindSessions(third.dp, [](const auto&) { return true; });
    EXPECT_TRUE(available.empty());
    DPSESSIONDESC2 sd{};
    sd.dwSize = sizeof(sd);
    sd.guidInstance = full[0].instance;
    EXPECT_EQ(third.dp->Open(&sd, DPOPEN_JOIN), DPERR_NONEWPLAYERS);
    // The session itself is untouched.
    ASSERT_EQ(SendBytes(p.guest, p.host.player, Pattern(10, 9)), DP_OK);
    auto g = Next(p.host);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->bytes, Pattern(10, 9));
}

TEST_P(DPlaySession, TheGuestLeavingTellsTheHostAndASecondGuestCanJoin) {
    AnswerAddresses(2);
    Pair p;
    ASSERT_NO_FATAL_FAILURE(Connect(*this, p, connection()));
    DPID first = p.guest.player;
    ASSERT_EQ(p.guest.dp->Close(), DP_OK);
    auto gone = NextSystem(p.host, DPSYS_DESTROYPLAYERORGROUP);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->As<DPMSG_DESTROYPLAYERORGROUP>().dpId, first);
    EXPECT_STREQ(gone->As<DPMSG_DESTROYPLAYERORGROUP>().dpnName.lpszShortNameA, "Guest");

    Side second;
    ASSERT_EQ(Init(second, connection()), DP_OK);
    auto found = FindNamed(second.dp, kHostName);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->currentPlayers, 1u);
    ASSERT_EQ(Join(second, found->instance, "Second"), DP_OK);
    auto created = NextSystem(p.host, DPSYS_CREATEPLAYERORGROUP);
    ASSERT_TRUE(created);
    EXPECT_STREQ(created->As<DPMSG_CREATEPLAYERORGROUP>().dpnName.lpszShortNameA, "Second");
    ASSERT_EQ(SendBytes(p.host, second.player, Pattern(20, 1)), DP_OK);
    auto g = Next(second);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->bytes, Pattern(20, 1));
}

TEST_P(DPlaySession, TheHostLeavingMakesTheGuestHostAndItIsFoundUnderItsNewName) {
    AnswerAddresses(2);
    Pair p;
    ASSERT_NO_FATAL_FAILURE(Connect(*this, p, connection()));
    DPID oldHost = p.host.player;
    ASSERT_EQ(p.host.dp->Close(), DP_OK);
    auto gone = NextSystem(p.guest, DPSYS_DESTROYPLAYERORGROUP);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->As<DPMSG_DESTROYPLAYERORGROUP>().dpId, oldHost);
    ASSERT_TRUE(NextSystem(p.guest, DPSYS_HOST));

    // As the component does on DPSYS_HOST: describe the session under the new host's name.
    DPSESSIONDESC2 sd{};
    sd.dwSize = kDpSessionDescSize32;
    sd.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID;
    sd.guidApplication = kApp;
    sd.dwMaxPlayers = 2;
    sd.lpszSessionNameA = "Guest";
    ASSERT_EQ(p.guest.dp->SetSessionDesc(&sd, 0), DP_OK);
    DPCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(p.guest.dp->GetCaps(&caps, 0), DP_OK);
    EXPECT_NE(caps.dwFlags & DPCAPS_ISHOST, 0u);

    Side newcomer;
    ASSERT_EQ(Init(newcomer, connection()), DP_OK);
    auto found = FindNamed(newcomer.dp, "Guest");
    ASSERT_TRUE(found);
    ASSERT_EQ(Join(newcomer, found->instance, "Newcomer"), DP_OK);
    auto created = NextSystem(p.guest, DPSYS_CREATEPLAYERORGROUP);
    ASSERT_TRUE(created);
    EXPECT_STREQ(created->As<DPMSG_CREATEPLAYERORGROUP>().dpnName.lpszShortNameA, "Newcomer");
    ASSERT_EQ(SendBytes(newcomer, p.guest.player, Pattern(30, 3)), DP_OK);
    auto g = Next(p.guest);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->bytes, Pattern(30, 3));
}

TEST_P(DPlaySession, APartnerThatFallsSilentEndsTheSessionThroughTheKeepAlive) {
    AnswerAddresses(1);
    SessionTestHooks h = LoopbackHooks();
    h.keepAliveIntervalMs = 50;
    h.keepAliveTimeoutMs = 1500;
    SetSessionTestHooks(h);
    Pair p;
    ASSERT_NO_FATAL_FAILURE(Connect(*this, p, connection()));
    h.dropPercent = 100;  // the guest's sends go nowhere from now on
    h.side = HookSide::MemberOnly;
    SetSessionTestHooks(h);
    ASSERT_TRUE(NextSystem(p.host, DPSYS_SESSIONLOST));
    // The host no longer serves the session, so the guest loses it too.
    ASSERT_TRUE(NextSystem(p.guest, DPSYS_SESSIONLOST));
    EXPECT_EQ(SendBytes(p.host, DPID_ALLPLAYERS, Pattern(4, 0)), DPERR_CONNECTIONLOST);
    EXPECT_EQ(SendBytes(p.guest, DPID_ALLPLAYERS, Pattern(4, 0)), DPERR_CONNECTIONLOST);
    EXPECT_EQ(p.host.dp->Close(), DP_OK);
}

TEST_P(DPlaySession, AHostCannotTakeAPortThatIsInUse) {
    QUdpSocket udp;
    QTcpServer server;
    std::uint16_t port = 0;
    if (tcp()) {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        port = server.serverPort();
    } else {
        ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));
        port = udp.localPort();
    }
    SessionTestHooks h = LoopbackHooks();
    h.port = port;
    SetSessionTestHooks(h);
    Side host;
    EXPECT_EQ(Host(host, connection(), "Host"), DPERR_CANNOTCREATESERVER);
    // Nothing is left half-open: the same object can host once the port is free.
    udp.close();
    server.close();
    DPSESSIONDESC2 sd{};
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DPSESSION_MIGRATEHOST;
    sd.lpszSessionNameA = "Host";
    EXPECT_EQ(host.dp->Open(&sd, DPOPEN_CREATE), DP_OK);
    EXPECT_EQ(DPlayLastHostPort(), port);
}

// Tests of the session layer's state machine on a simulated network and clock.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <random>

#include "net/DPlayEngine.h"

using namespace dpwire;
using namespace std::chrono_literals;

namespace {

constexpr GUID kApp{0xAD8ECDA9, 0x7712, 0x4E50, {0x98, 0xF2, 0x02, 0xCA, 0x27, 0xC2, 0xF9, 0xF4}};
constexpr std::uint32_t kIp = 0x7F000001u;

// A host engine and a member engine joined by a wire that a test can make lossy.
struct Net {
    DPlayEngine host, member;
    // What each side sees as the other's address.
    Endpoint hostAsSeen{Endpoint::Client, kIp, 5000};
    Endpoint memberAsSeen{Endpoint::Host, kIp, 40000};
    Clock::time_point now = Clock::now();
    std::function<bool(const Outgoing&)> drop;
    std::deque<Outgoing> wire;
    std::vector<std::vector<std::uint8_t>> toMember;  // every message the host sent
    EventHandle hostEvent = MakeAutoResetEvent(), memberEvent = MakeAutoResetEvent();
    GUID instance = GUID_NULL;
    DPID hostPlayer = 0, memberPlayer = 0;

    void Put(Actions& a) {
        for (auto& s : a.sends)
            if (!drop || !drop(s)) wire.push_back(std::move(s));
    }
    void Run() {
        while (!wire.empty()) {
            Outgoing o = std::move(wire.front());
            wire.pop_front();
            Actions a;
            if (o.to.channel == Endpoint::Host) {  // the host's reply to the member's address
                toMember.push_back(o.bytes);
                member.OnMessage(hostAsSeen, o.bytes.data(), o.bytes.size(), now, a);
            } else {
                host.OnMessage(memberAsSeen, o.bytes.data(), o.bytes.size(), now, a);
            }
            Put(a);
        }
    }
    void Tick(std::chrono::milliseconds step) {
        now += step;
        Actions a, b;
        host.OnTick(now, a);
        Put(a);
        member.OnTick(now, b);
        Put(b);
        Run();
    }
    FoundSession Target() const {
        FoundSession f;
        f.instance = instance;
        f.application = kApp;
        f.host = hostAsSeen;
        return f;
    }
    void Open(DWORD flags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID) {
        SessionInfo info;
        info.flags = flags;
        info.name = "Host";
        instance = host.CreateSession(kApp, info, 5000);
        Actions a;
        std::uint32_t wait = 0;
        host.CreateLocalPlayer(std::string("H"), std::nullopt, hostEvent, now, a, &hostPlayer,
                               &wait);
    }
    bool Join() {
        Actions a;
        member.BeginJoin(Target(), now, a);
        Put(a);
        Run();
        for (int i = 0; i < 100 && member.role() != DPlayEngine::Role::Member; ++i) Tick(50ms);
        if (member.role() != DPlayEngine::Role::Member) return false;
        Actions b;
        std::uint32_t wait = 0;
        if (member.CreateLocalPlayer(std::string("M"), std::nullopt, memberEvent, now, b,
                                     &memberPlayer, &wait) != DP_OK)
            return false;
        Put(b);
        Run();
        for (int i = 0; i < 100 && !member.ControlDone(wait); ++i) Tick(50ms);
        return member.ControlDone(wait) && member.role() == DPlayEngine::Role::Member;
    }
};

struct Got {
    DPID from = 0, to = 0;
    std::vector<std::uint8_t> bytes;
    DWORD Type() const {
        DWORD t = 0;
        std::memcpy(&t, bytes.data(), sizeof(t));
        return t;
    }
};

std::vector<Got> DrainAll(DPlayEngine& e) {
    std::vector<Got> list;
    for (;;) {
        Got g;
        DWORD size = 0;
        HRESULT hr = e.Receive(&g.from, &g.to, DPRECEIVE_ALL, nullptr, &size);
        if (hr == DPERR_NOMESSAGES) return list;
        EXPECT_EQ(hr, DPERR_BUFFERTOOSMALL);
        g.bytes.resize(size);
        EXPECT_EQ(e.Receive(&g.from, &g.to, DPRECEIVE_ALL, g.bytes.data(), &size), DP_OK);
        list.push_back(std::move(g));
    }
}

std::vector<DWORD> SystemTypes(const std::vector<Got>& list) {
    std::vector<DWORD> types;
    for (const auto& g : list)
        if (g.from == DPID_SYSMSG) types.push_back(g.Type());
    return types;
}

HRESULT SendBytes(Net& net, DPlayEngine& from, DPID id, DPID to, std::vector<std::uint8_t> data) {
    Actions a;
    DPID remote = 0;
    HRESULT hr = from.SendData(id, to, 0, data.data(), static_cast<DWORD>(data.size()), 0, net.now,
                               a, &remote);
    net.Put(a);
    net.Run();
    return hr;
}

}  // namespace

TEST(DPlayEngine, PlayerNoticesArriveExactlyOnceThroughALinkThatLosesMostDatagrams) {
    Net net;
    std::mt19937 rng(7);
    net.drop = [&](const Outgoing&) { return rng() % 100 < 60; };
    net.Open();
    ASSERT_TRUE(net.Join());
    auto onHost = DrainAll(net.host);
    ASSERT_EQ(SystemTypes(onHost), std::vector<DWORD>{DPSYS_CREATEPLAYERORGROUP});
    DPMSG_CREATEPLAYERORGROUP created;
    std::memcpy(&created, onHost[0].bytes.data(), sizeof(created));
    EXPECT_EQ(created.dpId, net.memberPlayer);
    EXPECT_EQ(created.dwCurrentPlayers, 2u);
    // The name sits behind the record, inside the caller's own buffer.
    const char* base = reinterpret_cast<const char*>(onHost[0].bytes.data());
    ASSERT_GE(created.dpnName.lpszShortNameA, base);
    ASSERT_LT(created.dpnName.lpszShortNameA, base + onHost[0].bytes.size());
    EXPECT_STREQ(created.dpnName.lpszShortNameA, "M");
    EXPECT_EQ(created.dpnName.lpszLongNameA, nullptr);

    Actions a;
    ASSERT_EQ(net.member.DestroyLocalPlayer(net.memberPlayer, net.now, a), DP_OK);
    net.Put(a);
    for (int i = 0; i < 40; ++i) net.Tick(50ms);
    EXPECT_EQ(SystemTypes(DrainAll(net.host)), std::vector<DWORD>{DPSYS_DESTROYPLAYERORGROUP});
}

TEST(DPlayEngine, DataIsTakenOnlyFromThePartnersAddressWithItsKeyAndPlayerIds) {
    Net net;
    net.Open();
    ASSERT_TRUE(net.Join());
    DrainAll(net.host);
    ASSERT_EQ(SendBytes(net, net.host, net.hostPlayer, DPID_ALLPLAYERS, {1, 2, 3}), DP_OK);
    ASSERT_EQ(net.toMember.size() > 0, true);
    auto genuine = net.toMember.back();
    auto got = DrainAll(net.member);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].from, net.hostPlayer);
    EXPECT_EQ(got[0].bytes, (std::vector<std::uint8_t>{1, 2, 3}));

    auto before = net.member.dropped();
    Actions a;
    // The same bytes from another port, and from another socket of ours.
    net.member.OnMessage({Endpoint::Client, kIp, 5001}, genuine.data(), genuine.size(), net.now, a);
    net.member.OnMessage({Endpoint::Host, kIp, 5000}, genuine.data(), genuine.size(), net.now, a);
    // Right address, wrong key.
    auto rekeyed = genuine;
    rekeyed[8] ^= 1;
    net.member.OnMessage(net.hostAsSeen, rekeyed.data(), rekeyed.size(), net.now, a);
    // Right address and key, but from a player that is not in the session.
    auto Forge = [&](DPID from, DPID to) {
        auto m = Decode(genuine.data(), genuine.size(), kMaxUdpPayload);
        auto d = std::get<Data>(m->body);
        std::vector<std::uint8_t> payload(d.payload, d.payload + d.size);
        return Encode(Message{m->key, Data{from, to, payload.data(), payload.size()}});
    };
    auto stranger = Forge(0x99, net.memberPlayer);
    net.member.OnMessage(net.hostAsSeen, stranger.data(), stranger.size(), net.now, a);
    auto misaddressed = Forge(net.hostPlayer, 0x99);
    net.member.OnMessage(net.hostAsSeen, misaddressed.data(), misaddressed.size(), net.now, a);
    EXPECT_EQ(net.member.dropped() - before, 5u);
    EXPECT_TRUE(DrainAll(net.member).empty());
    net.member.OnMessage(net.hostAsSeen, genuine.data(), genuine.size(), net.now, a);
    EXPECT_EQ(DrainAll(net.member).size(), 1u);
}

TEST(DPlayEngine, MutatedCopiesOfRealMessagesNeitherCrashNorDisturbTheSession) {
    Net net;
    net.Open();
    ASSERT_TRUE(net.Join());
    DrainAll(net.host);
    SendBytes(net, net.host, net.hostPlayer, net.memberPlayer, {100, 0, 0, 0, 5, 6, 7, 8});
    DrainAll(net.member);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    auto originals = net.toMember;
    std::size_t delivered = 0;
    for (int round = 0; round < 20000; ++round) {
        auto m = originals[static_cast<std::size_t>(round) % originals.size()];
        int edits = 1 + round % 3;
        for (int e = 0; e < edits; ++e) {
            switch (byte(rng) % 3) {
                case 0:
                    m[static_cast<std::size_t>(byte(rng)) % m.size()] =
                        static_cast<std::uint8_t>(byte(rng));
                    break;
                case 1:
                    m.resize(static_cast<std::size_t>(byte(rng)) % (m.size() + 1));
                    break;
                default:
                    m.push_back(static_cast<std::uint8_t>(byte(rng)));
            }
            if (m.empty()) m.push_back(0);
        }
        Actions a;
        net.member.OnMessage(net.hostAsSeen, m.data(), m.size(), net.now, a);
        delivered += DrainAll(net.member).size();
    }
    // Whatever got through was a well-formed message of the session; the session itself is
    // still there and still carries data.
    (void)delivered;
    if (net.member.role() == DPlayEngine::Role::Member) {
        ASSERT_EQ(SendBytes(net, net.host, net.hostPlayer, net.memberPlayer, {9}), DP_OK);
        bool found = false;
        for (const auto& g : DrainAll(net.member))
            found = found || g.bytes == std::vector<std::uint8_t>{9};
        EXPECT_TRUE(found);
    }
}

TEST(DPlayEngine, APartnerIsLostAtTheKeepAliveTimeOutAndNotBefore) {
    Net net;
    EngineTiming timing;
    timing.keepAliveInterval = 100ms;
    timing.keepAliveTimeout = 1000ms;
    net.host.SetTiming(timing);
    net.member.SetTiming(timing);
    net.Open();
    ASSERT_TRUE(net.Join());
    DrainAll(net.host);
    // Keep-alives alone keep a quiet session open.
    for (int i = 0; i < 50; ++i) net.Tick(50ms);
    EXPECT_EQ(net.host.role(), DPlayEngine::Role::Host);
    EXPECT_EQ(net.member.role(), DPlayEngine::Role::Member);
    net.drop = [](const Outgoing& o) { return o.fromHost; };  // the host goes silent
    for (int i = 0; i < 19; ++i) net.Tick(50ms);
    EXPECT_EQ(net.member.role(), DPlayEngine::Role::Member);
    net.Tick(50ms);
    EXPECT_EQ(net.member.role(), DPlayEngine::Role::Lost);
    EXPECT_EQ(SystemTypes(DrainAll(net.member)), std::vector<DWORD>{DPSYS_SESSIONLOST});
    Actions a;
    DPID remote = 0;
    std::uint8_t b = 1;
    EXPECT_EQ(
        net.member.SendData(net.memberPlayer, DPID_ALLPLAYERS, 0, &b, 1, 0, net.now, a, &remote),
        DPERR_CONNECTIONLOST);
}

TEST(DPlayEngine, TheHostLeavingHandsTheSessionToTheMemberOnlyWhenItMayMigrate) {
    for (bool migrate : {true, false}) {
        Net net;
        net.Open(migrate ? DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID : DPSESSION_NOMESSAGEID);
        ASSERT_TRUE(net.Join());
        Actions a;
        std::uint32_t sequence = net.host.BeginLeave(net.now, a);
        net.Put(a);
        net.Run();
        EXPECT_TRUE(net.host.ControlDone(sequence));
        auto types = SystemTypes(DrainAll(net.member));
        if (migrate) {
            EXPECT_EQ(types, (std::vector<DWORD>{DPSYS_DESTROYPLAYERORGROUP, DPSYS_HOST}));
            EXPECT_EQ(net.member.role(), DPlayEngine::Role::Host);
            EXPECT_EQ(net.member.Players().size(), 1u);
        } else {
            EXPECT_EQ(types, (std::vector<DWORD>{DPSYS_DESTROYPLAYERORGROUP, DPSYS_SESSIONLOST}));
            EXPECT_EQ(net.member.role(), DPlayEngine::Role::Lost);
        }
    }
}

TEST(DPlayEngine, JoinsAreRefusedForAnotherSessionAndWhenTheSessionIsFull) {
    Net net;
    net.Open();
    FoundSession wrong = net.Target();
    wrong.instance.Data1 ^= 1;
    Actions a;
    net.member.BeginJoin(wrong, net.now, a);
    net.Put(a);
    net.Run();
    EXPECT_EQ(net.member.JoinResult(), DPERR_NOSESSIONS);
    EXPECT_EQ(net.member.role(), DPlayEngine::Role::None);

    ASSERT_TRUE(net.Join());
    DPlayEngine third;
    Actions b;
    third.BeginJoin(net.Target(), net.now, b);
    ASSERT_EQ(b.sends.size(), 1u);
    Actions reply;
    net.host.OnMessage({Endpoint::Host, kIp, 40001}, b.sends[0].bytes.data(),
                       b.sends[0].bytes.size(), net.now, reply);
    ASSERT_EQ(reply.sends.size(), 1u);
    Actions ignored;
    third.OnMessage(net.hostAsSeen, reply.sends[0].bytes.data(), reply.sends[0].bytes.size(),
                    net.now, ignored);
    EXPECT_EQ(third.JoinResult(), DPERR_NONEWPLAYERS);
}

TEST(DPlayEngine, ReceiveKeepsAMessageForATooSmallBufferAndFiltersAndPeeks) {
    Net net;
    net.Open();
    ASSERT_TRUE(net.Join());
    DrainAll(net.host);
    SendBytes(net, net.member, net.memberPlayer, net.hostPlayer, {1, 2, 3, 4});
    SendBytes(net, net.member, net.memberPlayer, net.hostPlayer, {5});
    DWORD count = 0;
    ASSERT_EQ(net.host.MessageCount(net.hostPlayer, &count), DP_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(net.hostEvent->Wait(0));

    DPID from = 0, to = 0;
    std::uint8_t buffer[8] = {};
    DWORD size = 2;
    EXPECT_EQ(net.host.Receive(&from, &to, DPRECEIVE_ALL, buffer, &size), DPERR_BUFFERTOOSMALL);
    EXPECT_EQ(size, 4u);
    size = sizeof(buffer);
    EXPECT_EQ(net.host.Receive(&from, &to, DPRECEIVE_ALL | DPRECEIVE_PEEK, buffer, &size), DP_OK);
    EXPECT_EQ(size, 4u);
    to = 0x77;  // nobody
    EXPECT_EQ(net.host.Receive(&from, &to, DPRECEIVE_TOPLAYER, buffer, &size), DPERR_NOMESSAGES);
    to = net.hostPlayer;
    from = net.memberPlayer;
    size = sizeof(buffer);
    EXPECT_EQ(
        net.host.Receive(&from, &to, DPRECEIVE_TOPLAYER | DPRECEIVE_FROMPLAYER, buffer, &size),
        DP_OK);
    EXPECT_EQ(buffer[3], 4);
    size = sizeof(buffer);
    EXPECT_EQ(net.host.Receive(&from, &to, DPRECEIVE_ALL, buffer, &size), DP_OK);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(net.host.Receive(&from, &to, DPRECEIVE_ALL, buffer, &size), DPERR_NOMESSAGES);
    EXPECT_EQ(net.host.Receive(nullptr, &to, DPRECEIVE_ALL, buffer, &size), DPERR_INVALIDPARAMS);
}

TEST(DPlayEngine, SendRefusesStrangersOversizeAndGuaranteesItCannotGive) {
    Net net;
    net.Open();
    ASSERT_TRUE(net.Join());
    Actions a;
    DPID remote = 0;
    std::vector<std::uint8_t> big(kMaxUdpPayload + 1);
    auto send = [&](DPID from, DPID to, DWORD flags, DWORD size) {
        return net.host.SendData(from, to, flags, big.data(), size, 0, net.now, a, &remote);
    };
    EXPECT_EQ(send(net.hostPlayer, net.memberPlayer, 0, kMaxUdpPayload + 1), DPERR_SENDTOOBIG);
    EXPECT_EQ(send(net.hostPlayer, net.memberPlayer, 0, kMaxUdpPayload), DP_OK);
    EXPECT_EQ(send(net.memberPlayer, net.hostPlayer, 0, 1), DPERR_INVALIDPLAYER);
    EXPECT_EQ(send(net.hostPlayer, 0x99, 0, 1), DPERR_INVALIDPLAYER);
    EXPECT_EQ(send(net.hostPlayer, net.memberPlayer, DPSEND_GUARANTEED, 1), DPERR_UNSUPPORTED);
    EXPECT_EQ(send(net.hostPlayer, net.memberPlayer, 0x100, 1), DPERR_INVALIDFLAGS);
    EXPECT_EQ(send(net.hostPlayer, net.memberPlayer, 0, 0), DPERR_INVALIDPARAMS);
    EXPECT_EQ(net.host.SendData(net.hostPlayer, net.memberPlayer, 0, big.data(), 1, 9u << 20,
                                net.now, a, &remote),
              DPERR_BUSY);
}

TEST(DPlayEngine, AHostAnswersAtMostFiftySearchesASecondSoForgedSendersGainLittle) {
    Net net;
    net.Open();
    auto request = Encode(Message{0, EnumRequest{kApp, 1}});
    Actions a;
    // From 80 computers, so that no one of them meets its own limit first.
    for (int i = 0; i < 80; ++i)
        net.host.OnMessage({Endpoint::Host, kIp + 1 + std::uint32_t(i), 1000}, request.data(),
                           request.size(), net.now, a);
    EXPECT_EQ(a.sends.size(), 50u);
    net.now += 1s;
    Actions b;
    net.host.OnMessage(net.memberAsSeen, request.data(), request.size(), net.now, b);
    EXPECT_EQ(b.sends.size(), 1u);
}

TEST(DPlayEngine, OneSocketGetsFiveAnswersASecondAndOneComputerTwentyFiveSoOthersAreStillAnswered) {
    Net net;
    net.Open();
    auto request = Encode(Message{0, EnumRequest{kApp, 1}});
    Actions flood;
    for (int i = 0; i < 200; ++i)
        net.host.OnMessage({Endpoint::Host, kIp + 7, 999}, request.data(), request.size(), net.now,
                           flood);
    EXPECT_EQ(flood.sends.size(), 5u);
    Actions manyPorts;
    for (int i = 0; i < 200; ++i)
        net.host.OnMessage({Endpoint::Host, kIp + 8, static_cast<std::uint16_t>(2000 + i)},
                           request.data(), request.size(), net.now, manyPorts);
    EXPECT_EQ(manyPorts.sends.size(), 25u);
    // Another socket of the first computer, and another computer, are still answered.
    Actions other;
    net.host.OnMessage({Endpoint::Host, kIp + 7, 998}, request.data(), request.size(), net.now,
                       other);
    net.host.OnMessage(net.memberAsSeen, request.data(), request.size(), net.now, other);
    EXPECT_EQ(other.sends.size(), 2u);
    EXPECT_GT(net.host.throttled(), 0u);
    // The flooding socket gets its share again as time passes.
    net.now += 1s;
    Actions later;
    net.host.OnMessage({Endpoint::Host, kIp + 7, 999}, request.data(), request.size(), net.now,
                       later);
    EXPECT_EQ(later.sends.size(), 1u);
}

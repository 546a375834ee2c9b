// Tests of the session layer's wire format, its auto-reset event and typed host addresses.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "net/AutoResetEvent.h"
#include "net/DPlayAddress.h"
#include "net/DPlayWire.h"

using namespace dpwire;

namespace {

constexpr GUID kApp{0xAD8ECDA9, 0x7712, 0x4E50, {0x98, 0xF2, 0x02, 0xCA, 0x27, 0xC2, 0xF9, 0xF4}};
constexpr GUID kInstance{0x01020304, 0x0506, 0x4708, {0x89, 0x0A, 1, 2, 3, 4, 5, 6}};

SessionInfo Info(const std::string& name) {
    SessionInfo s;
    s.flags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID;
    s.maxPlayers = 2;
    s.currentPlayers = 1;
    s.name = name;
    return s;
}

// One genuine message of every kind.
std::vector<Message> Samples(const std::vector<std::uint8_t>& payload) {
    std::vector<Message> list;
    list.push_back({0, EnumRequest{kApp, 77}});
    list.push_back({0, EnumReply{77, kInstance, kApp, Info("\x83\x7a\x83\x58\x83\x67")}});
    list.push_back({0, JoinRequest{78, kInstance}});
    JoinAccept accept{78, kInstance, kApp, 0x1234, Info("host"), {}};
    accept.players.push_back(PlayerInfo{0x5678, std::string("Taro"), std::nullopt});
    list.push_back({0xCAFE, accept});
    list.push_back({0, JoinReject{78, DPERR_NONEWPLAYERS}});
    Control created;
    created.sequence = 1;
    created.kind = ControlKind::PlayerCreated;
    created.player = PlayerInfo{0x1234, std::string(""), std::string("long name")};
    list.push_back({0xCAFE, created});
    Control destroyed;
    destroyed.sequence = 2;
    destroyed.kind = ControlKind::PlayerDestroyed;
    destroyed.playerId = 0x1234;
    list.push_back({0xCAFE, destroyed});
    Control desc;
    desc.sequence = 3;
    desc.kind = ControlKind::SessionDesc;
    desc.session = Info("renamed");
    list.push_back({0xCAFE, desc});
    Control leave;
    leave.sequence = 4;
    leave.kind = ControlKind::Leave;
    leave.migrate = true;
    list.push_back({0xCAFE, leave});
    list.push_back({0xCAFE, ControlAck{4}});
    list.push_back({0xCAFE, Data{0x1234, 0x5678, payload.data(), payload.size()}});
    list.push_back({0xCAFE, KeepAlive{}});
    return list;
}

}  // namespace

TEST(DPlayWire, EveryMessageKindSurvivesEncodingAndDecodingUnchanged) {
    std::vector<std::uint8_t> payload{100, 0, 0, 0, 1, 0, 0, 0, 0xFF};
    for (const auto& m : Samples(payload)) {
        auto bytes = Encode(m);
        auto back = Decode(bytes.data(), bytes.size(), kMaxUdpPayload);
        ASSERT_TRUE(back) << "kind " << m.body.index();
        EXPECT_EQ(back->key, m.key);
        EXPECT_EQ(back->body.index(), m.body.index());
        // Encoding is canonical: the decoded message encodes to the same bytes.
        EXPECT_EQ(Encode(*back), bytes);
    }
    auto data = Encode(Samples(payload)[10]);
    auto d = std::get<Data>(Decode(data.data(), data.size(), kMaxUdpPayload)->body);
    EXPECT_EQ(std::vector<std::uint8_t>(d.payload, d.payload + d.size), payload);
}

TEST(DPlayWire, ShortenedLengthenedOrMisheadedMessagesAreRefused) {
    std::vector<std::uint8_t> payload{1, 2, 3};
    for (const auto& m : Samples(payload)) {
        auto bytes = Encode(m);
        // Data is the one kind whose length is open-ended: cutting its payload short still
        // leaves a valid message as long as one byte remains.
        bool isData = std::holds_alternative<Data>(m.body);
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            bool valid = Decode(bytes.data(), n, kMaxUdpPayload).has_value();
            if (isData && n > kHeaderSize + 8) continue;
            EXPECT_FALSE(valid) << "kind " << m.body.index() << " cut to " << n;
        }
        if (!isData) {
            auto longer = bytes;
            longer.push_back(0);
            EXPECT_FALSE(Decode(longer.data(), longer.size(), kMaxUdpPayload));
        }
        for (std::size_t at : {0u, 4u, 5u, 6u}) {
            auto bad = bytes;
            bad[at] ^= 0x40;
            EXPECT_FALSE(Decode(bad.data(), bad.size(), kMaxUdpPayload)) << "byte " << at;
        }
        // The key must be present exactly for keyed kinds.
        auto rekeyed = bytes;
        rekeyed[8] = rekeyed[9] = rekeyed[10] = rekeyed[11] = 0;
        if (m.key != 0) {
            EXPECT_FALSE(Decode(rekeyed.data(), rekeyed.size(), kMaxUdpPayload));
        }
        rekeyed[8] = 1;
        if (m.key == 0) {
            EXPECT_FALSE(Decode(rekeyed.data(), rekeyed.size(), kMaxUdpPayload));
        }
    }
    EXPECT_FALSE(Decode(nullptr, 0, kMaxUdpPayload));
}

TEST(DPlayWire, NamesWithZeroBytesOrAboveTheLimitAndOutOfRangeCountsAreRefused) {
    auto reply = [](const std::string& name, std::uint32_t max, std::uint32_t current) {
        SessionInfo s = Info("");
        s.name = name;
        s.maxPlayers = max;
        s.currentPlayers = current;
        return Encode(Message{0, EnumReply{1, kInstance, kApp, s}});
    };
    auto ok = [](const std::vector<std::uint8_t>& b) {
        return Decode(b.data(), b.size(), kMaxUdpPayload).has_value();
    };
    EXPECT_TRUE(ok(reply(std::string(kMaxNameBytes, 'a'), 2, 2)));
    EXPECT_FALSE(ok(reply(std::string(kMaxNameBytes + 1, 'a'), 2, 1)));
    EXPECT_FALSE(ok(reply(std::string("a\0b", 3), 2, 1)));
    EXPECT_FALSE(ok(reply("a", 0, 0)));
    EXPECT_FALSE(ok(reply("a", 3, 1)));
    EXPECT_FALSE(ok(reply("a", 2, 3)));

    EXPECT_TRUE(NameIsValid(nullptr));
    EXPECT_TRUE(NameIsValid(std::string(kMaxNameBytes, 'x').c_str()));
    EXPECT_FALSE(NameIsValid(std::string(kMaxNameBytes + 1, 'x').c_str()));
}

TEST(DPlayWire, DataAboveTheConnectionsLimitIsRefusedAndEmptyDataToo) {
    std::vector<std::uint8_t> big(kMaxUdpPayload + 1, 7);
    auto bytes = Encode(Message{9, Data{1, 2, big.data(), big.size()}});
    EXPECT_FALSE(Decode(bytes.data(), bytes.size(), kMaxUdpPayload));
    EXPECT_TRUE(Decode(bytes.data(), bytes.size(), kMaxTcpPayload));
    auto empty = Encode(Message{9, Data{1, 2, big.data(), 0}});
    EXPECT_FALSE(Decode(empty.data(), empty.size(), kMaxTcpPayload));
    auto toNobody = Encode(Message{9, Data{1, 0, big.data(), 1}});
    EXPECT_FALSE(Decode(toNobody.data(), toNobody.size(), kMaxTcpPayload));
}

TEST(AutoResetEvent, ASetWakesOneWaitAndThenResetsItself) {
    AutoResetEvent e;
    EXPECT_FALSE(e.Wait(0));
    EXPECT_EQ(e.WaitFor(1), WAIT_TIMEOUT);
    e.Set();
    e.Set();  // setting a set event changes nothing
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    e.Reset();
    EXPECT_FALSE(e.Wait(0));

    AutoResetEvent initially(true);
    EXPECT_EQ(initially.WaitFor(0), WAIT_OBJECT_0);

    std::atomic<int> woken{0};
    std::thread waiter([&] {
        if (e.Wait(INFINITE)) ++woken;
    });
    e.Set();
    waiter.join();
    EXPECT_EQ(woken, 1);
    EXPECT_FALSE(e.Wait(0));
}

TEST(DPlayAddress, TypedAddressesGiveHostsAndPortsAndEmptyMeansThisComputer) {
    std::string bad;
    auto local = ParseAddressList("  ", 47913, &bad);
    ASSERT_TRUE(local);
    EXPECT_EQ(*local, (std::vector<HostPort>{{0x7F000001u, 47913}}));

    auto two = ParseAddressList("127.0.0.2:5000, 127.0.0.3;127.0.0.2:5000", 47913, &bad);
    ASSERT_TRUE(two);
    EXPECT_EQ(*two, (std::vector<HostPort>{{0x7F000002u, 5000}, {0x7F000003u, 47913}}));

    auto named = ParseAddressList("LocalHost:6000", 1, &bad);
    ASSERT_TRUE(named);
    EXPECT_EQ(*named, (std::vector<HostPort>{{0x7F000001u, 6000}}));

    for (const char* wrong : {"127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:x", ":5000",
                              "no such host!", "::1", "0.0.0.0"}) {
        EXPECT_FALSE(ParseAddressList(wrong, 47913, &bad)) << wrong;
        EXPECT_FALSE(bad.empty());
    }
    EXPECT_FALSE(ParseAddressList("127.0.0.1:5000 127.0.0.1:abc", 47913, &bad));
    EXPECT_EQ(bad, "127.0.0.1:abc");
}

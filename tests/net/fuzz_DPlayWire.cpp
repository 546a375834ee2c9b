// libFuzzer target: the session layer's message decoder and its state machine on any bytes.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/DPlayEngine.h"

using namespace dpwire;

namespace {

constexpr std::uint32_t kIp = 0x7F000001u;
const Endpoint kHostAsSeen{Endpoint::Client, kIp, 5000};
const Endpoint kMemberAsSeen{Endpoint::Host, kIp, 40000};

// A host and a member engine with a player each, joined by passing their messages by hand.
struct Fixture {
    DPlayEngine host, member;
    Clock::time_point now = Clock::now();
    std::uint32_t key = 0;

    void Pass(Actions& a) {
        for (int round = 0; round < 50 && !a.sends.empty(); ++round) {
            Actions next;
            for (auto& s : a.sends) {
                if (s.to.channel == Endpoint::Host) {
                    auto m = Decode(s.bytes.data(), s.bytes.size(), kMaxTcpPayload);
                    if (m && std::holds_alternative<JoinAccept>(m->body)) key = m->key;
                    member.OnMessage(kHostAsSeen, s.bytes.data(), s.bytes.size(), now, next);
                } else {
                    host.OnMessage(kMemberAsSeen, s.bytes.data(), s.bytes.size(), now, next);
                }
            }
            a = std::move(next);
        }
    }
    Fixture() {
        SessionInfo info;
        info.flags = DPSESSION_MIGRATEHOST;
        info.name = "fuzz";
        GUID instance = host.CreateSession(GUID_NULL, info, 5000);
        Actions a;
        DPID id = 0;
        std::uint32_t wait = 0;
        host.CreateLocalPlayer(std::string("h"), std::nullopt, nullptr, now, a, &id, &wait);
        FoundSession target;
        target.instance = instance;
        target.host = kHostAsSeen;
        member.BeginJoin(target, now, a);
        Pass(a);
        member.CreateLocalPlayer(std::string("m"), std::nullopt, nullptr, now, a, &id, &wait);
        Pass(a);
    }
};

void Drain(DPlayEngine& e) {
    std::uint8_t buffer[4096];
    for (int i = 0; i < 64; ++i) {
        DPID from = 0, to = 0;
        DWORD size = sizeof(buffer);
        HRESULT hr = e.Receive(&from, &to, DPRECEIVE_ALL, buffer, &size);
        if (hr == DPERR_BUFFERTOOSMALL) {
            std::vector<std::uint8_t> big(size);
            hr = e.Receive(&from, &to, DPRECEIVE_ALL, big.data(), &size);
        }
        if (hr != DP_OK) return;
    }
}

std::unique_ptr<Fixture> fixture;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (DWORD limit : {kMaxUdpPayload, kMaxTcpPayload}) {
        auto m = Decode(data, size, limit);
        if (!m) continue;
        // Decoding accepts exactly one spelling of each message.
        auto again = Encode(*m);
        if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
    }
    if (!fixture || fixture->host.role() != DPlayEngine::Role::Host ||
        fixture->member.role() != DPlayEngine::Role::Member)
        fixture = std::make_unique<Fixture>();
    Fixture& f = *fixture;
    std::vector<std::uint8_t> keyed(data, data + size);
    if (keyed.size() >= kHeaderSize) std::memcpy(keyed.data() + 8, &f.key, 4);
    Actions ignored;
    for (const auto* bytes : {&keyed}) {
        f.member.OnMessage(kHostAsSeen, bytes->data(), bytes->size(), f.now, ignored);
        f.host.OnMessage(kMemberAsSeen, bytes->data(), bytes->size(), f.now, ignored);
    }
    f.member.OnMessage(kHostAsSeen, data, size, f.now, ignored);
    f.host.OnMessage({Endpoint::Host, kIp, 40001}, data, size, f.now, ignored);
    Drain(f.host);
    Drain(f.member);
    return 0;
}

// A libFuzzer target for the protected session's decoder: sealed messages, the handshake messages
// and the replay window.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/DPlayEngine.h"
#include "net/DPlayGuard.h"

using namespace dpwire;

namespace {

constexpr std::uint32_t kIp = 0x7F000001u;
const Endpoint kHostAsSeen{Endpoint::Client, kIp, 5000};
const Endpoint kMemberAsSeen{Endpoint::Host, kIp, 40000};

// A host and a member of a session with a passphrase, joined by passing their messages by
// hand; keeps the last sealed message of each direction.
struct Fixture {
    DPlayEngine host, member;
    Clock::time_point now = Clock::now();
    std::vector<std::uint8_t> toMember, toHost;
    std::uint32_t key = 0;

    void Pass(Actions& a) {
        for (int round = 0; round < 50 && !a.sends.empty(); ++round) {
            Actions next;
            for (auto& s : a.sends) {
                auto type = PeekType(s.bytes.data(), s.bytes.size());
                if (type && *type == Type::Sealed) {
                    (s.to.channel == Endpoint::Host ? toMember : toHost) = s.bytes;
                    std::memcpy(&key, s.bytes.data() + 8, 4);
                }
                if (s.to.channel == Endpoint::Host)
                    member.OnMessage(kHostAsSeen, s.bytes.data(), s.bytes.size(), now, next);
                else
                    host.OnMessage(kMemberAsSeen, s.bytes.data(), s.bytes.size(), now, next);
            }
            a = std::move(next);
        }
    }
    explicit Fixture(const dpguard::SecretKey& w, const GUID& instance) {
        SessionInfo info;
        info.flags = DPSESSION_MIGRATEHOST;
        info.name = "fuzz";
        host.CreateSession(GUID_NULL, info, 5000, instance, w);
        Actions a;
        DPID id = 0;
        std::uint32_t wait = 0;
        host.CreateLocalPlayer(std::string("h"), std::nullopt, nullptr, now, a, &id, &wait);
        FoundSession target;
        target.instance = instance;
        target.host = kHostAsSeen;
        member.BeginJoin(target, now, a, w);
        Pass(a);
        member.CreateLocalPlayer(std::string("m"), std::nullopt, nullptr, now, a, &id, &wait);
        Pass(a);
        std::uint8_t payload[8] = {100, 0, 0, 0, 1, 0, 0, 0};
        DPID sentTo = 0;
        auto players = member.Players();
        if (players.size() == 2) {
            member.SendData(players[0].id, players[1].id, 0, payload, sizeof payload, 0, now, a,
                            &sentTo);
            Pass(a);
        }
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
std::unique_ptr<dpguard::SecretKey> passphraseKey;
constexpr GUID kInstance{0x12345678, 0x9abc, 0x4def, {0x80, 1, 2, 3, 4, 5, 6, 7}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!passphraseKey) {
        auto w = dpguard::PassphraseKey("fuzz", kInstance);
        if (!w) std::abort();
        passphraseKey = std::make_unique<dpguard::SecretKey>(*w);
    }
    // Decoding accepts exactly one spelling of each message, sealed ones included.
    if (auto m = Decode(data, size, kMaxTcpPayload)) {
        auto again = Encode(*m);
        if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
    }
    if (!fixture || fixture->host.role() != DPlayEngine::Role::Host ||
        fixture->member.role() != DPlayEngine::Role::Member)
        fixture = std::make_unique<Fixture>(*passphraseKey, kInstance);
    Fixture& f = *fixture;
    if (size == 0) return 0;
    Actions ignored;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    switch (data[0] % 4) {
        case 0:  // any bytes, from the partner's address and from a stranger's
            f.member.OnMessage(kHostAsSeen, bytes.data(), bytes.size(), f.now, ignored);
            f.host.OnMessage(kMemberAsSeen, bytes.data(), bytes.size(), f.now, ignored);
            f.host.OnMessage({Endpoint::Host, kIp, 40001}, bytes.data(), bytes.size(), f.now,
                             ignored);
            break;
        case 1: {  // a real sealed message with the input laid over it
            for (const auto* real : {&f.toMember, &f.toHost}) {
                std::vector<std::uint8_t> m = *real;
                for (std::size_t i = 0; i < bytes.size() && i < m.size(); ++i) m[i] ^= bytes[i];
                if (bytes.size() > m.size())
                    m.insert(m.end(), bytes.begin() + long(m.size()), bytes.end());
                if (real == &f.toMember)
                    f.member.OnMessage(kHostAsSeen, m.data(), m.size(), f.now, ignored);
                else
                    f.host.OnMessage(kMemberAsSeen, m.data(), m.size(), f.now, ignored);
            }
            break;
        }
        case 2: {  // a sealed message under the link key: counter and box from the input
            std::uint64_t counter = 0;
            std::memcpy(&counter, bytes.data(), std::min<std::size_t>(8, bytes.size()));
            const std::size_t rest = bytes.size() > 8 ? bytes.size() - 8 : 0;
            auto m =
                Encode(Message{f.key, Sealed{counter, bytes.data() + (bytes.size() - rest), rest}});
            f.member.OnMessage(kHostAsSeen, m.data(), m.size(), f.now, ignored);
            f.host.OnMessage(kMemberAsSeen, m.data(), m.size(), f.now, ignored);
            break;
        }
        default: {  // the real sealed messages again, replayed as they are
            f.member.OnMessage(kHostAsSeen, f.toMember.data(), f.toMember.size(), f.now, ignored);
            f.host.OnMessage(kMemberAsSeen, f.toHost.data(), f.toHost.size(), f.now, ignored);
            f.host.OnMessage({Endpoint::Host, kIp, 40002}, bytes.data(), bytes.size(), f.now,
                             ignored);
            break;
        }
    }
    Drain(f.host);
    Drain(f.member);
    return 0;
}

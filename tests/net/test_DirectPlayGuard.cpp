// Sessions with a passphrase in the session layer, over loopback: who may join, and what a stranger
// on the path can no longer do.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "net/DPlayEngine.h"
#include "net/DPlayGuard.h"
#include "net/DPlayWire.h"
#include "tests/net/DPlayTestSupport.h"
#include "tests/support/ScriptedPrompts.h"

using namespace dptest;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr const char* kSecret = "kawa to yama 2026";

HRESULT HostWith(Side& side, int connection, const char* name, const char* passphrase) {
    HRESULT hr = Init(side, connection);
    if (FAILED(hr)) return hr;
    DPSESSIONDESC2 sd{};
    sd.dwSize = kDpSessionDescSize32;
    sd.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID;
    sd.guidApplication = kApp;
    sd.dwMaxPlayers = 2;
    sd.lpszSessionNameA = name;
    sd.lpszPasswordA = passphrase;
    hr = side.dp->Open(&sd, DPOPEN_CREATE);
    if (FAILED(hr)) return hr;
    return CreatePlayer(side, name);
}

HRESULT JoinWith(Side& side, const GUID& instance, const char* name, const char* passphrase) {
    DPSESSIONDESC2 sd{};
    sd.dwSize = kDpSessionDescSize32;
    sd.guidInstance = instance;
    sd.lpszPasswordA = passphrase;
    HRESULT hr = side.dp->Open(&sd, DPOPEN_JOIN);
    if (FAILED(hr)) return hr;
    return CreatePlayer(side, name);
}

// Other loopback addresses than 127.0.0.1 play other computers.
sockaddr_in Loopback(std::uint16_t port, std::uint32_t ip = INADDR_LOOPBACK) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(ip);
    return a;
}

int BoundUdp(std::uint32_t ip = INADDR_LOOPBACK, int type = SOCK_DGRAM) {
    int s = ::socket(AF_INET, type, 0);
    sockaddr_in a = Loopback(0, ip);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return s;
}

std::uint16_t PortOf(int s) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// A stranger on the path between guest and host: it forwards every datagram, keeps a copy of
// what the guest sends, may hold some back, and sends its own to the host from the address
// the host knows as the guest's.
class UdpProxy {
public:
    explicit UdpProxy(std::uint16_t hostPort) : host_(Loopback(hostPort)) {
        front_ = BoundUdp();
        back_ = BoundUdp();
        thread_ = std::thread([this] { Run(); });
    }
    ~UdpProxy() {
        stop_ = true;
        thread_.join();
        ::close(front_);
        ::close(back_);
    }
    std::uint16_t Port() const { return PortOf(front_); }
    std::vector<Bytes> FromGuest() {
        std::lock_guard lock(mutex_);
        return fromGuest_;
    }
    void ToHost(const Bytes& b) {
        ::sendto(back_, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&host_),
                 sizeof host_);
    }
    // Datagrams from the guest for which `hold` is true are kept back instead of forwarded.
    void HoldIf(std::function<bool(const Bytes&)> hold) {
        std::lock_guard lock(mutex_);
        hold_ = std::move(hold);
    }
    std::vector<Bytes> Held() {
        std::lock_guard lock(mutex_);
        return held_;
    }

private:
    void Run() {
        std::vector<std::uint8_t> buffer(70000);
        sockaddr_in guest{};
        bool haveGuest = false;
        while (!stop_) {
            pollfd fds[2] = {{front_, POLLIN, 0}, {back_, POLLIN, 0}};
            if (::poll(fds, 2, 20) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                sockaddr_in from{};
                socklen_t n = sizeof from;
                ssize_t got = ::recvfrom(front_, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &n);
                if (got > 0) {
                    guest = from;
                    haveGuest = true;
                    Bytes b(buffer.begin(), buffer.begin() + got);
                    bool held = false;
                    {
                        std::lock_guard lock(mutex_);
                        fromGuest_.push_back(b);
                        if (hold_ && hold_(b)) {
                            held_.push_back(b);
                            held = true;
                        }
                    }
                    if (!held) ToHost(b);
                }
            }
            if (fds[1].revents & POLLIN) {
                ssize_t got = ::recv(back_, buffer.data(), buffer.size(), 0);
                if (got > 0 && haveGuest)
                    ::sendto(front_, buffer.data(), std::size_t(got), 0,
                             reinterpret_cast<const sockaddr*>(&guest), sizeof guest);
            }
        }
    }

    int front_ = -1, back_ = -1;
    sockaddr_in host_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Bytes> fromGuest_, held_;
    std::function<bool(const Bytes&)> hold_;
    std::thread thread_;
};

bool IsSealed(const Bytes& b) {
    auto t = dpwire::PeekType(b.data(), b.size());
    return t && *t == dpwire::Type::Sealed;
}

// The size of a Sealed message that carries a Data message with `payload` bytes.
constexpr std::size_t SealedDataSize(std::size_t payload) {
    return dpwire::kHeaderSize + 8 + dpwire::kHeaderSize + 8 + payload + dpwire::kSealTagBytes;
}

// Host and guest of one session, the guest reaching the host through the stranger's proxy.
struct ThroughProxy {
    ScriptedPrompts prompts;
    HooksScope hooks{LoopbackHooks()};
    Side host, guest;
    std::unique_ptr<UdpProxy> proxy;
    explicit ThroughProxy(const char* passphrase) {
        EXPECT_EQ(HostWith(host, 0, "Host", passphrase), DP_OK);
        proxy = std::make_unique<UdpProxy>(DPlayLastHostPort());
        prompts.AnswerTexts({"127.0.0.1:" + std::to_string(proxy->Port())});
        EXPECT_EQ(Init(guest, 0), DP_OK);
        auto found = FindNamed(guest.dp, "Host");
        EXPECT_TRUE(found);
        if (found) {
            EXPECT_EQ(JoinWith(guest, found->instance, "Guest", passphrase), DP_OK);
        }
        EXPECT_TRUE(NextSystem(host, DPSYS_CREATEPLAYERORGROUP));
    }
    // Sends from the guest and returns the datagram that carried it, as the stranger saw it.
    Bytes SendAndCapture(const Bytes& payload) {
        EXPECT_EQ(SendBytes(guest, host.player, payload), DP_OK);
        auto got = Next(host);
        EXPECT_TRUE(got && got->bytes == payload);
        // The latest datagram of that size is ours.
        Bytes last;
        for (const auto& b : proxy->FromGuest())
            if (b.size() == SealedDataSize(payload.size()) ||
                b.size() == dpwire::kHeaderSize + 8 + payload.size())
                last = b;
        return last;
    }
    void ExpectNothingFor(std::chrono::milliseconds ms) {
        auto got = Next(host, ms);
        EXPECT_FALSE(got) << "a message reached the host's player";
    }
    void ExpectStillWorking() {
        ASSERT_EQ(SendBytes(guest, host.player, Pattern(16, 1)), DP_OK);
        auto a = Next(host);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->bytes, Pattern(16, 1));
        ASSERT_EQ(SendBytes(host, guest.player, Pattern(16, 2)), DP_OK);
        auto b = Next(guest);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->bytes, Pattern(16, 2));
    }
};

bool WaitUntilHeld(ThroughProxy& s, std::size_t n) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (s.proxy->Held().size() < n) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

TEST(DPlayGuard, TheRightPassphraseConnectsOnBothConnectionsAndDataFlowsBothWays) {
    for (int connection : {0, 1}) {
        SCOPED_TRACE(connection);
        ScriptedPrompts prompts;
        prompts.AnswerTexts({std::string()});
        HooksScope hooks(LoopbackHooks());
        Side host, guest;
        ASSERT_EQ(HostWith(host, connection, "Host", kSecret), DP_OK);
        ASSERT_EQ(Init(guest, connection), DP_OK);
        auto found = FindNamed(guest.dp, "Host");
        ASSERT_TRUE(found);
        EXPECT_NE(found->flags & DPSESSION_PASSWORDREQUIRED, 0u);
        ASSERT_EQ(JoinWith(guest, found->instance, "Guest", kSecret), DP_OK);
        ASSERT_TRUE(NextSystem(host, DPSYS_CREATEPLAYERORGROUP));
        for (std::size_t size : {1u, 56u, 64u, 5000u}) {
            ASSERT_EQ(SendBytes(guest, host.player, Pattern(size, 3)), DP_OK);
            auto a = Next(host);
            ASSERT_TRUE(a);
            EXPECT_EQ(a->bytes, Pattern(size, 3));
            ASSERT_EQ(SendBytes(host, guest.player, Pattern(size, 4),
                                connection == 1 ? DPSEND_GUARANTEED : 0),
                      DP_OK);
            auto b = Next(guest);
            ASSERT_TRUE(b);
            EXPECT_EQ(b->bytes, Pattern(size, 4));
        }
    }
}

TEST(DPlayGuard, AWrongMissingOrUnwantedPassphraseIsRefusedAndTheHostHearsNothing) {
    for (int connection : {0, 1}) {
        SCOPED_TRACE(connection);
        ScriptedPrompts prompts;
        prompts.AnswerTexts({std::string(), std::string()});
        HooksScope hooks(LoopbackHooks());
        Side host, guest;
        ASSERT_EQ(HostWith(host, connection, "Host", kSecret), DP_OK);
        ASSERT_EQ(Init(guest, connection), DP_OK);
        auto found = FindNamed(guest.dp, "Host");
        ASSERT_TRUE(found);
        // A stranger that guesses, and one that does not know there is a passphrase.
        EXPECT_EQ(JoinWith(guest, found->instance, "Guest", "kawa to yama 2025"),
                  DPERR_INVALIDPASSWORD);
        EXPECT_EQ(JoinWith(guest, found->instance, "Guest", nullptr), DPERR_INVALIDPASSWORD);
        EXPECT_EQ(JoinWith(guest, found->instance, "Guest", ""), DPERR_INVALIDPASSWORD);
        // No player was created, nobody was announced.
        EXPECT_FALSE(Next(host, 100ms));
        // A joiner with a passphrase does not go into an open session, where it would think
        // itself protected.
        Side open, careful;
        ASSERT_EQ(HostWith(open, connection, "Open", nullptr), DP_OK);
        ASSERT_EQ(Init(careful, connection), DP_OK);
        auto listed = FindNamed(careful.dp, "Open");
        ASSERT_TRUE(listed);
        EXPECT_EQ(listed->flags & DPSESSION_PASSWORDREQUIRED, 0u);
        EXPECT_EQ(JoinWith(careful, listed->instance, "Careful", kSecret), DPERR_INVALIDPASSWORD);
        EXPECT_FALSE(Next(open, 100ms));
        // The one who knows it still gets in.
        ASSERT_EQ(JoinWith(guest, found->instance, "Guest", kSecret), DP_OK);
        ASSERT_TRUE(NextSystem(host, DPSYS_CREATEPLAYERORGROUP));
    }
}

// The attack on an open session: a stranger on the path copies the link key from any datagram
// and sends a message as the guest, or sends a recorded datagram again. Both reach the host's
// player there. This is what an open session does not protect.
TEST(DPlayGuard, InAnOpenSessionAStrangerOnThePathCanForgeAndReplay) {
    ThroughProxy s(nullptr);
    Bytes captured = s.SendAndCapture(Pattern(40, 9));
    ASSERT_EQ(captured.size(), dpwire::kHeaderSize + 8 + 40);
    s.proxy->ToHost(captured);
    auto replayed = Next(s.host, 2s);
    ASSERT_TRUE(replayed);
    EXPECT_EQ(replayed->bytes, Pattern(40, 9));
}

TEST(DPlayGuard, AForgedOrModifiedDatagramFromTheGuestsAddressReachesNobody) {
    ThroughProxy s(kSecret);
    Bytes captured = s.SendAndCapture(Pattern(40, 9));
    ASSERT_EQ(captured.size(), SealedDataSize(40));
    ASSERT_TRUE(IsSealed(captured));
    std::uint32_t key = 0;
    std::memcpy(&key, captured.data() + 8, 4);
    // A message in clear with the link key copied from the sealed one, as in an open session.
    Bytes chat{102, 0, 0, 0, 14, 0, 0, 0, 'f', 'o', 'r', 'g', 'e', 0};
    s.proxy->ToHost(dpwire::Encode(dpwire::Message{
        key, dpwire::Data{s.guest.player, s.host.player, chat.data(), chat.size()}}));
    // The sealed one with one bit changed, in the header, the counter, the box and the tag.
    for (std::size_t at : {std::size_t(9), std::size_t(13), std::size_t(30), captured.size() - 1}) {
        Bytes changed = captured;
        changed[at] ^= 0x01;
        s.proxy->ToHost(changed);
    }
    // A box of the right shape under a new counter, but not made with the key.
    Bytes made = captured;
    made[12] = 0xF0;
    for (std::size_t i = 20; i < made.size(); ++i) made[i] = std::uint8_t(i * 31);
    s.proxy->ToHost(made);
    s.ExpectNothingFor(300ms);
    s.ExpectStillWorking();
}

TEST(DPlayGuard, AReplayedDatagramAndOneHeldBackBeyondTheWindowAreDropped) {
    ThroughProxy s(kSecret);
    Bytes captured = s.SendAndCapture(Pattern(40, 9));
    ASSERT_TRUE(IsSealed(captured));
    s.proxy->ToHost(captured);
    s.proxy->ToHost(captured);
    s.ExpectNothingFor(300ms);

    // One held back while ten others pass is still taken (datagrams may overtake each other).
    s.proxy->HoldIf([](const Bytes& b) { return b.size() == SealedDataSize(77); });
    ASSERT_EQ(SendBytes(s.guest, s.host.player, Pattern(77, 1)), DP_OK);
    ASSERT_TRUE(WaitUntilHeld(s, 1));
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(SendBytes(s.guest, s.host.player, Pattern(16, std::uint8_t(i))), DP_OK);
        ASSERT_TRUE(Next(s.host));
    }
    s.proxy->ToHost(s.proxy->Held().at(0));
    auto late = Next(s.host);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->bytes, Pattern(77, 1));
    // One held back while seventy pass is outside the window.
    ASSERT_EQ(SendBytes(s.guest, s.host.player, Pattern(77, 2)), DP_OK);
    ASSERT_TRUE(WaitUntilHeld(s, 2));
    for (int i = 0; i < 70; ++i) {
        ASSERT_EQ(SendBytes(s.guest, s.host.player, Pattern(16, std::uint8_t(i))), DP_OK);
        ASSERT_TRUE(Next(s.host));
    }
    s.proxy->ToHost(s.proxy->Held().at(1));
    s.ExpectNothingFor(300ms);
    s.proxy->HoldIf(nullptr);
    s.ExpectStillWorking();
}

// The attack: 200 searches a second from one address used up the host's 50 answers a second,
// and nobody else's search found the host.
TEST(DPlayGuard, AFloodOfSearchesFromOneAddressDoesNotStarveAnotherSearch) {
    ScriptedPrompts prompts;
    prompts.AnswerTexts({std::string()});
    HooksScope hooks(LoopbackHooks());
    Side host;
    ASSERT_EQ(HostWith(host, 0, "Host", nullptr), DP_OK);
    const sockaddr_in to = Loopback(DPlayLastHostPort());
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        int s = BoundUdp();
        Bytes request = dpwire::Encode(dpwire::Message{0, dpwire::EnumRequest{kApp, 77}});
        while (!stop) {
            for (int i = 0; i < 10; ++i)
                ::sendto(s, request.data(), request.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
            std::this_thread::sleep_for(5ms);  // some 2000 requests a second
            char sink[2048];
            while (::recv(s, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
        ::close(s);
    });
    // Another searcher asks four times a second, as a person's search would, and is answered.
    int searcher = BoundUdp();
    int answered = 0;
    for (std::uint32_t nonce = 1; nonce <= 8; ++nonce) {
        Bytes request = dpwire::Encode(dpwire::Message{0, dpwire::EnumRequest{kApp, nonce}});
        ::sendto(searcher, request.data(), request.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
        auto deadline = std::chrono::steady_clock::now() + 250ms;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd fd{searcher, POLLIN, 0};
            if (::poll(&fd, 1, int(left.count())) <= 0) continue;
            std::uint8_t reply[2048];
            ssize_t got = ::recv(searcher, reply, sizeof reply, 0);
            if (got <= 0) continue;
            auto m = dpwire::Decode(reply, std::size_t(got), dpwire::kMaxUdpPayload);
            if (m && std::holds_alternative<dpwire::EnumReply>(m->body) &&
                std::get<dpwire::EnumReply>(m->body).nonce == nonce)
                ++answered;
        }
    }
    ::close(searcher);
    // And the layer's own search finds the host.
    Side guest;
    ASSERT_EQ(Init(guest, 0), DP_OK);
    EXPECT_TRUE(FindNamed(guest.dp, "Host"));
    stop = true;
    flood.join();
    EXPECT_GE(answered, 7);
}

// The attack: 32 TCP connections that trickle a byte every two seconds filled the table of
// loose links, and a real guest could no longer join.
TEST(DPlayGuard, TricklingTcpConnectionsAreClosedAndDoNotKeepAGuestOut) {
    ScriptedPrompts prompts;
    prompts.AnswerTexts({std::string()});
    HooksScope hooks(LoopbackHooks());
    Side host;
    ASSERT_EQ(HostWith(host, 1, "Host", kSecret), DP_OK);
    const sockaddr_in to = Loopback(DPlayLastHostPort());
    std::vector<int> trickles;
    for (int i = 0; i < 32; ++i) {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        const char one = 0x4B;
        ::send(s, &one, 1, MSG_NOSIGNAL);
        trickles.push_back(s);
    }
    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        // A byte every two seconds on each, for as long as the test runs.
        while (!stop) {
            for (int i = 0; i < 200 && !stop; ++i) std::this_thread::sleep_for(10ms);
            const char one = 0x56;
            for (int s : trickles) ::send(s, &one, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    });
    Side guest;
    ASSERT_EQ(Init(guest, 1), DP_OK);
    auto found = FindNamed(guest.dp, "Host");
    ASSERT_TRUE(found);
    EXPECT_EQ(JoinWith(guest, found->instance, "Guest", kSecret), DP_OK);
    EXPECT_TRUE(NextSystem(host, DPSYS_CREATEPLAYERORGROUP));
    // Every trickling connection is closed by the host within a few seconds.
    std::size_t closed = 0;
    std::vector<bool> seen(trickles.size(), false);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (closed < trickles.size() && std::chrono::steady_clock::now() < deadline) {
        for (std::size_t i = 0; i < trickles.size(); ++i) {
            if (seen[i]) continue;
            pollfd fd{trickles[i], POLLIN, 0};
            if (::poll(&fd, 1, 0) <= 0) continue;
            char sink[64];
            ssize_t got = ::recv(trickles[i], sink, sizeof sink, MSG_DONTWAIT);
            if (got <= 0) {
                seen[i] = true;
                ++closed;
            }
        }
        std::this_thread::sleep_for(5ms);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    stop = true;
    trickle.join();
    for (int s : trickles) ::close(s);
    EXPECT_EQ(closed, trickles.size());
    EXPECT_LT(took, 4s);
    // The session itself is untouched.
    ASSERT_EQ(SendBytes(guest, host.player, Pattern(16, 5), DPSEND_GUARANTEED), DP_OK);
    auto got = Next(host);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Pattern(16, 5));
}

TEST(DPlayGuard, AStrangerGetsTenGuessesAtOnceAndThenOneEverySixSeconds) {
    const GUID instance{0x1234, 0x5678, 0x4abc, {0x80, 1, 2, 3, 4, 5, 6, 7}};
    auto right = dpguard::PassphraseKey(kSecret, instance);
    auto wrong = dpguard::PassphraseKey("a guess", instance);
    ASSERT_TRUE(right && wrong);
    DPlayEngine host;
    dpwire::SessionInfo info;
    info.name = "Host";
    auto now = Clock::now();
    host.CreateSession(kApp, info, 5000, instance, *right);
    auto guess = [&](std::uint32_t ip, std::uint16_t port, std::uint32_t nonce) {
        dpguard::Handshake h;
        EXPECT_TRUE(h.StartAsJoiner(*wrong, instance));
        auto hello = dpwire::Encode(
            dpwire::Message{0, dpwire::AuthHello{nonce, instance, h.JoinerRandom(), h.OwnPoint()}});
        Actions out;
        host.OnMessage({Endpoint::Host, ip, port}, hello.data(), hello.size(), now, out);
        for (const auto& s : out.sends) {
            auto m = dpwire::Decode(s.bytes.data(), s.bytes.size(), dpwire::kMaxUdpPayload);
            if (m && std::holds_alternative<dpwire::AuthReply>(m->body)) return true;
        }
        return false;
    };
    int answered = 0;
    for (std::uint32_t i = 0; i < 12; ++i)
        answered += guess(0x0A000001, std::uint16_t(3000 + i), i + 1);
    EXPECT_EQ(answered, 10);
    // Another computer is not held back by the first one's guesses.
    EXPECT_TRUE(guess(0x0A000002, 3000, 99));
    now += 6100ms;
    EXPECT_TRUE(guess(0x0A000001, 4000, 100));
    EXPECT_FALSE(guess(0x0A000001, 4001, 101));
}

// Floods from other loopback addresses, one attack a row, each of which once kept a guest out:
// a guest on 127.0.0.1 must still find the host and join it (the time is printed).
using Flood = std::function<void(const sockaddr_in& host, const GUID&, std::atomic<bool>& stop)>;
Flood Udp(int sockets, int perSocket, std::function<Bytes(std::uint32_t)> make, int* answered) {
    return [=](const sockaddr_in& to, const GUID&, std::atomic<bool>& stop) {
        std::vector<int> s(std::size_t(sockets * perSocket));
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = BoundUdp(0x7F000002 + i / perSocket);
        for (std::uint32_t n = 0; !stop; ++n) {
            const Bytes b = make(n);
            ::sendto(s[n % s.size()], b.data(), b.size(), 0, (const sockaddr*)&to, sizeof to);
            char reply[512];
            while (answered && ::recv(s[n % s.size()], reply, 512, MSG_DONTWAIT) > 0) ++*answered;
            // Each socket once at once, then some 1,400 a second.
            if (n >= s.size() && n % 14 == 0) std::this_thread::sleep_for(10ms);
        }
        for (int x : s) ::close(x);
    };
}
Flood Tcp(bool churn) {
    return [=](const sockaddr_in& to, const GUID&, std::atomic<bool>& stop) {
        std::vector<int> links(churn ? 400 : 36, -1);
        const Bytes search = dpwire::Encode(dpwire::Message{0, dpwire::EnumRequest{kApp, 7}});
        for (std::size_t n = 0, i = 0; !stop; i = ++n % links.size()) {
            for (int k = 0; !churn && i == 0 && n > 0 && k < 200 && !stop; ++k)
                std::this_thread::sleep_for(10ms);  // a frame every 2 s
            char c;  // a held link is made again only when the host has closed it
            if (churn || links[i] < 0 || ::recv(links[i], &c, 1, MSG_DONTWAIT) >= 0 || errno != EAGAIN) {
                ::close(links[i]);
                links[i] = BoundUdp(0x7F000002 + std::uint32_t(i % (churn ? 8 : 9)), SOCK_STREAM);
                ::fcntl(links[i], F_SETFL, O_NONBLOCK);
                ::connect(links[i], reinterpret_cast<const sockaddr*>(&to), sizeof to);
                pollfd fd{links[i], POLLOUT, 0};
                ::poll(&fd, 1, 50);
            }
            const Bytes body = churn ? search : Bytes(dpwire::kHeaderSize, 0x55);
            Bytes frame(4 + body.size(), 0);
            frame[0] = std::uint8_t(body.size());
            std::copy(body.begin(), body.end(), frame.begin() + 4);
            ::send(links[i], frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (churn) std::this_thread::sleep_for(1ms);  // some 1,000 connections a second
        }
        for (int s : links) ::close(s);
    };
}

TEST(DPlayGuard, AGuestFindsAndJoinsTheHostWhileOtherComputersFloodIt) {
    const Bytes search = dpwire::Encode(dpwire::Message{0, dpwire::EnumRequest{kApp, 7}});
    const GUID* target = nullptr;
    int answered = 0;
    auto guess = [&](std::uint32_t n) {  // a new handshake with a wrong passphrase
        static const auto wrong = dpguard::PassphraseKey("1234", *target);
        dpguard::Handshake h;
        h.StartAsJoiner(*wrong, *target);
        return dpwire::Encode(dpwire::Message{0, dpwire::AuthHello{n, *target, h.JoinerRandom(), h.OwnPoint()}});
    };
    const std::vector<std::tuple<const char*, int, const char*, Flood>> rows = {
        // a search every 3 s from each of 4,200 ports of one computer filled the table of sources
        {"ports, open", 0, nullptr, Udp(1, 4200, [&](auto) { return search; }, nullptr)},
        {"ports, protected", 0, kSecret, Udp(1, 4200, [&](auto) { return search; }, nullptr)},
        // nine computers holding four links each, sending a frame every 2 s, filled the 32 places
        {"held links", 1, kSecret, Tcp(false)},
        // and so did 1,000 searches a second from 8 computers
        {"searches", 1, kSecret, Tcp(true)},
        // from 6 computers, 56 handshakes were answered within a second
        {"guesses", 0, kSecret, Udp(6, 1, guess, &answered)}};
    for (const auto& [attack, connection, passphrase, flood] : rows) {
        ScriptedPrompts prompts;
        prompts.AnswerTexts({std::string(), std::string()});
        HooksScope hooks(LoopbackHooks());
        Side host, scout, guest;  // the scout learns the session for the flood
        ASSERT_EQ(HostWith(host, connection, "Host", passphrase), DP_OK);
        ASSERT_EQ(Init(scout, connection), DP_OK);
        const GUID instance = FindNamed(scout.dp, "Host").value().instance;
        target = &instance;
        std::atomic<bool> stop{false};
        std::thread flooding([&] { flood(Loopback(DPlayLastHostPort()), instance, stop); });
        std::this_thread::sleep_for(1500ms);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Init(guest, connection), DP_OK);
        EXPECT_TRUE(FindNamed(guest.dp, "Host"));
        EXPECT_EQ(JoinWith(guest, instance, "Guest", passphrase), DP_OK);
        std::optional<Got> g;
        DWORD told = 0;  // the host hears of wrong passphrases
        while ((g = Next(host)) && g->Type() == DPSYS_WRONGPASSPHRASE)
            told = g->As<DPMSG_WRONGPASSPHRASE>().dwAttempts;
        const auto took = std::chrono::steady_clock::now() - start;
        stop = true;
        flooding.join();
        EXPECT_TRUE(g && g->Type() == DPSYS_CREATEPLAYERORGROUP) << attack;
        std::printf("%s: a guest joined in %lld ms\n", attack, (long long)(took / 1ms));
        EXPECT_LT(took, 4s) << attack;
        EXPECT_EQ(told >= 3, std::string(attack) == "guesses") << attack;
    }
    EXPECT_LE(answered, 12);
}

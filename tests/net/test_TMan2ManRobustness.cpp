// A connected TMan2Man under fire: garbage from a stranger's socket, and damaged copies of real
// messages arriving from the partner itself.
#include <gtest/gtest.h>

#include <QUdpSocket>
#include <algorithm>
#include <array>
#include <mutex>
#include <random>
#include <thread>

#include "net/DPlayWire.h"
#include "net/TMan2Man.h"
#include "net/TMan2ManMessages.h"
#include "tests/net/test_TMan2ManDriver.h"
#include "tests/support/ScriptedPrompts.h"

using namespace m2mtest;
using man2man::ReadWord;
using man2man::WriteWord;
using Bytes = std::vector<uint8_t>;

namespace {

// Copies of what the guest hands to the layer for the host.
class SendRecorder {
public:
    explicit SendRecorder(const TMan2Man& from) : from_(from) {
        SessionTestHooks h = GetSessionTestHooks();
        h.onSend = [this](DPID sender, DPID, const void* data, DWORD size) {
            std::lock_guard lock(mutex_);
            if (!recording_ || sender != from_.PlayerId(0)) return;
            const auto* p = static_cast<const uint8_t*>(data);
            sent_.emplace_back(p, p + size);
        };
        SetSessionTestHooks(h);
    }
    // The layer calls the hook until the components are gone: it must not outlive this.
    ~SendRecorder() {
        SessionTestHooks h = GetSessionTestHooks();
        h.onSend = nullptr;
        SetSessionTestHooks(h);
    }
    void Stop() {
        std::lock_guard lock(mutex_);
        recording_ = false;
    }
    std::vector<Bytes> Sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }

private:
    const TMan2Man& from_;
    std::mutex mutex_;
    bool recording_ = true;
    std::vector<Bytes> sent_;
};

class Man2ManRobustness : public ::testing::Test {
protected:
    void SetUp() override {
        for (TMan2Man* m : {&host, &guest}) {
            m->SetLiveCheckInterval(0);  // no probes: every message below is one we sent
            EXPECT_EQ(m->RegiStruct(hostRecord.data(), 56, 1), 0);
        }
        ASSERT_TRUE(Host(host, "Host"));
        prompts.AnswerTexts({""});
        ASSERT_TRUE(Join(guest, "Guest", "Host"));
        ASSERT_TRUE(WaitUntil([&] { return host.Connected(); }));
    }
    // Sends bytes from the guest's player to the host's as the partner would, past the component.
    void FromPartner(Bytes m) {
        guest.DirectPlay()->Send(guest.PlayerId(0), guest.PlayerId(1), 0, m.data(), DWORD(m.size()));
    }
    // A guaranteed chat line from the guest marks the end of what was sent before it.
    void ExpectOnlyTheMarkerArrives(const char* marker) {
        const std::string expected = std::string("chat:Guest > ") + marker;
        ASSERT_TRUE(guest.SendChat(marker));
        ASSERT_TRUE(WaitUntil([&] { return hostLog.Has(expected); }));
        Pump(100);
        EXPECT_EQ(hostLog.events, std::vector<std::string>{expected});
    }
    // Chat and records still flow both ways.
    void ExpectStillWorking() {
        hostLog.Clear();
        guestLog.Clear();
        ASSERT_TRUE(guest.SendChat("still here"));
        ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("chat:Guest > still here"); }));
        ASSERT_TRUE(host.SendChat("me too"));
        ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("chat:Host > me too"); }));
        std::fill(hostRecord.begin(), hostRecord.end(), uint8_t(0x5A));
        ASSERT_TRUE(host.SendRegiData(0, true));
        ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("regi:0"); }));
        EXPECT_TRUE(host.Connected() && !host.Lost() && guest.Connected() && !guest.Lost());
    }

    HooksScope hooks{LoopbackHooks()};
    ScriptedPrompts prompts;
    std::array<uint8_t, 56> hostRecord{}, hostSecond{};
    TMan2Man host, guest;
    EventLog hostLog{host}, guestLog{guest};
};

}  // namespace

TEST_F(Man2ManRobustness, DamagedMessagesFromThePartnerFireNothingAndRandomOnesDoNoHarm) {
    // Real messages of every kind, as the guest sends them.
    SendRecorder recorder(guest);
    const uint8_t block[40] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(guest.SendRegiData(0, false));
    ASSERT_TRUE(guest.SendRegiData(0, true));
    ASSERT_TRUE(guest.SendFreeData(block, sizeof block, false));
    ASSERT_TRUE(guest.SendFreeData(block, sizeof block, true));
    ASSERT_TRUE(guest.SendChat(Sjis("こんにちは")));
    ASSERT_TRUE(guest.SendLiveChecker());
    ASSERT_TRUE(guest.SendRecoveryChecker());
    ASSERT_TRUE(host.SendChat("ack me"));  // the guest's acknowledgement is recorded too
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has(std::string("chat:Guest > ") + "こんにちは"); }));
    ASSERT_TRUE(WaitUntil([&] { return guestLog.Has("chat:Host > ack me"); }));
    Pump(100);
    recorder.Stop();
    std::vector<Bytes> real = recorder.Sent();
    // The unwrapped chat message too, as the guaranteed connection would send it.
    for (const Bytes& m : std::vector<Bytes>(real))
        if (ReadWord(m.data(), 0) == man2man::kGuaranteeEnvelope &&
            ReadWord(m.data(), 8) == man2man::kChatMessage)
            real.emplace_back(m.begin() + 8, m.end());
    std::vector<uint32_t> kinds;
    for (const Bytes& m : real) kinds.push_back(ReadWord(m.data(), 0));
    for (uint32_t k : {100u, 101u, 102u, 103u, 104u, 3333u, 7777u})
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), k), kinds.end()) << k;
    hostLog.Clear();

    // Every cut and every extension of a real message breaks its layout.
    std::mt19937 rng(7);
    int damaged = 0;
    for (const Bytes& m : real) {
        for (size_t n = 0; n < m.size(); ++n, ++damaged) FromPartner(Bytes(m.begin(), m.begin() + long(n)));
        for (size_t extra : {1u, 3u, 8u, 200u}) {
            Bytes longer = m;
            for (size_t i = 0; i < extra; ++i) longer.push_back(uint8_t(rng()));
            FromPartner(longer);
            ++damaged;
        }
        const uint32_t kind = ReadWord(m.data(), 0);
        Bytes wrong = m;
        if (kind == man2man::kChatMessage) {
            wrong.back() = 'x';  // the text must end in its zero byte
            FromPartner(wrong);
            wrong = m;
        }
        if (kind == man2man::kChatMessage || kind == man2man::kFreeDataMessage) {
            for (int delta : {-1, 1, 1 << 20}) {  // word 1 must agree with the size
                WriteWord(wrong.data(), 4, ReadWord(m.data(), 4) + uint32_t(delta));
                FromPartner(wrong);
            }
        }
        if (kind == man2man::kGuaranteeEnvelope) {
            WriteWord(wrong.data(), 8, man2man::kGuaranteeEnvelope);  // envelopes never nest
            FromPartner(wrong);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GT(damaged, 300);
    ExpectOnlyTheMarkerArrives("after the damaged ones");
    EXPECT_TRUE(prompts.messageTexts().empty());

    // Random damage: bytes changed, cut, grown, kinds swapped and numbers scrambled. What stays
    // well-formed may fire its event; nothing may crash, hang or break the connection.
    const std::array<uint32_t, 9> anyKind{100, 101, 102, 103, 104, 3333, 7777, 9999, 55};
    for (int i = 0; i < 20000; ++i) {
        Bytes m = real[rng() % real.size()];
        switch (rng() % 5) {
            case 0:
                for (int e = 0, n = 1 + int(rng() % 4); e < n; ++e) {
                    const size_t at = rng() % std::min<size_t>(m.size(), rng() % 2 ? 12 : m.size());
                    // The partner's own envelope numbers are left alone: a partner that numbers
                    // its envelopes wildly can only hold up its own guaranteed lines (a send
                    // that failed leaves a gap, so a number a little ahead is taken).
                    if (ReadWord(m.data(), 0) == man2man::kGuaranteeEnvelope && at >= 4 && at < 8)
                        continue;
                    m[at] = uint8_t(rng());
                }
                break;
            case 1:
                m.resize(rng() % (m.size() + 1));
                break;
            case 2:
                m.resize(m.size() + 1 + rng() % 64, uint8_t(rng()));
                break;
            case 3:
                if (m.size() >= 4) WriteWord(m.data(), 0, anyKind[rng() % anyKind.size()]);
                break;
            default:
                if (m.size() >= 8) WriteWord(m.data(), 4, uint32_t(rng()));
                if (m.size() >= 12 && rng() % 2) WriteWord(m.data(), 8, anyKind[rng() % anyKind.size()]);
        }
        FromPartner(m);
        if (i % 200 == 0) Pump(1);  // let the hand-offs run as they would between clicks
    }
    // The host takes what is still queued (a slow machine may be seconds behind) before the
    // connection is judged: an unguaranteed record marks the end of the flood.
    std::array<uint8_t, 56> guestRecord{};
    guestRecord.fill(0xC3);
    ASSERT_EQ(guest.RegiStruct(guestRecord.data(), 56, 2), 1);
    ASSERT_EQ(host.RegiStruct(hostSecond.data(), 56, 2), 1);
    ASSERT_TRUE(WaitUntil([&] {
        if (hostSecond[0] == 0xC3) return true;
        guest.SendRegiData(1, false);
        Pump(50);
        return hostSecond[0] == 0xC3;
    }));
    ExpectStillWorking();
}

TEST_F(Man2ManRobustness, AHundredThousandDatagramsFromAStrangerFireNothing) {
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress::LocalHost, 0));
    const uint16_t port = DPlayLastHostPort();
    ASSERT_NE(port, 0);
    hostLog.Clear();
    guestLog.Clear();

    // Real component messages inside well-formed layer datagrams that name the real players,
    // under guessed keys; layer messages of every kind, damaged; and plain noise.
    const DPID from = guest.PlayerId(0), to = host.PlayerId(0);
    Bytes chat(8);
    WriteWord(chat.data(), 0, man2man::kChatMessage);
    const std::string text = "forged";
    chat.insert(chat.end(), text.begin(), text.end());
    chat.push_back(0);
    WriteWord(chat.data(), 4, uint32_t(chat.size()));
    Bytes regi(64, 0xEE);
    WriteWord(regi.data(), 0, man2man::kRegiDataMessage);
    WriteWord(regi.data(), 4, 1);
    dpwire::Control leave;
    leave.sequence = 1;
    leave.kind = dpwire::ControlKind::Leave;
    dpwire::Control destroy;
    destroy.sequence = 1;
    destroy.kind = dpwire::ControlKind::PlayerDestroyed;
    destroy.playerId = from;
    std::vector<dpwire::Body> bodies{dpwire::Data{from, to, chat.data(), chat.size()},
                                     dpwire::Data{from, to, regi.data(), regi.size()},
                                     leave,
                                     destroy,
                                     dpwire::KeepAlive{},
                                     dpwire::EnumRequest{kKorvoApplicationGuid, 3},
                                     dpwire::JoinRequest{4, GUID_NULL},
                                     dpwire::ControlAck{1}};

    std::mt19937 rng(99);
    for (int i = 0; i < 100000; ++i) {
        Bytes m;
        if (i % 4 == 0) {
            m.resize(rng() % (i % 40 == 0 ? 2000 : 80));
            for (auto& b : m) b = uint8_t(rng());
        } else {
            m = dpwire::Encode(dpwire::Message{uint32_t(rng()), bodies[rng() % bodies.size()]});
            if (i % 4 == 2) {  // damaged: bytes changed, or cut, or grown
                const unsigned how = rng() % 3;
                if (how == 0 && !m.empty())
                    for (int e = 0, n = 1 + int(rng() % 3); e < n; ++e) m[rng() % m.size()] = uint8_t(rng());
                else if (how == 1)
                    m.resize(rng() % (m.size() + 1));
                else
                    m.resize(m.size() + 1 + rng() % 16, uint8_t(rng()));
            }
        }
        stranger.writeDatagram(reinterpret_cast<const char*>(m.data()), qint64(m.size()),
                               QHostAddress::LocalHost, port);
        if (i % 500 == 0) Pump(1);  // let the socket buffer drain now and then
    }
    Pump(300);
    EXPECT_TRUE(hostLog.events.empty()) << hostLog.events.front();
    EXPECT_TRUE(guestLog.events.empty());
    EXPECT_TRUE(prompts.messageTexts().empty());
    ExpectStillWorking();
}

TEST_F(Man2ManRobustness, AnEnvelopeNumberedFarAheadIsNeitherAcknowledgedNorAllowedToBlockTheRest) {
    // A damaged envelope whose number runs far ahead of the partner's count.
    Bytes chat(8);
    WriteWord(chat.data(), 0, man2man::kChatMessage);
    for (char c : std::string("ahead")) chat.push_back(uint8_t(c));
    chat.push_back(0);
    WriteWord(chat.data(), 4, uint32_t(chat.size()));
    Bytes envelope(8);
    WriteWord(envelope.data(), 0, man2man::kGuaranteeEnvelope);
    WriteWord(envelope.data(), 4, 0x7FFFFFFF);
    envelope.insert(envelope.end(), chat.begin(), chat.end());

    std::atomic<int> acks{0};
    SessionTestHooks h = GetSessionTestHooks();
    h.onSend = [&](DPID sender, DPID, const void* data, DWORD size) {
        if (sender == host.PlayerId(0) && size >= 8 && ReadWord(data, 0) == man2man::kGuaranteeAck &&
            ReadWord(data, 4) == 0x7FFFFFFF)
            ++acks;
    };
    SetSessionTestHooks(h);
    hostLog.Clear();
    FromPartner(envelope);
    // The real lines that follow are numbered from where the partner's count stands.
    ASSERT_TRUE(guest.SendChat("first"));
    ASSERT_TRUE(guest.SendChat("second"));
    ASSERT_TRUE(WaitUntil([&] { return hostLog.Has("chat:Guest > second"); }));
    const std::vector<std::string> expected{"chat:Guest > first", "chat:Guest > second"};
    EXPECT_EQ(hostLog.events, expected);
    EXPECT_EQ(acks.load(), 0);
    h.onSend = nullptr;  // the counter goes out of scope before the components
    SetSessionTestHooks(h);
}

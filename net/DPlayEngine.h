// The session layer's state machine: sessions, players, control, keep-alive, message queue.
#pragma once

// Pure logic without sockets or threads: it takes received messages, ticks and calls, and
// answers with the messages to send (Actions). The object that owns it (DPlayObject)
// serialises every call with its mutex and hands the Actions to the I/O thread.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/AutoResetEvent.h"
#include "net/DPlayGuard.h"
#include "net/DPlayLimits.h"
#include "net/DPlayWire.h"
#include "net/DirectPlay.h"

// Where a message came from or goes to. UDP: the channel names the socket (the ephemeral
// client socket or the host socket on the application port); TCP: the connection (made by
// us to ip:port, or accepted by the host from ip:port).
struct Endpoint {
    enum Channel : std::uint8_t { Client = 0, Host = 1 };
    Channel channel = Client;
    std::uint32_t ip = 0;  // IPv4, host byte order
    std::uint16_t port = 0;
    bool operator==(const Endpoint&) const = default;
    std::uint64_t Key() const {
        return (std::uint64_t(channel) << 48) | (std::uint64_t(ip) << 16) | port;
    }
};

struct Outgoing {
    Endpoint to;
    std::vector<std::uint8_t> bytes;
    bool traffic = false;  // data or keep-alive: the test hooks' drop and delay apply
    bool fromHost = false;
    std::uint32_t delayMs = 0;  // held back this long before it goes out (test hooks)
};

struct Actions {
    std::vector<Outgoing> sends;
    std::vector<Endpoint> closeLinks;    // TCP connections to close once their sends are out
    std::vector<Endpoint> markPeers;     // TCP connections that now belong to a session
    std::optional<std::uint16_t> serve;  // start serving on this port, retrying until it works
    bool stopServing = false;
    bool empty() const {
        return sends.empty() && closeLinks.empty() && markPeers.empty() && !serve && !stopServing;
    }
};

struct EngineTiming {
    std::chrono::milliseconds keepAliveInterval{1000};
    std::chrono::milliseconds keepAliveTimeout{30000};
    std::chrono::milliseconds controlRetry{200};
    std::chrono::milliseconds joinRetry{300};
    std::chrono::milliseconds enumPeriod{700};   // asynchronous search: request interval
    std::chrono::milliseconds enumExpiry{2500};  // a session not heard of for this long is gone
    std::chrono::milliseconds authExpiry{5000};  // a handshake not confirmed by then is forgotten
};

struct FoundSession {
    GUID instance = GUID_NULL;
    GUID application = GUID_NULL;
    dpwire::SessionInfo info;
    Endpoint host;
    Clock::time_point lastSeen;
};

class DPlayEngine {
public:
    enum class Role { None, Joining, Host, Member, Lost };
    DPlayEngine();
    void SetTransport(bool tcp) { tcp_ = tcp; }
    DWORD MaxPayload() const { return tcp_ ? dpwire::kMaxTcpPayload : dpwire::kMaxUdpPayload; }
    void SetTiming(const EngineTiming& timing) { timing_ = timing; }
    Role role() const { return role_; }
    bool IsHost() const { return role_ == Role::Host; }

    // --- Session
    // A fresh instance GUID for CreateSession: the passphrase key is salted with it, so it is
    // known before the session exists.
    GUID NewInstance() { return RandomGuid(); }
    // The host's sockets are already bound to `port`. With `passphraseKey` only guests that
    // know the passphrase can join, and everything after the join is sealed.
    GUID CreateSession(const GUID& application, const dpwire::SessionInfo& info, std::uint16_t port,
                       const GUID& instance = GUID_NULL,
                       std::optional<dpguard::SecretKey> passphraseKey = std::nullopt);
    void BeginJoin(const FoundSession& target, Clock::time_point now, Actions& out,
                   std::optional<dpguard::SecretKey> passphraseKey = std::nullopt);
    bool Protected() const { return passphraseKey_.has_value(); }
    std::optional<HRESULT> JoinResult() const { return joinResult_; }
    void AbortJoin(Actions& out);
    // Starts leaving: the Leave notice is queued behind any other control message. Returns
    // its sequence number, or 0 when there is nobody to tell.
    std::uint32_t BeginLeave(Clock::time_point now, Actions& out);
    bool ControlDone(std::uint32_t sequence) const;
    void FinishClose(Actions& out);
    HRESULT SetSessionDesc(const dpwire::SessionInfo& info, Clock::time_point now, Actions& out);
    const dpwire::SessionInfo& Info() const { return info_; }
    const GUID& Instance() const { return instance_; }
    const GUID& Application() const { return application_; }
    DWORD CurrentPlayers() const;

    // --- Players
    // For a member, *waitSequence is the control message that must be acknowledged before
    // the host knows the player.
    HRESULT CreateLocalPlayer(const std::optional<std::string>& shortName,
                              const std::optional<std::string>& longName, EventHandle event,
                              Clock::time_point now, Actions& out, DPID* id,
                              std::uint32_t* waitSequence);
    void UndoLocalPlayer();
    HRESULT DestroyLocalPlayer(DPID id, Clock::time_point now, Actions& out);
    struct PlayerView {
        DPID id;
        bool local;
        std::optional<std::string> shortName, longName;
    };
    std::vector<PlayerView> Players() const;  // local first

    // --- Messages
    HRESULT SendData(DPID from, DPID to, DWORD flags, const void* data, DWORD size,
                     std::size_t backlogBytes, Clock::time_point now, Actions& out, DPID* sentTo);
    HRESULT Receive(DPID* from, DPID* to, DWORD flags, void* data, DWORD* size);
    HRESULT MessageCount(DPID player, DWORD* count) const;

    // --- Searching
    void StartAsyncEnum(const std::vector<Endpoint>& targets, const GUID& application,
                        Clock::time_point now, Actions& out);
    void StopAsyncEnum() { async_.active = false; }
    std::vector<FoundSession> AsyncFound() const { return async_.found; }
    void StartSyncEnum(const std::vector<Endpoint>& targets, const GUID& application,
                       Clock::time_point now, Actions& out);
    std::vector<FoundSession> StopSyncEnum();
    std::optional<FoundSession> Known(const GUID& instance) const;

    // --- Input from the I/O thread
    void OnMessage(const Endpoint& from, const std::uint8_t* bytes, std::size_t size,
                   Clock::time_point now, Actions& out);
    void OnLinkClosed(const Endpoint& link, Clock::time_point now, Actions& out);
    void OnTick(Clock::time_point now, Actions& out);
    // The port a host (or a new host after migration) actually serves on.
    void SetServingPort(std::uint16_t port) { sessionPort_ = port; }

    std::uint64_t accepted() const { return accepted_; }
    std::uint64_t dropped() const { return dropped_; }
    // Sealed messages that did not open (forged, damaged, replayed or too old).
    std::uint64_t unsealable() const { return unsealable_; }
    // Session requests (searches and joins) left unanswered by the per-source limits.
    std::uint64_t throttled() const { return throttled_; }
    // Handshakes of this session that were answered but never confirmed with the right
    // passphrase.
    std::uint64_t failedHandshakes() const { return failedHandshakes_; }

private:
    struct Peer {
        Endpoint ep;
        std::uint32_t key = 0;
        std::uint32_t joinNonce = 0;
        DPID reservedId = 0;  // the member's player id
        Clock::time_point lastHeard, lastSent;
        std::uint32_t nextOutSequence = 1;
        std::uint32_t ackedUpTo = 0;
        std::deque<dpwire::Control> outQueue;
        std::optional<Clock::time_point> frontSentAt;
        std::uint32_t lastInSequence = 0;
        std::shared_ptr<dpguard::Channel> guard;  // set in a session with a passphrase
    };
    // A host's handshake with a joiner that has not confirmed yet.
    struct PendingAuth {
        Endpoint ep;
        std::uint32_t nonce = 0;
        dpwire::Point joinerPoint{};
        std::shared_ptr<dpguard::Handshake> handshake;
        std::vector<std::uint8_t> reply;  // sent again when the hello is repeated
        Clock::time_point since;
    };
    // A handshake ended without the right confirmation: counted, and the host's user told
    // when it keeps happening.
    void HandshakeFailed();

    struct LocalPlayer {
        DPID id = 0;
        std::optional<std::string> shortName, longName;
        EventHandle event;
    };
    struct SysMsg {
        DWORD type = 0;
        DPID player = 0;
        std::optional<std::string> shortName, longName;
        DWORD currentPlayers = 0;  // DPSYS_WRONGPASSPHRASE: the failed attempts
    };
    static SysMsg Simple(DWORD type) {
        SysMsg m;
        m.type = type;
        return m;
    }
    struct Queued {
        DPID from = 0;
        DPID to = 0;
        std::vector<std::uint8_t> data;
        std::optional<SysMsg> sys;
    };
    struct Search {
        bool active = false;
        std::uint32_t nonce = 0;
        GUID application = GUID_NULL;
        std::vector<Endpoint> targets;
        std::optional<Clock::time_point> lastRequest;
        std::vector<FoundSession> found;
    };

    void Send(const Endpoint& to, const dpwire::Message& m, bool traffic, Actions& out);
    void SendToPeer(const dpwire::Message& m, bool traffic, Clock::time_point now, Actions& out);
    std::uint32_t QueueControl(dpwire::Control c, Clock::time_point now, Actions& out);
    void PumpControl(Clock::time_point now, Actions& out);
    void SendSearch(Search& s, Clock::time_point now, Actions& out);
    bool OnSessionMessage(const dpwire::Message& m, Clock::time_point now, Actions& out);
    void ApplyControl(const dpwire::Control& c, Clock::time_point now, Actions& out);
    bool OnSearchReply(const Endpoint& from, const dpwire::EnumReply& r, Clock::time_point now);
    bool OnJoinAccept(const Endpoint& from, const dpwire::Message& m, Clock::time_point now,
                      Actions& out);
    void SendAccept(Clock::time_point now, Actions& out);
    void HandleJoinRequest(const Endpoint& from, const dpwire::JoinRequest& r,
                           Clock::time_point now, Actions& out);
    void HandleHello(const Endpoint& from, const dpwire::AuthHello& h, Clock::time_point now,
                     Actions& out);
    void HandleConfirm(const Endpoint& from, const dpwire::AuthConfirm& c, Clock::time_point now,
                       Actions& out);
    bool OnAuthReply(const Endpoint& from, const dpwire::AuthReply& r, Actions& out);
    bool OnSealed(const Endpoint& from, const dpwire::Message& m, const std::uint8_t* bytes,
                  std::size_t size, Clock::time_point now, Actions& out);
    // Whether the joiner may become the partner; a rejection is sent when not.
    bool RoomFor(const Endpoint& from, std::uint32_t nonce, Actions& out);
    void AdmitPeer(const Endpoint& from, std::uint32_t nonce,
                   std::shared_ptr<dpguard::Channel> guard, Clock::time_point now, Actions& out);
    // Per-source limit on session requests: false when this one is to go unanswered.
    bool AllowRequest(const Endpoint& from, Clock::time_point now);
    void DropPendingAuth(std::vector<PendingAuth>::iterator it);
    void LoseSession(Actions& out);
    void ClearSession();
    void PushSystem(SysMsg msg);
    void PushData(DPID from, DPID to, const std::uint8_t* data, std::size_t size);
    void Push(Queued q);
    std::uint32_t RandomNonZero();
    GUID RandomGuid();
    DPID NewPlayerId();
    std::size_t QueuedSize(const Queued& q) const;
    void WriteQueued(const Queued& q, void* data) const;

    bool tcp_ = false;
    EngineTiming timing_;
    std::mt19937_64 rng_;
    Role role_ = Role::None;
    GUID instance_ = GUID_NULL, application_ = GUID_NULL;
    dpwire::SessionInfo info_;
    std::uint16_t sessionPort_ = 0;
    std::optional<Peer> peer_;
    DPID reservedId_ = 0;  // member: the id the host keeps for our player
    std::optional<LocalPlayer> local_;
    std::optional<dpwire::PlayerInfo> remote_;
    std::deque<Queued> queue_;
    std::size_t queuedBytes_ = 0;
    // Joining
    std::optional<FoundSession> joinTarget_;
    std::uint32_t joinNonce_ = 0;
    std::optional<Clock::time_point> joinLastSent_;
    std::optional<HRESULT> joinResult_;
    std::shared_ptr<dpguard::Handshake> joinAuth_;  // a join with a passphrase
    std::shared_ptr<dpguard::Channel> joinGuard_;   // its keys, once the host's tag was right
    std::vector<std::uint8_t> joinResend_;          // the hello or the confirmation, as sent
    // The session's passphrase key (host and member alike: a member may become host).
    std::optional<dpguard::SecretKey> passphraseKey_;
    std::vector<PendingAuth> pendingAuth_;
    // Searching
    Search async_, sync_;
    std::deque<FoundSession> known_;
    // Answers to searches, counted per second: anyone may ask, so a flood of requests with a
    // forged sender must not turn the host into an amplifier against that sender.
    Clock::time_point replyWindow_;
    int repliesInWindow_ = 0;
    // On top of that, each computer is held to its share, so that a flood from one place
    // cannot use up the answers everybody else needs.
    RequestLimits requestLimits_;
    // New handshakes: each is one guess at the passphrase, so strangers get few (a person who
    // mistypes needs only a handful).
    GuessLimits guessLimits_;
    std::uint64_t accepted_ = 0, dropped_ = 0, unsealable_ = 0, throttled_ = 0;
    std::uint64_t failedHandshakes_ = 0;
};

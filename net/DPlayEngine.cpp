// The session layer's state machine: opening and closing, searching, receiving, control and
// keep-alive.
#include "net/DPlayEngine.h"

#include <algorithm>

using namespace dpwire;

namespace {
constexpr std::size_t kMaxFound = 64;  // sessions one search keeps
constexpr std::size_t kMaxKnown = 64;  // sessions Open(DPOPEN_JOIN) can find again
constexpr int kMaxRepliesPerSecond = 50;

bool Contains(const std::vector<Endpoint>& list, const Endpoint& ep) {
    return std::find(list.begin(), list.end(), ep) != list.end();
}
}  // namespace

DPlayEngine::DPlayEngine() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       static_cast<unsigned>(Clock::now().time_since_epoch().count())};
    rng_.seed(seed);
}

std::uint32_t DPlayEngine::RandomNonZero() {
    for (;;) {
        auto v = static_cast<std::uint32_t>(rng_());
        if (v != 0 && v != 0xFFFFFFFFu) return v;
    }
}

GUID DPlayEngine::RandomGuid() {
    std::uint64_t a = rng_(), b = rng_();
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(a);
    g.Data2 = static_cast<std::uint16_t>(a >> 32);
    g.Data3 = static_cast<std::uint16_t>(((a >> 48) & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<std::uint8_t>(b >> (8 * i));
    g.Data4[0] = static_cast<std::uint8_t>((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

DPID DPlayEngine::NewPlayerId() {
    for (;;) {
        DPID id = RandomNonZero();
        if (peer_ && id == peer_->reservedId) continue;
        if (remote_ && id == remote_->id) continue;
        if (local_ && id == local_->id) continue;
        return id;
    }
}

DWORD DPlayEngine::CurrentPlayers() const { return (local_ ? 1 : 0) + (remote_ ? 1 : 0); }

// --- Sending -----------------------------------------------------------------------------

void DPlayEngine::Send(const Endpoint& to, const Message& m, bool traffic, Actions& out) {
    out.sends.push_back({to, Encode(m), traffic, role_ == Role::Host});
}

void DPlayEngine::SendToPeer(const Message& m, bool traffic, Clock::time_point now, Actions& out) {
    if (!peer_) return;
    Message keyed = m;
    keyed.key = peer_->key;
    if (peer_->guard)
        out.sends.push_back({peer_->ep, peer_->guard->Seal(Encode(keyed), peer_->key), traffic,
                             role_ == Role::Host});
    else
        Send(peer_->ep, keyed, traffic, out);
    peer_->lastSent = now;
}

std::uint32_t DPlayEngine::QueueControl(Control c, Clock::time_point now, Actions& out) {
    if (!peer_) return 0;
    c.sequence = peer_->nextOutSequence++;
    peer_->outQueue.push_back(c);
    PumpControl(now, out);
    return c.sequence;
}

void DPlayEngine::PumpControl(Clock::time_point now, Actions& out) {
    if (!peer_ || peer_->outQueue.empty()) return;
    // On TCP the stream delivers what was written once; repeating only makes duplicates.
    if (peer_->frontSentAt && (tcp_ || now - *peer_->frontSentAt < timing_.controlRetry)) return;
    SendToPeer(Message{0, peer_->outQueue.front()}, false, now, out);
    peer_->frontSentAt = now;
}

bool DPlayEngine::ControlDone(std::uint32_t sequence) const {
    return !peer_ || peer_->ackedUpTo >= sequence;
}

// --- Opening and closing -----------------------------------------------------------------

void DPlayEngine::ClearSession() {
    role_ = Role::None;
    instance_ = application_ = GUID_NULL;
    info_ = {};
    peer_.reset();
    reservedId_ = 0;
    local_.reset();
    remote_.reset();
    queue_.clear();
    queuedBytes_ = 0;
    joinTarget_.reset();
    joinLastSent_.reset();
    joinResult_.reset();
    joinAuth_.reset();
    joinGuard_.reset();
    joinResend_.clear();
    passphraseKey_.reset();
    pendingAuth_.clear();
}

GUID DPlayEngine::CreateSession(const GUID& application, const SessionInfo& info,
                                std::uint16_t port, const GUID& instance,
                                std::optional<dpguard::SecretKey> passphraseKey) {
    ClearSession();
    role_ = Role::Host;
    instance_ = instance == GUID_NULL ? RandomGuid() : instance;
    application_ = application;
    info_ = info;
    passphraseKey_ = std::move(passphraseKey);
    guessLimits_.Reset();
    failedHandshakes_ = 0;
    // Searchers see that the session asks for a passphrase; the flag itself protects nothing.
    if (passphraseKey_)
        info_.flags |= DPSESSION_PASSWORDREQUIRED;
    else
        info_.flags &= ~DPSESSION_PASSWORDREQUIRED;
    sessionPort_ = port;
    return instance_;
}

void DPlayEngine::BeginJoin(const FoundSession& target, Clock::time_point now, Actions& out,
                            std::optional<dpguard::SecretKey> passphraseKey) {
    ClearSession();
    role_ = Role::Joining;
    joinTarget_ = target;
    joinNonce_ = RandomNonZero();
    joinLastSent_ = now;
    if (!passphraseKey) {
        Send(target.host, Message{0, JoinRequest{joinNonce_, target.instance}}, false, out);
        return;
    }
    passphraseKey_ = std::move(passphraseKey);
    joinAuth_ = std::make_shared<dpguard::Handshake>();
    if (!joinAuth_->StartAsJoiner(*passphraseKey_, target.instance)) {
        ClearSession();
        joinResult_ = DPERR_GENERIC;
        return;
    }
    AuthHello hello{joinNonce_, target.instance, joinAuth_->JoinerRandom(), joinAuth_->OwnPoint()};
    joinResend_ = Encode(Message{0, hello});
    out.sends.push_back({target.host, joinResend_, false, false});
}

void DPlayEngine::AbortJoin(Actions& out) {
    if (role_ != Role::Joining) return;
    if (tcp_ && joinTarget_) out.closeLinks.push_back(joinTarget_->host);
    ClearSession();
}

std::uint32_t DPlayEngine::BeginLeave(Clock::time_point now, Actions& out) {
    if ((role_ != Role::Host && role_ != Role::Member) || !peer_) return 0;
    Control c;
    c.kind = ControlKind::Leave;
    c.migrate = role_ == Role::Host && (info_.flags & DPSESSION_MIGRATEHOST) != 0;
    return QueueControl(c, now, out);
}

void DPlayEngine::FinishClose(Actions& out) {
    if (tcp_ && peer_) out.closeLinks.push_back(peer_->ep);
    out.stopServing = true;
    ClearSession();
}

void DPlayEngine::LoseSession(Actions& out) {
    if (tcp_ && peer_) out.closeLinks.push_back(peer_->ep);
    if (role_ == Role::Host) out.stopServing = true;
    peer_.reset();
    remote_.reset();
    role_ = Role::Lost;
    PushSystem(Simple(DPSYS_SESSIONLOST));
}

HRESULT DPlayEngine::SetSessionDesc(const SessionInfo& info, Clock::time_point now, Actions& out) {
    if (role_ == Role::Member) return DPERR_ACCESSDENIED;
    if (role_ == Role::Lost) return DPERR_CONNECTIONLOST;
    if (role_ != Role::Host) return DPERR_NOSESSIONS;
    info_ = info;
    if (passphraseKey_)
        info_.flags |= DPSESSION_PASSWORDREQUIRED;
    else
        info_.flags &= ~DPSESSION_PASSWORDREQUIRED;
    if (peer_) {
        Control c;
        c.kind = ControlKind::SessionDesc;
        c.session = info_;
        c.session.currentPlayers = CurrentPlayers();
        QueueControl(c, now, out);
    }
    return DP_OK;
}

// --- Searching ---------------------------------------------------------------------------

void DPlayEngine::SendSearch(Search& s, Clock::time_point now, Actions& out) {
    for (const auto& target : s.targets)
        Send(target, Message{0, EnumRequest{s.application, s.nonce}}, false, out);
    s.lastRequest = now;
}

void DPlayEngine::StartAsyncEnum(const std::vector<Endpoint>& targets, const GUID& application,
                                 Clock::time_point now, Actions& out) {
    if (async_.active && async_.targets == targets && async_.application == application) return;
    async_ = Search{true, RandomNonZero(), application, targets, std::nullopt, {}};
    SendSearch(async_, now, out);
}

void DPlayEngine::StartSyncEnum(const std::vector<Endpoint>& targets, const GUID& application,
                                Clock::time_point now, Actions& out) {
    sync_ = Search{true, RandomNonZero(), application, targets, std::nullopt, {}};
    SendSearch(sync_, now, out);
}

std::vector<FoundSession> DPlayEngine::StopSyncEnum() {
    sync_.active = false;
    return std::move(sync_.found);
}

std::optional<FoundSession> DPlayEngine::Known(const GUID& instance) const {
    for (const auto& k : known_)
        if (k.instance == instance) return k;
    return std::nullopt;
}

bool DPlayEngine::OnSearchReply(const Endpoint& from, const EnumReply& r, Clock::time_point now) {
    bool used = false;
    for (Search* s : {&async_, &sync_}) {
        if (!s->active || r.nonce != s->nonce || !Contains(s->targets, from)) continue;
        if (s->application != GUID_NULL && r.application != s->application) continue;
        FoundSession f{r.instance, r.application, r.session, from, now};
        // One host port serves one session; a new answer replaces what it said before.
        auto it = std::find_if(s->found.begin(), s->found.end(),
                               [&](const FoundSession& x) { return x.host == from; });
        if (it != s->found.end())
            *it = f;
        else if (s->found.size() < kMaxFound)
            s->found.push_back(f);
        std::erase_if(known_, [&](const FoundSession& k) {
            return k.instance == r.instance || k.host == from;
        });
        known_.push_back(f);
        if (known_.size() > kMaxKnown) known_.pop_front();
        used = true;
    }
    return used;
}

// --- Receiving ---------------------------------------------------------------------------

void DPlayEngine::OnMessage(const Endpoint& from, const std::uint8_t* bytes, std::size_t size,
                            Clock::time_point now, Actions& out) {
    auto m = Decode(bytes, size, MaxPayload());
    bool used = false;
    const bool hosting = role_ == Role::Host && from.channel == Endpoint::Host;
    if (m) {
        if (auto* req = std::get_if<EnumRequest>(&m->body)) {
            if (now - replyWindow_ >= std::chrono::seconds(1)) {
                replyWindow_ = now;
                repliesInWindow_ = 0;
            }
            if (hosting && (req->application == GUID_NULL || req->application == application_) &&
                repliesInWindow_ < kMaxRepliesPerSecond && AllowRequest(from, now)) {
                ++repliesInWindow_;
                SessionInfo s = info_;
                DWORD joined = (local_ ? 1 : 0) + (peer_ ? 1 : 0);
                s.currentPlayers = std::max(CurrentPlayers(), joined);
                Send(from, Message{0, EnumReply{req->nonce, instance_, application_, s}}, false,
                     out);
                used = true;
            }
        } else if (auto* join = std::get_if<JoinRequest>(&m->body)) {
            if (hosting && AllowRequest(from, now)) {
                if (passphraseKey_)
                    Send(from, Message{0, JoinReject{join->nonce, DPERR_INVALIDPASSWORD}}, false,
                         out);
                else
                    HandleJoinRequest(from, *join, now, out);
                used = true;
            }
        } else if (auto* hello = std::get_if<AuthHello>(&m->body)) {
            if (hosting && AllowRequest(from, now)) {
                HandleHello(from, *hello, now, out);
                used = true;
            }
        } else if (auto* confirm = std::get_if<AuthConfirm>(&m->body)) {
            if (hosting) {
                HandleConfirm(from, *confirm, now, out);
                used = true;
            }
        } else if (auto* authReply = std::get_if<AuthReply>(&m->body)) {
            used = OnAuthReply(from, *authReply, out);
        } else if (std::holds_alternative<Sealed>(m->body)) {
            used = OnSealed(from, *m, bytes, size, now, out);
        } else if (auto* reply = std::get_if<EnumReply>(&m->body)) {
            if (from.channel == Endpoint::Client) used = OnSearchReply(from, *reply, now);
        } else if (std::holds_alternative<JoinAccept>(m->body)) {
            // A join with a passphrase is accepted only inside a sealed message.
            if (!joinAuth_) used = OnJoinAccept(from, *m, now, out);
        } else if (auto* reject = std::get_if<JoinReject>(&m->body)) {
            // Once the host has proved that it knows the passphrase, a rejection in clear can
            // only come from somebody else.
            if (role_ == Role::Joining && joinTarget_ && from.channel == Endpoint::Client &&
                from == joinTarget_->host && reject->nonce == joinNonce_ && !joinGuard_) {
                HRESULT result = reject->result;
                ClearSession();
                joinResult_ = result;
                used = true;
            }
        } else if (peer_ && !peer_->guard && from == peer_->ep && m->key == peer_->key &&
                   (role_ == Role::Host || role_ == Role::Member)) {
            used = OnSessionMessage(*m, now, out);
        }
    }
    if (used)
        ++accepted_;
    else
        ++dropped_;
}

bool DPlayEngine::OnSessionMessage(const Message& m, Clock::time_point now, Actions& out) {
    peer_->lastHeard = now;
    if (std::holds_alternative<KeepAlive>(m.body)) return true;
    if (auto* ack = std::get_if<ControlAck>(&m.body)) {
        auto& q = peer_->outQueue;
        if (q.empty() || q.front().sequence != ack->sequence) return true;  // a repeat
        peer_->ackedUpTo = ack->sequence;
        q.pop_front();
        peer_->frontSentAt.reset();
        PumpControl(now, out);
        return true;
    }
    if (auto* c = std::get_if<Control>(&m.body)) {
        if (c->sequence > peer_->lastInSequence + 1) return false;  // cannot happen in order
        SendToPeer(Message{0, ControlAck{c->sequence}}, false, now, out);
        if (c->sequence <= peer_->lastInSequence) return true;  // already acted on
        peer_->lastInSequence = c->sequence;
        ApplyControl(*c, now, out);
        return true;
    }
    if (auto* d = std::get_if<Data>(&m.body)) {
        if (!remote_ || d->from != remote_->id || !local_ || d->to != local_->id) return false;
        PushData(d->from, d->to, d->payload, d->size);
        return true;
    }
    return false;
}

void DPlayEngine::ApplyControl(const Control& c, Clock::time_point /*now*/, Actions& out) {
    auto destroyRemote = [this] {
        if (!remote_) return;
        SysMsg msg{DPSYS_DESTROYPLAYERORGROUP, remote_->id, remote_->shortName, remote_->longName};
        remote_.reset();
        msg.currentPlayers = CurrentPlayers();
        PushSystem(std::move(msg));
    };
    switch (c.kind) {
        case ControlKind::PlayerCreated: {
            if (remote_) return;
            bool expected =
                role_ == Role::Host ? c.player.id == peer_->reservedId : c.player.id != reservedId_;
            if (!expected) return;
            remote_ = c.player;
            PushSystem(SysMsg{DPSYS_CREATEPLAYERORGROUP, c.player.id, c.player.shortName,
                              c.player.longName, CurrentPlayers()});
            return;
        }
        case ControlKind::PlayerDestroyed:
            if (remote_ && remote_->id == c.playerId) destroyRemote();
            return;
        case ControlKind::SessionDesc:
            if (role_ == Role::Member) info_ = c.session;
            return;
        case ControlKind::Leave: {
            Endpoint old = peer_->ep;
            destroyRemote();
            peer_.reset();
            if (tcp_) out.closeLinks.push_back(old);
            if (role_ == Role::Host) return;  // the member left; the next guest may come
            if (c.migrate && (info_.flags & DPSESSION_MIGRATEHOST) != 0) {
                role_ = Role::Host;
                out.serve = sessionPort_;
                PushSystem(Simple(DPSYS_HOST));
            } else {
                role_ = Role::Lost;
                PushSystem(Simple(DPSYS_SESSIONLOST));
            }
            return;
        }
    }
}

void DPlayEngine::OnLinkClosed(const Endpoint& link, Clock::time_point /*now*/, Actions& out) {
    if (role_ == Role::Joining && joinTarget_ && link == joinTarget_->host) {
        ClearSession();
        joinResult_ = DPERR_CONNECTIONLOST;
        return;
    }
    if (peer_ && link == peer_->ep && (role_ == Role::Host || role_ == Role::Member)) {
        peer_.reset();  // the link is already closed: nothing to close again
        LoseSession(out);
    }
}

void DPlayEngine::OnTick(Clock::time_point now, Actions& out) {
    if (role_ == Role::Joining && !tcp_ && joinTarget_ && joinLastSent_ &&
        now - *joinLastSent_ >= timing_.joinRetry) {
        if (joinAuth_)
            out.sends.push_back({joinTarget_->host, joinResend_, false, false});
        else
            Send(joinTarget_->host, Message{0, JoinRequest{joinNonce_, joinTarget_->instance}},
                 false, out);
        joinLastSent_ = now;
    }
    for (auto it = pendingAuth_.begin(); it != pendingAuth_.end();)
        if (now - it->since >= timing_.authExpiry) {
            DropPendingAuth(it);
            it = pendingAuth_.begin();
        } else {
            ++it;
        }
    if (peer_ && (role_ == Role::Host || role_ == Role::Member)) {
        if (now - peer_->lastHeard >= timing_.keepAliveTimeout) {
            LoseSession(out);
        } else {
            PumpControl(now, out);
            if (now - peer_->lastSent >= timing_.keepAliveInterval)
                SendToPeer(Message{0, KeepAlive{}}, true, now, out);
        }
    }
    for (Search* s : {&async_, &sync_}) {
        if (!s->active) continue;
        if (!s->lastRequest || now - *s->lastRequest >= timing_.enumPeriod)
            SendSearch(*s, now, out);
    }
    if (async_.active)
        std::erase_if(async_.found, [&](const FoundSession& f) {
            return now - f.lastSeen >= timing_.enumExpiry;
        });
}

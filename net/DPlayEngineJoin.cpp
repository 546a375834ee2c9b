// The session layer's joining: plain and with a passphrase (the handshake and the sealed link), and
// the per-source limits on requests.
#include <algorithm>

#include "net/DPlayEngine.h"

using namespace dpwire;

namespace {
// Handshakes a host keeps waiting for their confirmation, in all and from one computer.
constexpr std::size_t kMaxPendingAuth = 16;
constexpr std::size_t kMaxPendingAuthPerAddress = 4;
// The host's user hears of wrong passphrases at the third, and then at every tenth.
bool WorthTelling(std::uint64_t failures) { return failures == 3 || failures % 10 == 0; }
}  // namespace

bool DPlayEngine::AllowRequest(const Endpoint& from, Clock::time_point now) {
    if (requestLimits_.Allow(from.ip, from.port, now)) return true;
    ++throttled_;
    return false;
}

void DPlayEngine::HandshakeFailed() {
    ++failedHandshakes_;
    if (!WorthTelling(failedHandshakes_)) return;
    SysMsg m = Simple(DPSYS_WRONGPASSPHRASE);
    m.currentPlayers = static_cast<DWORD>(std::min<std::uint64_t>(failedHandshakes_, 0xFFFFFFFFu));
    PushSystem(std::move(m));
}

void DPlayEngine::DropPendingAuth(std::vector<PendingAuth>::iterator it) {
    pendingAuth_.erase(it);
    HandshakeFailed();
}

bool DPlayEngine::OnSealed(const Endpoint& from, const Message& m, const std::uint8_t* bytes,
                           std::size_t size, Clock::time_point now, Actions& out) {
    const auto& sealed = std::get<Sealed>(m.body);
    dpguard::Channel* channel = nullptr;
    const bool joining = role_ == Role::Joining && joinGuard_ && joinTarget_ &&
                         from.channel == Endpoint::Client && from == joinTarget_->host;
    if (joining)
        channel = joinGuard_.get();
    else if (peer_ && peer_->guard && from == peer_->ep && m.key == peer_->key &&
             (role_ == Role::Host || role_ == Role::Member))
        channel = peer_->guard.get();
    if (channel == nullptr) return false;
    auto inner = channel->Open(bytes, size, sealed);
    if (!inner) {
        ++unsealable_;
        return false;
    }
    auto im = Decode(inner->data(), inner->size(), MaxPayload());
    // A sealed message holds one plain message of the session, never another sealed one.
    if (!im || im->key != m.key || std::holds_alternative<Sealed>(im->body)) return false;
    if (joining) {
        if (!std::holds_alternative<JoinAccept>(im->body)) return false;
        auto guard = joinGuard_;
        if (!OnJoinAccept(from, *im, now, out)) return false;
        peer_->guard = std::move(guard);
        joinAuth_.reset();
        joinGuard_.reset();
        joinResend_.clear();
        return true;
    }
    const Body& b = im->body;
    if (std::holds_alternative<Control>(b) || std::holds_alternative<ControlAck>(b) ||
        std::holds_alternative<Data>(b) || std::holds_alternative<KeepAlive>(b))
        return OnSessionMessage(*im, now, out);
    return false;
}

bool DPlayEngine::RoomFor(const Endpoint& from, std::uint32_t nonce, Actions& out) {
    auto reject = [&](HRESULT code) {
        Send(from, Message{0, JoinReject{nonce, code}}, false, out);
        return false;
    };
    if (peer_) return reject(DPERR_NONEWPLAYERS);
    bool closed = (info_.flags & (DPSESSION_JOINDISABLED | DPSESSION_NEWPLAYERSDISABLED)) != 0;
    if (closed || (local_ ? 1u : 0u) + 1 > info_.maxPlayers) return reject(DPERR_NONEWPLAYERS);
    return true;
}

void DPlayEngine::AdmitPeer(const Endpoint& from, std::uint32_t nonce,
                            std::shared_ptr<dpguard::Channel> guard, Clock::time_point now,
                            Actions& out) {
    Peer p;
    p.ep = from;
    p.key = RandomNonZero();
    p.joinNonce = nonce;
    p.lastHeard = p.lastSent = now;
    p.guard = std::move(guard);
    peer_ = p;
    peer_->reservedId = NewPlayerId();
    if (tcp_) out.markPeers.push_back(from);
    SendAccept(now, out);
}

void DPlayEngine::HandleHello(const Endpoint& from, const AuthHello& h, Clock::time_point now,
                              Actions& out) {
    auto reject = [&](HRESULT code) {
        Send(from, Message{0, JoinReject{h.nonce, code}}, false, out);
    };
    if (h.instance != instance_) return reject(DPERR_NOSESSIONS);
    // A joiner with a passphrase must not end up in an open session: it would believe itself
    // protected.
    if (!passphraseKey_) return reject(DPERR_INVALIDPASSWORD);
    if (peer_) return reject(DPERR_NONEWPLAYERS);
    for (const auto& p : pendingAuth_) {
        if (p.ep == from && p.nonce == h.nonce) {
            // The joiner repeats its hello until our reply arrives.
            if (p.joinerPoint == h.point) out.sends.push_back({from, p.reply, false, true});
            return;
        }
    }
    if (!guessLimits_.Start(from.ip, now)) {
        ++throttled_;
        return;
    }
    auto handshake = std::make_shared<dpguard::Handshake>();
    if (!handshake->AnswerHello(*passphraseKey_, instance_, h.random, h.point)) return;
    // A new hello from the same socket ends its earlier handshake unconfirmed.
    for (auto it = pendingAuth_.begin(); it != pendingAuth_.end();)
        if (it->ep == from) {
            DropPendingAuth(it);
            it = pendingAuth_.begin();
        } else {
            ++it;
        }
    std::size_t fromAddress =
        std::count_if(pendingAuth_.begin(), pendingAuth_.end(),
                      [&](const PendingAuth& p) { return p.ep.ip == from.ip; });
    // The oldest handshake gives way: it has had the longest time to confirm.
    auto dropOldest = [&](auto pred) {
        auto it = std::find_if(pendingAuth_.begin(), pendingAuth_.end(), pred);
        if (it != pendingAuth_.end()) DropPendingAuth(it);
    };
    if (fromAddress >= kMaxPendingAuthPerAddress)
        dropOldest([&](const PendingAuth& p) { return p.ep.ip == from.ip; });
    if (pendingAuth_.size() >= kMaxPendingAuth) dropOldest([](const PendingAuth&) { return true; });
    PendingAuth p;
    p.ep = from;
    p.nonce = h.nonce;
    p.joinerPoint = h.point;
    p.handshake = handshake;
    p.reply = Encode(Message{0, AuthReply{h.nonce, handshake->OwnPoint(), handshake->HostTag()}});
    p.since = now;
    out.sends.push_back({from, p.reply, false, true});
    pendingAuth_.push_back(std::move(p));
}

void DPlayEngine::HandleConfirm(const Endpoint& from, const AuthConfirm& c, Clock::time_point now,
                                Actions& out) {
    if (!passphraseKey_) return;
    // The joiner repeats its confirmation until the acceptance arrives.
    if (peer_ && peer_->ep == from && peer_->joinNonce == c.nonce) return SendAccept(now, out);
    auto it = std::find_if(pendingAuth_.begin(), pendingAuth_.end(), [&](const PendingAuth& p) {
        return p.ep == from && p.nonce == c.nonce;
    });
    if (it == pendingAuth_.end()) return;
    auto handshake = it->handshake;
    pendingAuth_.erase(it);  // one guess per handshake
    if (!handshake->CheckJoinerTag(c.tag)) {
        HandshakeFailed();
        Send(from, Message{0, JoinReject{c.nonce, DPERR_INVALIDPASSWORD}}, false, out);
        return;
    }
    guessLimits_.Confirmed(from.ip, now);
    if (!RoomFor(from, c.nonce, out)) return;
    AdmitPeer(from, c.nonce, std::make_shared<dpguard::Channel>(handshake->Keys(true)), now, out);
}

bool DPlayEngine::OnAuthReply(const Endpoint& from, const AuthReply& r, Actions& out) {
    if (role_ != Role::Joining || !joinAuth_ || joinGuard_ || !joinTarget_ ||
        from.channel != Endpoint::Client || from != joinTarget_->host || r.nonce != joinNonce_)
        return false;
    if (!joinAuth_->TakeReply(r.point) || !joinAuth_->CheckHostTag(r.tag)) {
        // The host does not know our passphrase (or this reply is not the host's).
        ClearSession();
        joinResult_ = DPERR_INVALIDPASSWORD;
        return true;
    }
    joinGuard_ = std::make_shared<dpguard::Channel>(joinAuth_->Keys(false));
    joinResend_ = Encode(Message{0, AuthConfirm{joinNonce_, joinAuth_->JoinerTag()}});
    out.sends.push_back({joinTarget_->host, joinResend_, false, false});
    return true;
}

void DPlayEngine::HandleJoinRequest(const Endpoint& from, const JoinRequest& r,
                                    Clock::time_point now, Actions& out) {
    auto reject = [&](HRESULT code) {
        Send(from, Message{0, JoinReject{r.nonce, code}}, false, out);
    };
    if (r.instance != instance_) return reject(DPERR_NOSESSIONS);
    // The joiner repeats its request until the answer arrives.
    if (peer_ && peer_->ep == from && peer_->joinNonce == r.nonce) return SendAccept(now, out);
    if (!RoomFor(from, r.nonce, out)) return;
    AdmitPeer(from, r.nonce, nullptr, now, out);
}

void DPlayEngine::SendAccept(Clock::time_point now, Actions& out) {
    JoinAccept a;
    a.nonce = peer_->joinNonce;
    a.instance = instance_;
    a.application = application_;
    a.yourPlayerId = peer_->reservedId;
    a.session = info_;
    a.session.currentPlayers = CurrentPlayers();
    if (local_) a.players.push_back(PlayerInfo{local_->id, local_->shortName, local_->longName});
    SendToPeer(Message{0, a}, false, now, out);
}

bool DPlayEngine::OnJoinAccept(const Endpoint& from, const Message& m, Clock::time_point now,
                               Actions& out) {
    const auto& a = std::get<JoinAccept>(m.body);
    if (role_ != Role::Joining || !joinTarget_ || from.channel != Endpoint::Client ||
        from != joinTarget_->host || a.nonce != joinNonce_ || a.instance != joinTarget_->instance)
        return false;
    joinTarget_.reset();
    joinLastSent_.reset();
    role_ = Role::Member;
    instance_ = a.instance;
    application_ = a.application;
    info_ = a.session;
    Peer p;
    p.ep = from;
    p.key = m.key;
    p.lastHeard = p.lastSent = now;
    peer_ = p;
    reservedId_ = a.yourPlayerId;
    if (!a.players.empty()) remote_ = a.players.front();
    sessionPort_ = from.port;
    joinResult_ = DP_OK;
    if (tcp_) out.markPeers.push_back(from);
    return true;
}

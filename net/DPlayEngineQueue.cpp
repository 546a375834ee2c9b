// The session layer's players, data sends and the receive queue with its system messages.
#include <algorithm>
#include <cstring>

#include "net/DPlayEngine.h"

using namespace dpwire;

namespace {
// A partner that sends faster than the local player receives cannot make the queue grow
// without bound: data beyond these limits is dropped (system messages never are).
constexpr std::size_t kMaxQueued = 65536;
constexpr std::size_t kMaxQueuedBytes = 64u << 20;
// Send answers DPERR_BUSY while this much is still waiting to go out on the link.
constexpr std::size_t kMaxBacklog = 8u << 20;

std::size_t NameBytes(const std::optional<std::string>& name) {
    return name ? name->size() + 1 : 0;
}
// The short name of a system message is never null: a player without one shows "".
std::optional<std::string> ShortName(const std::optional<std::string>& name) {
    return name ? name : std::optional<std::string>(std::string());
}
// Copies the name behind the record and returns where it went (null for no name).
const char* PlaceName(const std::optional<std::string>& name, char*& cursor) {
    if (!name) return nullptr;
    std::memcpy(cursor, name->c_str(), name->size() + 1);
    const char* placed = cursor;
    cursor += name->size() + 1;
    return placed;
}
}  // namespace

HRESULT DPlayEngine::CreateLocalPlayer(const std::optional<std::string>& shortName,
                                       const std::optional<std::string>& longName,
                                       EventHandle event, Clock::time_point now, Actions& out,
                                       DPID* id, std::uint32_t* waitSequence) {
    *waitSequence = 0;
    if (role_ == Role::Lost) return DPERR_CONNECTIONLOST;
    if (role_ != Role::Host && role_ != Role::Member) return DPERR_NOSESSIONS;
    if (local_) return DPERR_CANTCREATEPLAYER;
    if (role_ == Role::Host && CurrentPlayers() + 1 > info_.maxPlayers)
        return DPERR_CANTCREATEPLAYER;
    LocalPlayer p;
    p.id = role_ == Role::Host ? NewPlayerId() : reservedId_;
    p.shortName = shortName;
    p.longName = longName;
    p.event = std::move(event);
    local_ = std::move(p);
    *id = local_->id;
    if (peer_) {
        Control c;
        c.kind = ControlKind::PlayerCreated;
        c.player = PlayerInfo{local_->id, shortName, longName};
        std::uint32_t sequence = QueueControl(c, now, out);
        if (role_ == Role::Member) *waitSequence = sequence;
    }
    return DP_OK;
}

void DPlayEngine::UndoLocalPlayer() {
    local_.reset();
    queue_.clear();
    queuedBytes_ = 0;
}

HRESULT DPlayEngine::DestroyLocalPlayer(DPID id, Clock::time_point now, Actions& out) {
    if (!local_ || local_->id != id) return DPERR_INVALIDPLAYER;
    UndoLocalPlayer();
    if (peer_ && (role_ == Role::Host || role_ == Role::Member)) {
        Control c;
        c.kind = ControlKind::PlayerDestroyed;
        c.playerId = id;
        QueueControl(c, now, out);
    }
    return DP_OK;
}

std::vector<DPlayEngine::PlayerView> DPlayEngine::Players() const {
    std::vector<PlayerView> list;
    if (local_) list.push_back({local_->id, true, local_->shortName, local_->longName});
    if (remote_) list.push_back({remote_->id, false, remote_->shortName, remote_->longName});
    return list;
}

HRESULT DPlayEngine::SendData(DPID from, DPID to, DWORD flags, const void* data, DWORD size,
                              std::size_t backlogBytes, Clock::time_point now, Actions& out,
                              DPID* sentTo) {
    *sentTo = 0;
    if (role_ == Role::Lost) return DPERR_CONNECTIONLOST;
    if (!local_ || from != local_->id) return DPERR_INVALIDPLAYER;
    if ((flags & ~DPSEND_GUARANTEED) != 0) return DPERR_INVALIDFLAGS;
    if ((flags & DPSEND_GUARANTEED) != 0 && !tcp_) return DPERR_UNSUPPORTED;
    if (data == nullptr || size == 0) return DPERR_INVALIDPARAMS;
    if (size > MaxPayload()) return DPERR_SENDTOOBIG;
    if (to == DPID_ALLPLAYERS) {
        if (!remote_) return DP_OK;  // nobody else is there
        to = remote_->id;
    } else if (!remote_ || to != remote_->id) {
        return DPERR_INVALIDPLAYER;
    }
    if (!peer_) return DPERR_INVALIDPLAYER;
    if (backlogBytes > kMaxBacklog) return DPERR_BUSY;
    Data d{from, to, static_cast<const std::uint8_t*>(data), size};
    SendToPeer(Message{0, d}, true, now, out);
    *sentTo = to;
    return DP_OK;
}

void DPlayEngine::PushSystem(SysMsg msg) {
    if (!local_) return;
    Queued q;
    q.from = DPID_SYSMSG;
    q.to = local_->id;
    q.sys = std::move(msg);
    Push(std::move(q));
}

void DPlayEngine::PushData(DPID from, DPID to, const std::uint8_t* data, std::size_t size) {
    if (queue_.size() >= kMaxQueued || queuedBytes_ + size > kMaxQueuedBytes) {
        ++dropped_;
        return;
    }
    Queued q;
    q.from = from;
    q.to = to;
    q.data.assign(data, data + size);
    Push(std::move(q));
}

void DPlayEngine::Push(Queued q) {
    queuedBytes_ += q.data.size();
    queue_.push_back(std::move(q));
    if (local_ && local_->event) local_->event->Set();
}

std::size_t DPlayEngine::QueuedSize(const Queued& q) const {
    if (!q.sys) return q.data.size();
    switch (q.sys->type) {
        case DPSYS_CREATEPLAYERORGROUP:
            return sizeof(DPMSG_CREATEPLAYERORGROUP) + NameBytes(ShortName(q.sys->shortName)) +
                   NameBytes(q.sys->longName);
        case DPSYS_DESTROYPLAYERORGROUP:
            return sizeof(DPMSG_DESTROYPLAYERORGROUP) + NameBytes(ShortName(q.sys->shortName)) +
                   NameBytes(q.sys->longName);
        case DPSYS_WRONGPASSPHRASE:
            return sizeof(DPMSG_WRONGPASSPHRASE);
        default:
            return sizeof(DPMSG_GENERIC);
    }
}

void DPlayEngine::WriteQueued(const Queued& q, void* data) const {
    char* base = static_cast<char*>(data);
    if (!q.sys) {
        std::memcpy(base, q.data.data(), q.data.size());
        return;
    }
    const SysMsg& s = *q.sys;
    if (s.type == DPSYS_CREATEPLAYERORGROUP) {
        DPMSG_CREATEPLAYERORGROUP m{};
        char* cursor = base + sizeof(m);
        m.dwType = s.type;
        m.dwPlayerType = DPPLAYERTYPE_PLAYER;
        m.dpId = s.player;
        m.dwCurrentPlayers = s.currentPlayers;
        m.dpnName.dwSize = sizeof(DPNAME);
        m.dpnName.lpszShortNameA = PlaceName(ShortName(s.shortName), cursor);
        m.dpnName.lpszLongNameA = PlaceName(s.longName, cursor);
        std::memcpy(base, &m, sizeof(m));
    } else if (s.type == DPSYS_DESTROYPLAYERORGROUP) {
        DPMSG_DESTROYPLAYERORGROUP m{};
        char* cursor = base + sizeof(m);
        m.dwType = s.type;
        m.dwPlayerType = DPPLAYERTYPE_PLAYER;
        m.dpId = s.player;
        m.dpnName.dwSize = sizeof(DPNAME);
        m.dpnName.lpszShortNameA = PlaceName(ShortName(s.shortName), cursor);
        m.dpnName.lpszLongNameA = PlaceName(s.longName, cursor);
        std::memcpy(base, &m, sizeof(m));
    } else if (s.type == DPSYS_WRONGPASSPHRASE) {
        DPMSG_WRONGPASSPHRASE m{s.type, s.currentPlayers};
        std::memcpy(base, &m, sizeof(m));
    } else {
        DPMSG_GENERIC m{s.type};
        std::memcpy(base, &m, sizeof(m));
    }
}

HRESULT DPlayEngine::Receive(DPID* from, DPID* to, DWORD flags, void* data, DWORD* size) {
    if (from == nullptr || to == nullptr || size == nullptr) return DPERR_INVALIDPARAMS;
    constexpr DWORD known =
        DPRECEIVE_ALL | DPRECEIVE_TOPLAYER | DPRECEIVE_FROMPLAYER | DPRECEIVE_PEEK;
    if ((flags & ~known) != 0) return DPERR_INVALIDFLAGS;
    bool all =
        (flags & DPRECEIVE_ALL) != 0 || (flags & (DPRECEIVE_TOPLAYER | DPRECEIVE_FROMPLAYER)) == 0;
    auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Queued& q) {
        if (all) return true;
        if ((flags & DPRECEIVE_TOPLAYER) != 0 && q.to != *to) return false;
        if ((flags & DPRECEIVE_FROMPLAYER) != 0 && q.from != *from) return false;
        return true;
    });
    if (it == queue_.end()) return DPERR_NOMESSAGES;
    std::size_t need = QueuedSize(*it);
    if (data == nullptr || *size < need) {
        *size = static_cast<DWORD>(need);
        return DPERR_BUFFERTOOSMALL;
    }
    WriteQueued(*it, data);
    *from = it->from;
    *to = it->to;
    *size = static_cast<DWORD>(need);
    if ((flags & DPRECEIVE_PEEK) == 0) {
        queuedBytes_ -= it->data.size();
        queue_.erase(it);
    }
    return DP_OK;
}

HRESULT DPlayEngine::MessageCount(DPID player, DWORD* count) const {
    if (count == nullptr) return DPERR_INVALIDPARAMS;
    if (!local_ || player != local_->id) return DPERR_INVALIDPLAYER;
    *count = static_cast<DWORD>(std::count_if(queue_.begin(), queue_.end(),
                                              [&](const Queued& q) { return q.to == player; }));
    return DP_OK;
}

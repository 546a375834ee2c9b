// The session layer's object: players, capabilities, the session record, send and receive.
#include <cstring>

#include "net/DPlayHookState.h"
#include "net/DPlayObject.h"
#include "net/DPlayTestHooks.h"

namespace {

constexpr std::uint32_t kDefaultProviderTimeout = 1200;
constexpr std::uint32_t kDefaultCreateWaitMs = 5000;

std::optional<std::string> NameOf(const char* text) {
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

// Writes a DPNAME and its strings at `data`; returns the bytes needed.
std::size_t PlaceDpName(const std::optional<std::string>& shortName,
                        const std::optional<std::string>& longName, void* data) {
    std::size_t need = sizeof(DPNAME) + (shortName ? shortName->size() + 1 : 0) +
                       (longName ? longName->size() + 1 : 0);
    if (data == nullptr) return need;
    char* base = static_cast<char*>(data);
    char* cursor = base + sizeof(DPNAME);
    DPNAME n{};
    n.dwSize = sizeof(DPNAME);
    if (shortName) {
        std::memcpy(cursor, shortName->c_str(), shortName->size() + 1);
        n.lpszShortNameA = cursor;
        cursor += shortName->size() + 1;
    }
    if (longName) {
        std::memcpy(cursor, longName->c_str(), longName->size() + 1);
        n.lpszLongNameA = cursor;
    }
    std::memcpy(base, &n, sizeof(n));
    return need;
}

bool InSession(DPlayEngine::Role role) {
    return role == DPlayEngine::Role::Host || role == DPlayEngine::Role::Member;
}

}  // namespace

HRESULT DPlayObject::CreatePlayer(DPID* id, DPNAME* name, EventHandle event, void* data,
                                  DWORD dataSize, DWORD flags) {
    if (id == nullptr) return DPERR_INVALIDPARAMS;
    if (data != nullptr && dataSize != 0) return DPERR_UNSUPPORTED;
    if (flags != 0) return DPERR_INVALIDFLAGS;
    std::optional<std::string> shortName, longName;
    if (name != nullptr) {
        if (!ValidNameSize(name->dwSize) || !dpwire::NameIsValid(name->lpszShortNameA) ||
            !dpwire::NameIsValid(name->lpszLongNameA))
            return DPERR_INVALIDPARAMS;
        shortName = NameOf(name->lpszShortNameA);
        longName = NameOf(name->lpszLongNameA);
    }
    std::unique_lock lock(mutex_);
    Actions a;
    DPID created = 0;
    std::uint32_t sequence = 0;
    HRESULT hr = engine_.CreateLocalPlayer(shortName, longName, std::move(event), Clock::now(), a,
                                           &created, &sequence);
    Post(std::move(a));
    if (FAILED(hr)) return hr;
    // A member's player exists for the host only once the host has acknowledged it; data
    // sent before that would be refused there.
    if (sequence != 0) {
        std::uint32_t ms = GetSessionTestHooks().joinTimeoutMs;
        if (!WaitControl(lock, sequence,
                         std::chrono::milliseconds(ms ? ms : kDefaultCreateWaitMs))) {
            bool lost = engine_.role() == DPlayEngine::Role::Lost;
            engine_.UndoLocalPlayer();
            return lost ? DPERR_CONNECTIONLOST : DPERR_TIMEOUT;
        }
    }
    *id = created;
    return DP_OK;
}

HRESULT DPlayObject::DestroyPlayer(DPID id) {
    std::lock_guard lock(mutex_);
    Actions a;
    HRESULT hr = engine_.DestroyLocalPlayer(id, Clock::now(), a);
    Post(std::move(a));
    return hr;
}

HRESULT DPlayObject::EnumPlayers(GUID* instance, LPDPENUMPLAYERSCALLBACK2 callback, void* context,
                                 DWORD flags) {
    if (instance != nullptr) return DPERR_UNSUPPORTED;
    if (callback == nullptr) return DPERR_INVALIDPARAMS;
    if ((flags & ~(DPENUMPLAYERS_LOCAL | DPENUMPLAYERS_REMOTE)) != 0 ||
        flags == (DPENUMPLAYERS_LOCAL | DPENUMPLAYERS_REMOTE))
        return DPERR_INVALIDFLAGS;
    std::vector<DPlayEngine::PlayerView> players;
    {
        std::lock_guard lock(mutex_);
        if (!InSession(engine_.role())) return DPERR_NOSESSIONS;
        players = engine_.Players();
    }
    for (const auto& p : players) {
        if ((flags & DPENUMPLAYERS_LOCAL) != 0 && !p.local) continue;
        if ((flags & DPENUMPLAYERS_REMOTE) != 0 && p.local) continue;
        DPNAME n{};
        n.dwSize = sizeof(DPNAME);
        n.lpszShortNameA = p.shortName ? p.shortName->c_str() : nullptr;
        n.lpszLongNameA = p.longName ? p.longName->c_str() : nullptr;
        DWORD kind = p.local ? DPENUMPLAYERS_LOCAL : DPENUMPLAYERS_REMOTE;
        if (!callback(p.id, DPPLAYERTYPE_PLAYER, &n, kind, context)) break;
    }
    return DP_OK;
}

HRESULT DPlayObject::GetPlayerName(DPID id, void* data, DWORD* size) {
    if (size == nullptr) return DPERR_INVALIDPARAMS;
    std::lock_guard lock(mutex_);
    for (const auto& p : engine_.Players()) {
        if (p.id != id) continue;
        std::size_t need = PlaceDpName(p.shortName, p.longName, nullptr);
        if (data == nullptr || *size < need) {
            *size = static_cast<DWORD>(need);
            return DPERR_BUFFERTOOSMALL;
        }
        PlaceDpName(p.shortName, p.longName, data);
        *size = static_cast<DWORD>(need);
        return DP_OK;
    }
    return DPERR_INVALIDPLAYER;
}

void DPlayObject::FillCaps(DPCAPS* caps) const {
    bool tcp = connection_ == 1;
    auto timeout = GetSessionTestHooks().providerTimeoutMs;
    *caps = DPCAPS{};
    caps->dwSize = sizeof(DPCAPS);
    caps->dwFlags = tcp ? DPCAPS_GUARANTEEDSUPPORTED | DPCAPS_GUARANTEEDOPTIMIZED : 0;
    caps->dwMaxBufferSize = engine_.MaxPayload();
    caps->dwMaxPlayers = 2;
    caps->dwMaxLocalPlayers = 1;
    caps->dwHeaderLength = static_cast<DWORD>(dpwire::kHeaderSize + 8 + (tcp ? 4 : 0));
    caps->dwTimeout = timeout.value_or(kDefaultProviderTimeout);
}

HRESULT DPlayObject::GetCaps(DPCAPS* caps, DWORD /*flags*/) {
    if (caps == nullptr || caps->dwSize != sizeof(DPCAPS)) return DPERR_INVALIDPARAMS;
    std::lock_guard lock(mutex_);
    if (connection_ < 0) return DPERR_UNINITIALIZED;
    FillCaps(caps);
    if (engine_.IsHost()) caps->dwFlags |= DPCAPS_ISHOST;
    return DP_OK;
}

HRESULT DPlayObject::GetPlayerCaps(DPID id, DPCAPS* caps, DWORD /*flags*/) {
    if (caps == nullptr || caps->dwSize != sizeof(DPCAPS)) return DPERR_INVALIDPARAMS;
    std::lock_guard lock(mutex_);
    for (const auto& p : engine_.Players()) {
        if (p.id != id) continue;
        FillCaps(caps);
        if (p.local) caps->dwFlags |= DPPLAYERCAPS_LOCAL;
        if (p.local == engine_.IsHost()) caps->dwFlags |= DPCAPS_ISHOST;
        return DP_OK;
    }
    return DPERR_INVALIDPLAYER;
}

HRESULT DPlayObject::GetSessionDesc(void* data, DWORD* size) {
    if (size == nullptr) return DPERR_INVALIDPARAMS;
    std::lock_guard lock(mutex_);
    if (!InSession(engine_.role())) return DPERR_NOSESSIONS;
    const auto& info = engine_.Info();
    std::size_t need = sizeof(DPSESSIONDESC2) + info.name.size() + 1;
    if (data == nullptr || *size < need) {
        *size = static_cast<DWORD>(need);
        return DPERR_BUFFERTOOSMALL;
    }
    char* base = static_cast<char*>(data);
    char* name = base + sizeof(DPSESSIONDESC2);
    std::memcpy(name, info.name.c_str(), info.name.size() + 1);
    DPSESSIONDESC2 d{};
    d.dwSize = sizeof(DPSESSIONDESC2);
    d.dwFlags = info.flags;
    d.guidInstance = engine_.Instance();
    d.guidApplication = engine_.Application();
    d.dwMaxPlayers = info.maxPlayers;
    d.dwCurrentPlayers = engine_.CurrentPlayers();
    d.lpszSessionNameA = name;
    std::memcpy(base, &d, sizeof(d));
    *size = static_cast<DWORD>(need);
    return DP_OK;
}

HRESULT DPlayObject::SetSessionDesc(DPSESSIONDESC2* sd, DWORD flags) {
    if (sd == nullptr || !ValidSessionDescSize(sd->dwSize) ||
        !dpwire::NameIsValid(sd->lpszSessionNameA))
        return DPERR_INVALIDPARAMS;
    if (flags != 0) return DPERR_INVALIDFLAGS;
    dpwire::SessionInfo info;
    info.flags = sd->dwFlags;
    info.maxPlayers = sd->dwMaxPlayers == 1 ? 1 : 2;
    info.name = sd->lpszSessionNameA ? sd->lpszSessionNameA : "";
    std::lock_guard lock(mutex_);
    if (engine_.IsHost() && engine_.CurrentPlayers() > info.maxPlayers) return DPERR_INVALIDPARAMS;
    Actions a;
    HRESULT hr = engine_.SetSessionDesc(info, Clock::now(), a);
    Post(std::move(a));
    return hr;
}

HRESULT DPlayObject::Send(DPID from, DPID to, DWORD flags, void* data, DWORD size) {
    DPID sentTo = 0;
    HRESULT hr;
    {
        std::lock_guard lock(mutex_);
        std::size_t backlog = pendingBytes_ + (io_ ? io_->Backlog() : 0);
        Actions a;
        hr = engine_.SendData(from, to, flags, data, size, backlog, Clock::now(), a, &sentTo);
        Post(std::move(a));
    }
    if (sentTo != 0) ObserveSend(from, sentTo, data, size);
    return hr;
}

HRESULT DPlayObject::Receive(DPID* from, DPID* to, DWORD flags, void* data, DWORD* size) {
    std::lock_guard lock(mutex_);
    return engine_.Receive(from, to, flags, data, size);
}

HRESULT DPlayObject::GetMessageCount(DPID id, DWORD* count) {
    std::lock_guard lock(mutex_);
    return engine_.MessageCount(id, count);
}

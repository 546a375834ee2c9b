// Helpers for tests that run two or more session-layer objects over loopback sockets.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/DPlayTestHooks.h"
#include "net/DirectPlay.h"

namespace dptest {

using namespace std::chrono_literals;

inline constexpr GUID kApp{
    0xAD8ECDA9, 0x7712, 0x4E50, {0x98, 0xF2, 0x02, 0xCA, 0x27, 0xC2, 0xF9, 0xF4}};
inline constexpr auto kPatience = 20s;  // generous: only a broken layer waits this long

// Loopback only, any free port, and the layer's defaults otherwise.
inline SessionTestHooks LoopbackHooks() {
    SessionTestHooks h;
    h.port = 0;
    h.bindAddress = "127.0.0.1";
    return h;
}

class HooksScope {
public:
    explicit HooksScope(const SessionTestHooks& h) { SetSessionTestHooks(h); }
    ~HooksScope() { ResetSessionTestHooks(); }
};

struct Got {
    DPID from = 0, to = 0;
    std::vector<std::uint8_t> bytes;
    bool IsSystem() const { return from == DPID_SYSMSG; }
    DWORD Type() const {
        DWORD t = 0;
        if (bytes.size() >= sizeof(t)) std::memcpy(&t, bytes.data(), sizeof(t));
        return t;
    }
    template <typename T>
    T As() const {
        T t{};
        EXPECT_GE(bytes.size(), sizeof(T));
        std::memcpy(&t, bytes.data(), std::min(sizeof(T), bytes.size()));
        return t;
    }
};

// One copy of the program's side: the object, its player and the player's event.
struct Side {
    IDirectPlay3A* dp = nullptr;
    EventHandle event = MakeAutoResetEvent();
    DPID player = 0;
    Side() = default;
    Side(const Side&) = delete;
    ~Side() {
        if (dp != nullptr) dp->Release();
    }
};

inline std::vector<std::vector<std::uint8_t>> ConnectionBlocks(IDirectPlay3A* dp) {
    std::vector<std::vector<std::uint8_t>> blocks;
    dp->EnumConnections(
        &kApp,
        [](const GUID*, void* block, DWORD size, const DPNAME*, DWORD, void* context) -> BOOL {
            auto* list = static_cast<std::vector<std::vector<std::uint8_t>>*>(context);
            auto* bytes = static_cast<std::uint8_t*>(block);
            list->emplace_back(bytes, bytes + size);
            return 1;
        },
        &blocks, 0);
    return blocks;
}

inline HRESULT Init(Side& side, int connection) {
    HRESULT hr = DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IDirectPlay3A, &side.dp);
    if (FAILED(hr)) return hr;
    auto blocks = ConnectionBlocks(side.dp);
    return side.dp->InitializeConnection(blocks.at(static_cast<std::size_t>(connection)).data(), 0);
}

inline HRESULT CreatePlayer(Side& side, const char* name) {
    DPNAME n{};
    n.dwSize = kDpNameSize32;
    n.lpszShortNameA = name;
    return side.dp->CreatePlayer(&side.player, &n, side.event, nullptr, 0, 0);
}

// Creates a session named `name` and its host player.
inline HRESULT Host(Side& side, int connection, const char* name,
                    DWORD flags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID) {
    HRESULT hr = Init(side, connection);
    if (FAILED(hr)) return hr;
    DPSESSIONDESC2 sd{};
    sd.dwSize = kDpSessionDescSize32;
    sd.dwFlags = flags;
    sd.guidApplication = kApp;
    sd.dwMaxPlayers = 2;
    sd.lpszSessionNameA = name;
    hr = side.dp->Open(&sd, DPOPEN_CREATE);
    if (FAILED(hr)) return hr;
    return CreatePlayer(side, name);
}

struct Listed {
    GUID instance;
    std::string name;
    DWORD flags, maxPlayers, currentPlayers;
};

// Searches (as the session dialog does, asynchronously) until `wanted` holds for the list
// or patience runs out; returns the last list.
template <typename Pred>
std::vector<Listed> FindSessions(IDirectPlay3A* dp, Pred wanted, DWORD flags = 0,
                                 HRESULT* result = nullptr) {
    std::vector<Listed> list;
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        list.clear();
        DPSESSIONDESC2 sd{};
        sd.dwSize = kDpSessionDescSize32;
        sd.guidApplication = kApp;
        HRESULT hr = dp->EnumSessions(
            &sd, 2500,
            [](const DPSESSIONDESC2* d, DWORD*, DWORD f, void* context) -> BOOL {
                if ((f & DPESC_TIMEDOUT) != 0) return 0;
                static_cast<std::vector<Listed>*>(context)->push_back(
                    {d->guidInstance, d->lpszSessionNameA, d->dwFlags, d->dwMaxPlayers,
                     d->dwCurrentPlayers});
                return 1;
            },
            &list, DPENUMSESSIONS_ASYNC | flags);
        if (result != nullptr) *result = hr;
        if (FAILED(hr) || wanted(list) || std::chrono::steady_clock::now() > deadline) return list;
        std::this_thread::sleep_for(20ms);
    }
}

inline auto Named(const std::string& name) {
    return [name](const std::vector<Listed>& list) {
        for (const auto& l : list)
            if (l.name == name) return true;
        return false;
    };
}

inline std::optional<Listed> FindNamed(IDirectPlay3A* dp, const std::string& name,
                                       DWORD flags = 0) {
    for (const auto& l : FindSessions(dp, Named(name), flags))
        if (l.name == name) return l;
    return std::nullopt;
}

inline HRESULT Join(Side& side, const GUID& instance, const char* name) {
    DPSESSIONDESC2 sd{};
    sd.dwSize = kDpSessionDescSize32;
    sd.guidInstance = instance;
    HRESULT hr = side.dp->Open(&sd, DPOPEN_JOIN);
    if (FAILED(hr)) return hr;
    return CreatePlayer(side, name);
}

// The next message for the side's player, waiting on its event as the receive thread does.
// The bytes are received in place: a system message's name pointers point into them.
inline std::optional<Got> Next(Side& side, std::chrono::milliseconds patience = kPatience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    DWORD capacity = 16;
    for (;;) {
        Got g;
        g.bytes.assign(capacity, 0);
        DWORD size = capacity;
        HRESULT hr = side.dp->Receive(&g.from, &g.to, DPRECEIVE_ALL, g.bytes.data(), &size);
        if (hr == DPERR_BUFFERTOOSMALL) {
            capacity = size;
            continue;
        }
        if (hr == DP_OK) {
            g.bytes.resize(size);  // shrinking keeps the storage
            return g;
        }
        auto now = std::chrono::steady_clock::now();
        if (hr != DPERR_NOMESSAGES || now >= deadline) return std::nullopt;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        side.event->Wait(static_cast<std::uint32_t>(left.count()) + 1);
    }
}

// The next system message, which must be of `type`.
inline std::optional<Got> NextSystem(Side& side, DWORD type) {
    auto g = Next(side);
    if (!g) {
        ADD_FAILURE() << "no message, expected system message " << type;
        return std::nullopt;
    }
    EXPECT_TRUE(g->IsSystem());
    EXPECT_EQ(g->Type(), type);
    return g;
}

inline HRESULT SendBytes(Side& side, DPID to, const std::vector<std::uint8_t>& bytes,
                         DWORD flags = 0) {
    auto copy = bytes;
    return side.dp->Send(side.player, to, flags, copy.data(), static_cast<DWORD>(copy.size()));
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

}  // namespace dptest

// Process-wide settings with which tests make the session layer lossy, fast or failing.
#pragma once

// Nothing in the program's windows includes this file; only tests set these values. They
// apply to every object of the process, immediately (the link settings to sessions opened
// after the change).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/DirectPlay.h"

enum class HookSide { Both, HostOnly, MemberOnly };

struct SessionTestHooks {
    // Lossy link: of the data and keep-alive datagrams an object hands to the network,
    // dropPercent (0..100) are not sent, and of the rest delayPercent are sent delayMs late
    // (so they may overtake each other). Session control (join, player notices, leave) is
    // not touched. On the TCP connection a drop models a stalled link: use 100 there.
    int dropPercent = 0;
    int delayPercent = 0;
    std::uint32_t delayMs = 0;
    std::uint64_t seed = 1;          // the drop/delay choices restart from this seed on every set
    HookSide side = HookSide::Both;  // whose sends the two rules above apply to

    // The application port, in place of the built-in kDefaultPort: hosts serve on it and
    // searches ask it when the typed address has no port. 0 lets a host take any free port;
    // a search without a port then asks the port the latest host of this process took
    // (DPlayLastHostPort).
    std::optional<std::uint16_t> port;
    // Address the sockets are bound to; empty means every IPv4 interface. Tests use
    // "127.0.0.1".
    std::string bindAddress;

    // The layer's own keep-alive: a keep-alive goes out after keepAliveIntervalMs without
    // any other send to the partner, and the partner counts as gone after
    // keepAliveTimeoutMs without anything from it. 0 keeps the defaults (1000 / 30000).
    std::uint32_t keepAliveIntervalMs = 0;
    std::uint32_t keepAliveTimeoutMs = 0;
    // dwTimeout reported by GetCaps, in place of the connection's own (1200).
    std::optional<DWORD> providerTimeoutMs;
    // How long Open(DPOPEN_JOIN) waits for the host; 0 keeps the default (5000).
    std::uint32_t joinTimeoutMs = 0;

    // Failure of DirectPlayCreateInstance with this code (DP_OK: no failure).
    HRESULT createResult = DP_OK;
    // Bit i set: InitializeConnection fails with DPERR_UNAVAILABLE for connection i.
    std::uint32_t unusableConnections = 0;

    // Called, on the sending thread, for every message Send accepts for a remote player,
    // before the drop rule: lets a test count what a component sends.
    std::function<void(DPID from, DPID to, const void* data, DWORD size)> onSend;
};

inline constexpr std::uint16_t kDefaultPort = 47913;  // the application port

void SetSessionTestHooks(const SessionTestHooks& hooks);
SessionTestHooks GetSessionTestHooks();
void ResetSessionTestHooks();

// The port that the host most recently opened in this process serves on (0: none yet).
std::uint16_t DPlayLastHostPort();

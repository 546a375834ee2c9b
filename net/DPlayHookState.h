// What the session layer's implementation asks of the test settings while it runs.
#pragma once

#include <cstdint>

#include "net/DirectPlay.h"

struct TrafficFate {
    bool drop = false;
    std::uint32_t delayMs = 0;
};

// The lossy-link rule for one data or keep-alive datagram; cheap when no rule is set.
TrafficFate DecideTraffic(bool fromHost);
void NoteHostPort(std::uint16_t port);
bool HasSendObserver();
void ObserveSend(DPID from, DPID to, const void* data, DWORD size);

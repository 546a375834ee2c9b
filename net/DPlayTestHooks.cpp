// The process-wide test settings of the session layer and the lossy-link decisions.
#include "net/DPlayTestHooks.h"

#include <atomic>
#include <mutex>
#include <random>

#include "net/DPlayHookState.h"

namespace {
std::mutex hookMutex;
SessionTestHooks hooks;
std::mt19937_64 hookRng{1};
std::atomic<bool> lossy{false};
std::atomic<std::uint16_t> lastHostPort{0};
}  // namespace

void SetSessionTestHooks(const SessionTestHooks& h) {
    std::lock_guard lock(hookMutex);
    hooks = h;
    hookRng.seed(h.seed);
    lossy = h.dropPercent > 0 || (h.delayPercent > 0 && h.delayMs > 0);
}

SessionTestHooks GetSessionTestHooks() {
    std::lock_guard lock(hookMutex);
    return hooks;
}

void ResetSessionTestHooks() { SetSessionTestHooks(SessionTestHooks{}); }

std::uint16_t DPlayLastHostPort() { return lastHostPort; }

void NoteHostPort(std::uint16_t port) { lastHostPort = port; }

TrafficFate DecideTraffic(bool fromHost) {
    if (!lossy) return {};
    std::lock_guard lock(hookMutex);
    if ((hooks.side == HookSide::HostOnly && !fromHost) ||
        (hooks.side == HookSide::MemberOnly && fromHost))
        return {};
    std::uniform_int_distribution<int> percent(0, 99);
    TrafficFate fate;
    if (percent(hookRng) < hooks.dropPercent) {
        fate.drop = true;
        return fate;
    }
    if (hooks.delayMs > 0 && percent(hookRng) < hooks.delayPercent) fate.delayMs = hooks.delayMs;
    return fate;
}

bool HasSendObserver() {
    std::lock_guard lock(hookMutex);
    return static_cast<bool>(hooks.onSend);
}

void ObserveSend(DPID from, DPID to, const void* data, DWORD size) {
    std::function<void(DPID, DPID, const void*, DWORD)> observer;
    {
        std::lock_guard lock(hookMutex);
        observer = hooks.onSend;
    }
    if (observer) observer(from, to, data, size);
}

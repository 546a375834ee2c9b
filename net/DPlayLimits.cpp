// The session layer's limits on strangers: token buckets per computer, per socket and per session.
#include "net/DPlayLimits.h"

#include <algorithm>

namespace {
// Computers remembered at once: more than a network holds, few enough to scan when full.
constexpr std::size_t kMaxComputers = 4096;
}  // namespace

double Bucket::Refill(double rate, double burst, Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - last).count();
    tokens = std::min(burst, tokens + std::max(0.0, seconds) * rate);
    last = std::max(last, now);
    return tokens;
}

double AddressBuckets::Tokens(std::uint32_t ip, Clock::time_point now) {
    auto it = buckets_.find(ip);
    return it == buckets_.end() ? burst_ : it->second.Refill(rate_, burst_, now);
}

Bucket& AddressBuckets::Place(std::uint32_t ip, Clock::time_point now) {
    if (auto it = buckets_.find(ip); it != buckets_.end()) return it->second;
    if (buckets_.size() >= kMaxComputers) {
        for (auto it = buckets_.begin(); it != buckets_.end();)
            it = it->second.Refill(rate_, burst_, now) >= burst_ ? buckets_.erase(it) : std::next(it);
        if (buckets_.size() >= kMaxComputers)
            buckets_.erase(std::max_element(buckets_.begin(), buckets_.end(), [](auto& a, auto& b) {
                return a.second.tokens < b.second.tokens;
            }));
    }
    return buckets_.emplace(ip, Bucket{burst_, now}).first->second;
}

void AddressBuckets::Take(std::uint32_t ip, Clock::time_point now) {
    Bucket& b = Place(ip, now);
    b.Refill(rate_, burst_, now);
    b.tokens = std::max(0.0, b.tokens - 1);
}

void AddressBuckets::Refund(std::uint32_t ip, Clock::time_point now) {
    auto it = buckets_.find(ip);
    if (it == buckets_.end()) return;
    it->second.Refill(rate_, burst_, now);
    it->second.tokens = std::min(burst_, it->second.tokens + 1);
}

bool RequestLimits::Allow(std::uint32_t ip, std::uint16_t port, Clock::time_point now) {
    if (computers_.Tokens(ip, now) < 1) return false;
    auto known = sockets_.find(ip);
    Socket* socket = nullptr;
    if (known != sockets_.end()) {
        for (auto& s : known->second)
            if (s.port == port) socket = &s;
        if (socket && socket->bucket.Refill(kSocketRate, kSocketBurst, now) < 1) return false;
    }
    computers_.Take(ip, now);
    // The lists follow the table of computers: one forgotten there is forgotten here.
    if (sockets_.size() > computers_.Size())
        std::erase_if(sockets_, [&](const auto& kv) { return !computers_.Known(kv.first); });
    auto& list = sockets_[ip];
    if (!socket) {
        // A computer's new socket takes the place of its own quietest one, never another's.
        if (list.size() >= kSocketsPerComputer)
            list.erase(std::min_element(list.begin(), list.end(), [](auto& a, auto& b) {
                return a.bucket.last < b.bucket.last;
            }));
        list.push_back(Socket{port, Bucket{kSocketBurst, now}});
        socket = &list.back();
    }
    socket->bucket.tokens -= 1;
    return true;
}

bool GuessLimits::Start(std::uint32_t ip, Clock::time_point now) {
    const double own = computers_.Tokens(ip, now);
    const double left = session_.Refill(kRate, kSessionBurst, now);
    const bool newcomer = own >= kBurst;
    if (own < 1 || left < 1 || (!newcomer && left < 1 + kKeptForNewcomers)) return false;
    computers_.Take(ip, now);
    session_.tokens -= 1;
    return true;
}

void GuessLimits::Confirmed(std::uint32_t ip, Clock::time_point now) {
    computers_.Refund(ip, now);
    session_.Refill(kRate, kSessionBurst, now);
    session_.tokens = std::min(kSessionBurst, session_.tokens + 1);
}

void GuessLimits::Reset() { *this = GuessLimits(); }

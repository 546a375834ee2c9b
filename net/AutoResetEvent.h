// The auto-reset event the session layer and TMan2Man signal between their threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

// Wait results and the unlimited time-out, with the values the program's threads test for.
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;

// Set() wakes exactly one waiter (or the next one to wait) and the event resets itself as
// that waiter returns; Set() on a set event changes nothing. Safe from any thread.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        cv_.notify_one();
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }

    // True when the event was set within timeoutMs (INFINITE waits without limit, 0 only
    // looks); the event is then reset again. False on time-out.
    bool Wait(std::uint32_t timeoutMs) {
        std::unique_lock lock(mutex_);
        if (timeoutMs == INFINITE) {
            cv_.wait(lock, [this] { return set_; });
        } else {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            if (!cv_.wait_until(lock, deadline, [this] { return set_; })) return false;
        }
        set_ = false;
        return true;
    }

    // The same wait, answered as WAIT_OBJECT_0 or WAIT_TIMEOUT.
    std::uint32_t WaitFor(std::uint32_t timeoutMs) {
        return Wait(timeoutMs) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
};

// Events are shared between their creator and whoever signals them (the session layer
// keeps the receive event of each player), so that neither side can outlive the other's
// copy: closing the handle only drops one reference.
using EventHandle = std::shared_ptr<AutoResetEvent>;

inline EventHandle MakeAutoResetEvent() { return std::make_shared<AutoResetEvent>(); }

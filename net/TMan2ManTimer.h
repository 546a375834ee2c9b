// A timer with an Enabled flag and an Interval, as the component and its dialogs use them.
#pragma once

#include <QTimer>
#include <functional>

namespace man2man {

// Runs exactly while it is enabled and its interval is above 0 (a zero interval never fires,
// unlike a bare QTimer); changing the interval of an enabled timer starts the count again.
class TTimer {
public:
    explicit TTimer(std::function<void()> onTimer) : onTimer_(std::move(onTimer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTimer_) onTimer_();
        });
    }
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    bool Enabled() const { return enabled_; }
    int Interval() const { return interval_; }
    bool Running() const { return timer_.isActive(); }

    // Setting the value it already has changes nothing; a running count is not restarted.
    void SetEnabled(bool enabled) {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        Apply();
    }
    void SetInterval(int interval) {
        if (interval < 0) interval = 0;
        if (interval == interval_) return;
        interval_ = interval;
        Apply();
    }

private:
    void Apply() {
        if (enabled_ && interval_ > 0)
            timer_.start(interval_);
        else
            timer_.stop();
    }

    std::function<void()> onTimer_;
    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 1000;
};

}  // namespace man2man

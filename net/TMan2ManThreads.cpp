// The receive loop with its own answers and the hand-off to the UI thread; the live-check loop.
#include "net/TMan2ManThreads.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <chrono>
#include <cstring>
#include <new>

#include "net/TMan2ManMessages.h"

using namespace man2man;

namespace {
// How far ahead of the highest envelope number seen a new one may be (sends that failed in a
// row each leave a gap of one).
constexpr uint64_t kEnvelopeGap = 64;
}  // namespace

// ---------------------------------------------------------------------------------------
// Pausing

void PausableThread::Resume() {
    {
        std::lock_guard lock(mutex_);
        if (suspendCount_ > 0) --suspendCount_;
    }
    resumed_.notify_all();
}

void PausableThread::Suspend() {
    std::lock_guard lock(mutex_);
    ++suspendCount_;
}

void PausableThread::WakePaused() {
    { std::lock_guard lock(mutex_); }
    resumed_.notify_all();
}

bool PausableThread::WaitWhileSuspended() {
    std::unique_lock lock(mutex_);
    resumed_.wait(lock, [this] { return suspendCount_ == 0 || terminated_; });
    return !terminated_;
}

// ---------------------------------------------------------------------------------------
// ReceiveThread

ReceiveThread::ReceiveThread(bool suspended, EventHandle receiveEvent, EventHandle ackEvent,
                             EventHandle recoveryEvent, IDirectPlay3A* directPlay,
                             std::function<void()> handoff, ReceivedRecord* record)
    : PausableThread(suspended),
      receiveEvent_(std::move(receiveEvent)),
      ackEvent_(std::move(ackEvent)),
      recoveryEvent_(std::move(recoveryEvent)),
      handoff_(std::move(handoff)),
      directPlay_(directPlay),
      record_(record),
      context_(std::make_unique<QObject>()) {
    // The thread would run at the highest priority; an unprivileged process on Linux has no
    // higher class for it, and the loop only waits and copies, so it keeps the normal one.
    thread_ = std::thread([this] { Execute(); });
}

ReceiveThread::~ReceiveThread() {
    Terminate();
    if (receiveEvent_) receiveEvent_->Set();
    WaitFor();
}

void ReceiveThread::WaitFor() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(finishMutex_);
    while (!finished_) {
        lock.unlock();
        // A hand-off this thread is blocked in is answered here; being terminated, it returns
        // without dispatching, and the thread sees that it is to end.
        QCoreApplication::sendPostedEvents(context_.get(), QEvent::MetaCall);
        lock.lock();
        finishedCv_.wait_for(lock, std::chrono::milliseconds(2), [this] { return finished_; });
    }
    lock.unlock();
    thread_.join();
}

AutoResetEvent& ReceiveThread::Activity() {
    static AutoResetEvent activity;
    return activity;
}

void ReceiveThread::SetPeers(DPID local, DPID partner) {
    std::lock_guard lock(peersMutex_);
    acksCounted_ = 0;
    awaited_ = -1;
    highestSeen_ = 0;
    lastEnvelope_.clear();
    local_ = local;
    partner_ = partner;
}

void ReceiveThread::AwaitAck(int64_t sequence) {
    std::lock_guard lock(peersMutex_);
    awaited_ = sequence;
}

uint32_t ReceiveThread::AcksCounted() {
    std::lock_guard lock(peersMutex_);
    return acksCounted_;
}

void ReceiveThread::Execute() {
    if (WaitWhileSuspended()) {
        for (;;) {
            const bool signalled = receiveEvent_->Wait(INFINITE);
            if (!signalled || Terminated()) break;
            if (!WaitWhileSuspended()) break;
            Drain();
            if (Terminated()) break;
        }
    }
    {
        std::lock_guard lock(finishMutex_);
        finished_ = true;
    }
    finishedCv_.notify_all();
}

void ReceiveThread::Drain() {
    for (;;) {
        if (Terminated()) return;
        DPID from = 0;
        DPID to = 0;
        DWORD size = bufferSize_;
        HRESULT result = directPlay_->Receive(&from, &to, DPRECEIVE_ALL, buffer_.get(), &size);
        if (result == DPERR_BUFFERTOOSMALL && size > bufferSize_) {
            buffer_.reset();
            bufferSize_ = 0;
            buffer_.reset(new (std::nothrow) uint8_t[size ? size : 1]());
            if (buffer_) {
                bufferSize_ = size;
                continue;
            }
            result = E_OUTOFMEMORY;
        }
        if (FAILED(result)) return;
        if (size > bufferSize_) return;  // the layer never reports more than it wrote
        HandleMessage(from, buffer_.get(), size);
    }
}

void ReceiveThread::Answer(uint32_t word0, uint32_t word1) {
    ShortMessage answer(word0, word1);
    DPID local;
    DPID partner;
    {
        std::lock_guard lock(peersMutex_);
        local = local_;
        partner = partner_;
    }
    directPlay_->Send(local, partner, 0, answer.bytes, sizeof answer.bytes);
}

void ReceiveThread::HandleMessage(DPID from, const uint8_t* data, size_t size) {
    HandleAside(from, data, size,
                [this](DPID sender, const uint8_t* p, size_t n) { HandOver(sender, p, n); });
}

void ReceiveThread::HandleAside(DPID from, const uint8_t* data, size_t size,
                                const std::function<void(DPID, const uint8_t*, size_t)>& keep) {
    const uint8_t* handOver = data;
    size_t handOverSize = size;
    if (Apply(from, data, size, handOver, handOverSize)) keep(from, handOver, handOverSize);
}

bool ReceiveThread::Apply(DPID from, const uint8_t* data, size_t size, const uint8_t*& handOver,
                          size_t& handOverSize) {
    if (from != DPID_SYSMSG) {
        // Nothing of a message is read, answered or passed on before its layout is checked.
        if (!WellFormedPlayerMessage(data, size)) return false;
        const uint32_t word0 = ReadWord(data, 0);
        const uint32_t word1 = ReadWord(data, 4);
        if (word0 == kGuaranteeEnvelope) {
            {
                // The partner numbers its envelopes 0, 1, 2 ... and repeats a number only for a
                // resend; a send that failed still uses up its number, so a few may be missing
                // when sends failed in a row, but never many. A number far ahead is a damaged
                // or forged envelope: acknowledging it would confirm a message the partner
                // never sent, and taking its number would drop every real envelope after it
                // as old.
                std::lock_guard lock(peersMutex_);
                if (uint64_t(word1) > uint64_t(highestSeen_) + kEnvelopeGap) return false;
                // A gap is taken only for what is ever sent guaranteed; another kind of message
                // wrapped under a number ahead is the partner's garbage, not a lost send.
                const uint32_t inner = ReadWord(data, kHeaderSize);
                if (uint64_t(word1) > uint64_t(highestSeen_) + 1 && inner != kRegiDataMessage &&
                    inner != kFreeDataMessage && inner != kChatMessage)
                    return false;
            }
            Answer(kGuaranteeAck, word1);
            std::lock_guard lock(peersMutex_);
            if (word1 < highestSeen_) return false;
            if (word1 == highestSeen_ && lastEnvelope_.size() == size &&
                std::memcmp(lastEnvelope_.data(), data, size) == 0)
                return false;
            highestSeen_ = word1;
            lastEnvelope_.assign(data, data + size);
            handOver = data + kHeaderSize;
            handOverSize = size - kHeaderSize;
        } else if (word0 == kRecoveryCheckerMessage) {
            recoveryEvent_->Set();
            Answer(kRecoveryAnswer, 0);
        } else if (word0 == kRecoveryAnswer) {
            recoveryEvent_->Set();
        } else if (word0 == kGuaranteeAck) {
            // Only the acknowledgement of the envelope being sent counts: a late one of an
            // envelope whose send already failed must not confirm the next message.
            std::lock_guard lock(peersMutex_);
            if (awaited_ >= 0 && int64_t(word1) == awaited_) {
                awaited_ = -1;
                ++acksCounted_;
                ackEvent_->Set();
                Activity().Set();
            }
            return false;
        }
    }
    return true;
}

void ReceiveThread::HandOver(DPID from, const uint8_t* data, size_t size) {
    if (Terminated()) return;
    // The record is written on the UI thread, so that a thread being retired and its
    // successor never write it at the same time.
    Activity().Set();
    QMetaObject::invokeMethod(
        context_.get(),
        [this, from, data, size] {
            if (Terminated()) return;
            *record_ = ReceivedRecord{from, data, size};
            dispatching_ = true;
            if (handoff_) handoff_();
            dispatching_ = false;
        },
        Qt::BlockingQueuedConnection);
}

// ---------------------------------------------------------------------------------------
// CheckSenderThread

CheckSenderThread::CheckSenderThread(bool suspended, EventHandle wakeEvent,
                                     std::function<void()> probe)
    : PausableThread(suspended), probe_(std::move(probe)), wakeEvent_(std::move(wakeEvent)) {
    thread_ = std::thread([this] { Execute(); });
}

CheckSenderThread::~CheckSenderThread() {
    Terminate();
    if (wakeEvent_) wakeEvent_->Set();
    if (thread_.joinable()) thread_.join();
}

void CheckSenderThread::SetInterval(uint32_t ms) {
    {
        std::lock_guard lock(mutex_);
        interval_ = ms;
    }
    wakeEvent_->Set();
}

uint32_t CheckSenderThread::Interval() {
    std::lock_guard lock(mutex_);
    return interval_;
}

void CheckSenderThread::Execute() {
    for (;;) {
        if (!WaitWhileSuspended()) return;
        const uint32_t interval = Interval();
        const bool signalled = wakeEvent_->Wait(interval == 0 ? INFINITE : interval);
        if (Terminated()) return;
        if (signalled) continue;
        // Held while the probe goes out: a pause waits for it instead of cutting it short,
        // and a paused thread sends nothing.
        std::lock_guard lock(mutex_);
        if (suspendCount_ > 0 || Terminated()) continue;
        if (probe_) probe_();
    }
}

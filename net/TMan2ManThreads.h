// The component's two worker threads: ReceiveThread drains the receive queue, CheckSenderThread sends live-check probes.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/AutoResetEvent.h"
#include "net/DirectPlay.h"

// The message being dispatched on the UI thread: its sender (DPID_SYSMSG for a system
// message) and its bytes, which stay valid until the dispatch returns.
struct ReceivedRecord {
    DPID sender = 0;
    const uint8_t* message = nullptr;
    size_t size = 0;
};

// Pausing is counted: a thread created paused runs once Resume has undone every pause.
class PausableThread {
public:
    virtual ~PausableThread() = default;
    void Resume();
    void Suspend();
    void Terminate() { terminated_ = true; WakePaused(); }
    bool Terminated() const { return terminated_; }

protected:
    explicit PausableThread(bool suspended) : suspendCount_(suspended ? 1 : 0) {}
    // False when the thread is to end; otherwise returns once the thread is not paused.
    bool WaitWhileSuspended();
    void WakePaused();

    std::mutex mutex_;
    std::condition_variable resumed_;
    int suspendCount_;
    std::atomic<bool> terminated_{false};
};

class ReceiveThread final : public PausableThread {
public:
    // Created on the UI thread; `handoff` runs there, reading `record`, while this thread waits.
    ReceiveThread(bool suspended, EventHandle receiveEvent, EventHandle ackEvent,
                  EventHandle recoveryEvent, IDirectPlay3A* directPlay,
                  std::function<void()> handoff, ReceivedRecord* record);
    // Ends the thread, waiting for it when it runs (WaitFor).
    ~ReceiveThread() override;
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;

    // Who the thread's own answers are sent from and to; a new partner starts both counters
    // and the duplicate memory afresh.
    void SetPeers(DPID local, DPID partner);
    // The envelope number MySend waits for (-1: none). Only an acknowledgement of exactly
    // that number sets the acknowledgement event.
    void AwaitAck(int64_t sequence);
    uint32_t AcksCounted();

    // On the UI thread, never from inside this thread's hand-off: waits until the thread has
    // ended, letting a hand-off it is blocked in return at once.
    void WaitFor();

    // The object hand-offs are queued to; MySend lets them through while it waits.
    QObject* HandoffContext() const { return context_.get(); }
    // Set, for every receive thread of the process, when a hand-off is about to be queued or
    // an acknowledgement was counted: MySend waits on it instead of polling, so a partner
    // that sends much while we wait for an acknowledgement does not starve the wait.
    static AutoResetEvent& Activity();

    // On the UI thread: true while this thread's hand-off runs there, so that the thread is
    // held and takes nothing from the layer until it returns.
    bool Dispatching() const { return dispatching_; }
    // Applies the receive rules to a message that another thread took from the layer while
    // this one is held (see Dispatching); what this thread would hand over goes to `keep`.
    void HandleAside(DPID from, const uint8_t* data, size_t size,
                     const std::function<void(DPID, const uint8_t*, size_t)>& keep);

    // Handles one received message exactly as the drain does. Public so that tests can inject
    // messages from a worker thread as if they had been received; never call it on the UI thread.
    void HandleMessage(DPID from, const uint8_t* data, size_t size);

private:
    void Execute();
    void Drain();
    // The receive rules: answers, counts and filters; true when the message (or the inner
    // message of an envelope, then in handOver) is to be handed over.
    bool Apply(DPID from, const uint8_t* data, size_t size, const uint8_t*& handOver,
               size_t& handOverSize);
    void HandOver(DPID from, const uint8_t* data, size_t size);
    void Answer(uint32_t word0, uint32_t word1);

    EventHandle receiveEvent_;
    EventHandle ackEvent_;
    EventHandle recoveryEvent_;
    std::function<void()> handoff_;
    IDirectPlay3A* directPlay_;
    ReceivedRecord* record_;
    std::unique_ptr<uint8_t[]> buffer_;
    DWORD bufferSize_ = 0;

    std::mutex peersMutex_;
    uint32_t acksCounted_ = 0;
    int64_t awaited_ = -1;
    uint32_t highestSeen_ = 0;
    DPID local_ = 0;
    DPID partner_ = 0;
    // The last envelope handed over under highestSeen_: a resend of it (its acknowledgement
    // was lost) is acknowledged again but not delivered twice.
    std::vector<uint8_t> lastEnvelope_;

    bool dispatching_ = false;  // UI thread only
    std::unique_ptr<QObject> context_;
    std::mutex finishMutex_;
    std::condition_variable finishedCv_;
    bool finished_ = false;
    std::thread thread_;
};

class CheckSenderThread final : public PausableThread {
public:
    CheckSenderThread(bool suspended, EventHandle wakeEvent, std::function<void()> probe);
    ~CheckSenderThread() override;
    CheckSenderThread(const CheckSenderThread&) = delete;
    CheckSenderThread& operator=(const CheckSenderThread&) = delete;

    // 0 waits without limit. The wait in progress starts again with the new interval.
    void SetInterval(uint32_t ms);
    uint32_t Interval();

private:
    void Execute();

    std::function<void()> probe_;
    uint32_t interval_ = 0;
    EventHandle wakeEvent_;
    std::thread thread_;
};

// TMan2Man: registered structures, free data, the send buffers, the three ways of sending and the dispatch of received messages.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "kernel/UserPrompts.h"
#include "net/TMan2Man.h"
#include "net/TMan2ManMessages.h"

using namespace man2man;

int TMan2Man::deferring = 0;

namespace {
const char* const kExceptionHead = "TMMコンポーネントで例外が発生しました。\n";
// Caption of the box that reports an exception raised while a message was handled.
const char* const kApplicationTitle = "Korvo";
}  // namespace

// ---------------------------------------------------------------------------------------
// Registered structures and free data

int TMan2Man::RegiStruct(void* data, unsigned size, unsigned id) {
    for (size_t i = 0; i < commonData.ids.size(); ++i) {
        if (commonData.ids[i] != id) continue;
        if (commonData.data[i] == data && commonData.sizes[i] == size) return int(i);
        throw TMan2ManException(std::string(kExceptionHead) +
                                "RegiStructに同じIDの構造体が登録されています。");
    }
    const size_t count = commonData.ids.size();
    if (count % 10 == 0) {
        commonData.data.reserve(count + 10);
        commonData.sizes.reserve(count + 10);
        commonData.ids.reserve(count + 10);
    }
    commonData.data.push_back(data);
    commonData.sizes.push_back(size);
    commonData.ids.push_back(id);
    ResizeDataPool(1, size + 8);
    return int(count);
}

bool TMan2Man::SendRegiData(int index, bool guaranteed) {
    if (!connected || lost || index < 0 || index >= RegiCount()) return false;
    const unsigned size = commonData.sizes[size_t(index)];
    if (dataPool[1].capacity < size + 8) return false;
    uint8_t* message = dataPool[1].block.get();
    WriteWord(message, 0, kRegiDataMessage);
    WriteWord(message, 4, commonData.ids[size_t(index)]);
    std::memcpy(message + 8, commonData.data[size_t(index)], size);
    return MySend(message, size + 8, guaranteed);
}

void TMan2Man::RegiDataGet(const uint8_t* message, size_t size) {
    const unsigned id = ReadWord(message, 4);
    for (size_t i = 0; i < commonData.ids.size(); ++i) {
        if (commonData.ids[i] != id) continue;
        // A record of another length is not ours to copy: nothing is written, nothing fires.
        if (size != size_t(commonData.sizes[i]) + 8) return;
        std::memcpy(commonData.data[i], message + 8, commonData.sizes[i]);
        if (OnRegiDataComming) OnRegiDataComming(this, RegiDataTag(i));
        return;
    }
    throw TMan2ManException(std::string(kExceptionHead) + "未登録データが届きました。Data ID = " +
                            std::to_string(id));
}

bool TMan2Man::SendFreeData(const void* data, unsigned size, bool guaranteed) {
    if (!connected || lost || data == nullptr || size == 0) return false;
    if (size > 0xFFFFFFFFu - 8 - 100 || !ResizeDataPool(2, size + 8)) return false;
    uint8_t* message = dataPool[2].block.get();
    WriteWord(message, 0, kFreeDataMessage);
    WriteWord(message, 4, size);
    std::memcpy(message + 8, data, size);
    return MySend(message, size + 8, guaranteed);
}

void TMan2Man::FreeDataGet(const uint8_t* message, size_t size) {
    if (OnFreeDataComming) OnFreeDataComming(this, message + 8, unsigned(size - 8));
}

// ---------------------------------------------------------------------------------------
// The send buffers

void TMan2Man::InitDataPool() {
    for (auto& slot : dataPool) {
        slot.block.reset();
        slot.capacity = 0;
    }
}

bool TMan2Man::ResizeDataPool(int slot, unsigned size) {
    if (slot < 0 || slot >= int(dataPool.size())) return false;
    PoolSlot& s = dataPool[size_t(slot)];
    if (s.capacity >= size) return true;
    s.block.reset();
    s.capacity = 0;
    const uint64_t capacity = uint64_t(size / 100) * 100 + 100;
    if (capacity > 0xFFFFFFFFu) return false;
    s.block.reset(new (std::nothrow) uint8_t[size_t(capacity)]());
    if (!s.block) return false;
    s.capacity = unsigned(capacity);
    return true;
}

void TMan2Man::UnInitDataPool() { InitDataPool(); }

unsigned TMan2Man::PoolCapacity(int slot) const {
    return slot >= 0 && slot < int(dataPool.size()) ? dataPool[size_t(slot)].capacity : 0;
}

// ---------------------------------------------------------------------------------------
// Sending

bool TMan2Man::MySend(const void* data, unsigned long size, bool guaranteed) {
    IDirectPlay3A* dp = directPlay;
    if (dp == nullptr || size > 0xFFFFFFFFu - 8) return false;
    const DPID from = player[0].id;
    const DPID to = player[1].id;
    void* bytes = const_cast<void*>(data);
    HRESULT result;
    if (!guaranteed) {
        result = dp->Send(from, to, 0, bytes, DWORD(size));
    } else if (guaranteedSupported) {
        result = dp->Send(from, to, DPSEND_GUARANTEED, bytes, DWORD(size));
    } else {
        if (!ResizeDataPool(0, unsigned(size + 8))) return false;
        // The late acknowledgement of an envelope whose send failed carries its number. The
        // same message typed again may take it (that message did arrive); any other message
        // gets the next number, so that it is confirmed only by its own acknowledgement.
        if (lastSendFailed &&
            (failedMessage.size() != size || std::memcmp(failedMessage.data(), data, size) != 0))
            ++sendSequence;
        lastSendFailed = false;
        failedMessage.clear();
        uint8_t* envelope = dataPool[0].block.get();
        WriteWord(envelope, 0, kGuaranteeEnvelope);
        WriteWord(envelope, 4, sendSequence);
        std::memcpy(envelope + 8, data, size);
        const unsigned wait = unsigned(providerTimeout) / 12;
        bool acknowledged = false;
        result = DP_OK;
        for (int attempt = 0; attempt < 10 && !acknowledged; ++attempt) {
            // Nothing that came before this send may count as its acknowledgement: the event
            // starts clear, and the receive thread sets it only for this envelope's number.
            if (receiveThread) receiveThread->AwaitAck(int64_t(sendSequence));
            if (ackEvent) ackEvent->Reset();
            result = dp->Send(from, to, 0, envelope, DWORD(size + 8));
            if (!FAILED(result)) acknowledged = WaitForAck(wait);
        }
        if (receiveThread) receiveThread->AwaitAck(-1);
        if (acknowledged) {
            ++sendSequence;
        } else {
            lastSendFailed = true;
            failedMessage.assign(static_cast<const uint8_t*>(data),
                                 static_cast<const uint8_t*>(data) + size);
        }
        if (!acknowledged && !FAILED(result)) return false;
    }
    if (FAILED(result)) {
        SendError(result);
        return false;
    }
    SomethingSent();
    return true;
}

bool TMan2Man::WaitForAck(unsigned ms) {
    // The acknowledgement is read by the receive thread, which may be waiting for the UI
    // thread to take a message it received before. Such hand-offs are taken now and kept
    // until the send is over, so the acknowledgement is not stuck behind them and no handler
    // runs in the middle of a send.
    ++deferring;
    const std::vector<TMan2Man*> all = Instances();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    bool acknowledged = false;
    for (;;) {
        for (TMan2Man* m : all)
            if (m->receiveThread)
                QCoreApplication::sendPostedEvents(m->receiveThread->HandoffContext(),
                                                   QEvent::MetaCall);
        if (receiveThread && receiveThread->Dispatching()) TakeAside();
        if (ackEvent && ackEvent->Wait(0)) {
            acknowledged = true;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        // Woken by the next hand-off or by a counted acknowledgement; the slice only covers a
        // hand-off whose signal came just before this wait and whose event was not yet queued.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        ReceiveThread::Activity().Wait(uint32_t(std::min(left, std::chrono::milliseconds(2)).count()));
    }
    --deferring;
    if (deferring == 0)
        for (TMan2Man* m : Instances())
            if (!m->deferred.empty())
                QMetaObject::invokeMethod(m, [m] { m->DispatchDeferred(); }, Qt::QueuedConnection);
    return acknowledged;
}

void TMan2Man::TakeAside() {
    // This send was made from an event of ours, so our receive thread is held by that event
    // and the acknowledgement would wait behind it until every attempt had timed out. The
    // messages are taken from the layer here instead: the receive rules answer and count them,
    // and whatever would be handed over is kept back, in arrival order, for after the send.
    IDirectPlay3A* dp = directPlay;
    if (dp == nullptr) return;
    for (;;) {
        DPID from = 0;
        DPID to = 0;
        DWORD size = DWORD(asideBuffer.size());
        HRESULT result = dp->Receive(&from, &to, DPRECEIVE_ALL,
                                     asideBuffer.empty() ? nullptr : asideBuffer.data(), &size);
        if (result == DPERR_BUFFERTOOSMALL && size > asideBuffer.size()) {
            asideBuffer.resize(size);
            continue;
        }
        if (FAILED(result) || size > asideBuffer.size()) return;
        receiveThread->HandleAside(
            from, asideBuffer.data(), size,
            [this](DPID sender, const uint8_t* p, size_t n) { Defer(sender, p, n); });
    }
}

// ---------------------------------------------------------------------------------------
// Dispatch

void TMan2Man::Defer(DPID sender, const uint8_t* message, size_t size) {
    // A partner that sends without pause while we wait cannot make the set-aside messages
    // grow without end: past the bound its messages are dropped and counted. The layer's
    // own notices are few and always kept.
    if (sender != DPID_SYSMSG &&
        (deferred.size() >= kMaxDeferred || deferredBytes + size > kMaxDeferredBytes)) {
        ++deferredDropped;
        return;
    }
    deferred.push_back(DeferredMessage{sender, std::vector<uint8_t>(message, message + size)});
    deferredBytes += size;
    deferredPeakBytes = std::max(deferredPeakBytes, deferredBytes);
}

void TMan2Man::HandOff() {
    if (deferring > 0) {
        Defer(receivedRecord.sender, receivedRecord.message, receivedRecord.size);
        return;
    }
    ++handoffDepth;
    // Messages kept back during a send go first, so that the order stays as received.
    if (!deferred.empty()) {
        const ReceivedRecord current = receivedRecord;
        DispatchDeferred();
        receivedRecord = current;
    }
    if (initialized) Dispatch();
    --handoffDepth;
    if (handoffDepth == 0 && !retired.empty())
        QMetaObject::invokeMethod(this, [this] { FinishRetired(); }, Qt::QueuedConnection);
}

void TMan2Man::Dispatch() {
    // An exception of a handler or of the component must not end the receive loop: it is
    // reported here, on the UI thread, and receiving goes on.
    try {
        SelectData2();
    } catch (const std::exception& e) {
        ReportLater(e.what());
    } catch (...) {
        ReportLater(kExceptionHead);
    }
}

void TMan2Man::ReportLater(std::string text) {
    // A box shown inside the hand-off would hold the receive thread until the user closed
    // it: the partner would be declared lost and everything sent meanwhile dropped. What a
    // partner repeats while a box is open is shown once, and only a few different texts wait.
    if (std::find(reports.begin(), reports.end(), text) != reports.end() ||
        reports.size() >= kMaxReports)
        return;
    reports.push_back(std::move(text));
    if (reports.size() == 1 && !showingReports)
        QMetaObject::invokeMethod(this, [this] { ShowReports(); }, Qt::QueuedConnection);
}

void TMan2Man::ShowReports() {
    if (showingReports) return;
    showingReports = true;
    const QPointer<TMan2Man> alive(this);
    while (!reports.empty()) {
        const std::string text = reports.front();
        Prompts().Message(text, kApplicationTitle, PromptButtons::Ok, PromptIcon::Error);
        if (!alive) return;  // the component went while its box was open
        reports.pop_front();
    }
    showingReports = false;
}

void TMan2Man::DispatchDeferred() {
    while (!deferred.empty() && deferring == 0 && initialized) {
        DeferredMessage m = std::move(deferred.front());
        deferred.pop_front();
        deferredBytes -= m.bytes.size();
        receivedRecord = ReceivedRecord{m.sender, m.bytes.data(), m.bytes.size()};
        Dispatch();
    }
}

void TMan2Man::SelectData2() {
    const ReceivedRecord r = receivedRecord;
    if (r.message == nullptr) return;
    if (r.sender != DPID_SYSMSG) {
        if (!WellFormedPlayerMessage(r.message, r.size)) return;
        SomethingReceived();
        switch (ReadWord(r.message, 0)) {
            case kRegiDataMessage:
                RegiDataGet(r.message, r.size);
                break;
            case kFreeDataMessage:
                FreeDataGet(r.message, r.size);
                break;
            case kChatMessage:
                ChatGet(r.message, r.size);
                break;
            default:
                break;
        }
        return;
    }
    if (r.size < sizeof(DPMSG_GENERIC)) return;
    DPMSG_GENERIC generic;
    std::memcpy(&generic, r.message, sizeof generic);
    switch (generic.dwType) {
        case DPSYS_CREATEPLAYERORGROUP:
            PartnerArrived(r.message, r.size);
            break;
        case DPSYS_DESTROYPLAYERORGROUP:
            PartnerLeft(r.message, r.size);
            break;
        case DPSYS_SESSIONLOST:
            PartnerLost();
            break;
        case DPSYS_HOST:
            if (!RenewalSession()) Disconnect();
            break;
        case DPSYS_WRONGPASSPHRASE:
            if (r.size >= sizeof(DPMSG_WRONGPASSPHRASE) && OnNotice) {
                DPMSG_WRONGPASSPHRASE m;
                std::memcpy(&m, r.message, sizeof m);
                OnNotice(this, "合言葉の違う参加の試みが " + std::to_string(m.dwAttempts) +
                                   " 回ありました");
            }
            break;
        default:
            break;
    }
}

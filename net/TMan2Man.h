// TMan2Man: the non-visual component that lets two copies meet, replicate records, chat and watch each other's liveness.
#pragma once

#include <QObject>
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/AutoResetEvent.h"
#include "net/DirectPlay.h"
#include "net/TMan2ManThreads.h"
#include "net/TMan2ManTimer.h"
#include "net/TMan2ManTypes.h"

class QWidget;

// The application GUID under which Korvo creates and finds its sessions.
inline constexpr GUID kKorvoApplicationGuid{
    0xAD8ECDA9, 0x7712, 0x4E50, {0x98, 0xF2, 0x02, 0xCA, 0x27, 0xC2, 0xF9, 0xF4}};

// All operations run on the UI thread. Events are plain callables: assign a handler to the
// member (an unassigned event is skipped); every event fires on the UI thread.
class TMan2Man : public QObject {
    Q_OBJECT
public:
    struct Player {
        std::atomic<DPID> id{0};  // read by the checker thread when it sends a probe
        std::string name;         // Shift-JIS
    };

    explicit TMan2Man(QObject* owner = nullptr);
    ~TMan2Man() override;
    TMan2Man(const TMan2Man&) = delete;
    TMan2Man& operator=(const TMan2Man&) = delete;

    // ---- Properties --------------------------------------------------------------------
    int MaxEnumPlayers() const { return maxEnumPlayers; }
    int MaxNameLength() const { return maxNameLength; }
    int LiveCheckInterval() const { return liveCheckInterval; }
    const std::string& MasterName() const { return masterName; }
    void SetMaxEnumPlayers(int value);
    void SetMaxNameLength(int value);
    void SetLiveCheckInterval(int value);
    void SetMasterName(const std::string& value);

    // ---- Events ------------------------------------------------------------------------
    std::function<void(TMan2Man* Sender)> OnGuestLalabye;
    std::function<void(TMan2Man* Sender)> OnChatComming;
    std::function<void(TMan2Man* Sender)> OnLostConnection;
    std::function<void(TMan2Man* Sender, bool IsHost)> OnGuestArrived;
    std::function<void(TMan2Man* Sender, RegiDataTag DataTag)> OnRegiDataComming;
    // Something the user should know that needs no answer, for the log (UTF-8).
    std::function<void(TMan2Man* Sender, const std::string& text)> OnNotice;
    // The block is valid only during the event.
    std::function<void(TMan2Man* Sender, const void* pData, unsigned size)> OnFreeDataComming;

    // ---- Session -----------------------------------------------------------------------
    bool InitDirectPlay();
    void UnInitDirectPlay();
    bool LetsConnect(const GUID& application);
    void Disconnect();
    bool CPlayer(int kind);
    bool RenewalSession();
    void GetProviderCaps();
    std::string GetPlayerName(WhoIs who) const;
    void SendError(long result);

    // ---- Structures, free data, sending ------------------------------------------------
    int RegiStruct(void* data, unsigned size, unsigned id);
    bool SendRegiData(int index, bool guaranteed);
    void RegiDataGet(const uint8_t* message, size_t size);
    bool SendFreeData(const void* data, unsigned size, bool guaranteed);
    void FreeDataGet(const uint8_t* message, size_t size);
    bool MySend(const void* data, unsigned long size, bool guaranteed);
    void SelectData2();
    void InitDataPool();
    bool ResizeDataPool(int slot, unsigned size);
    void UnInitDataPool();

    // ---- Chat, liveness, recovery ------------------------------------------------------
    bool SendChat(const std::string& text);
    void ChatGet(const uint8_t* message, size_t size);
    void MakeChatBox(ChatEvent event, WhoIs who, const std::string& text);
    std::string ReadChat() const { return chatBox.line; }
    void ReadChatEx(ChatEvent& event, WhoIs& who, std::string& text) const;
    bool SendLiveChecker();
    void SomethingReceived();
    void SomethingSent();
    void AliveTimerTimer();
    bool RecoverConnection(unsigned timeout);
    bool SendRecoveryChecker();

    // ---- State, read-only ----------------------------------------------------------------
    bool Connected() const { return connected; }
    bool Lost() const { return lost; }
    bool Initialized() const { return initialized; }
    bool GuaranteedSupported() const { return guaranteedSupported; }
    int ProviderTimeout() const { return providerTimeout; }
    int LastServiceIndex() const { return lastServiceIndex; }
    const std::string& LastEnteredName() const { return lastEnteredName; }
    uint32_t SendSequence() const { return sendSequence; }
    const GUID& ApplicationGuid() const { return applicationGuid; }
    int RegiCount() const { return int(commonData.ids.size()); }
    size_t RegiCapacity() const { return commonData.ids.capacity(); }
    unsigned PoolCapacity(int slot) const;
    const man2man::TTimer* AliveTimer() const { return aliveTimer.get(); }
    IDirectPlay3A* DirectPlay() const { return directPlay; }
    ReceiveThread* Receiver() const { return receiveThread.get(); }
    CheckSenderThread* Checker() const { return checkSenderThread.get(); }
    unsigned LiveChecksSent() const { return liveChecksSent; }
    // Whether the session was opened with a passphrase (set by LetsConnect).
    bool Protected() const { return protectedSession; }
    // Messages set aside while a send waited for its acknowledgement: the most bytes held at
    // once, and how many were dropped past the bound.
    size_t DeferredPeakBytes() const { return deferredPeakBytes; }
    uint64_t DeferredDropped() const { return deferredDropped; }
    static constexpr size_t kMaxDeferred = 1024;
    static constexpr size_t kMaxDeferredBytes = size_t(4) << 20;
    // 0 the local player, 1 the partner; 0 = none.
    DPID PlayerId(int index) const { return index == 0 || index == 1 ? player[index].id.load() : 0; }

private:
    struct Registrations {
        std::vector<void*> data;
        std::vector<unsigned> sizes;
        std::vector<unsigned> ids;
    };
    struct PoolSlot {
        std::unique_ptr<uint8_t[]> block;
        unsigned capacity = 0;
    };
    // A receive thread whose connection was torn down from inside its own hand-off: it can
    // only end after that hand-off has returned, so its layer object and events wait with it.
    struct RetiredLink {
        std::unique_ptr<ReceiveThread> thread;
        IDirectPlay3A* directPlay = nullptr;
        std::array<EventHandle, 4> events;
    };
    struct DeferredMessage {
        DPID sender;
        std::vector<uint8_t> bytes;
    };

    QWidget* OwnerWidget() const;
    void Fire(const std::function<void(TMan2Man*)>& event) {
        if (event) event(this);
    }
    // The hand-off from the receive thread, on the UI thread.
    void HandOff();
    void Dispatch();
    // Errors met while received messages were handled are shown once the hand-off has
    // returned, one box at a time, so that receiving goes on while a box is open.
    void ReportLater(std::string text);
    void ShowReports();
    void DispatchDeferred();
    void FinishRetired();
    bool WaitForAck(unsigned ms);
    void Defer(DPID sender, const uint8_t* message, size_t size);
    void TakeAside();
    // While any component of the process waits for an acknowledgement, the hand-offs of all
    // of them are kept back (two components in one process share the UI thread).
    static int deferring;
    static std::vector<TMan2Man*>& Instances();
    void PartnerArrived(const uint8_t* message, size_t size);
    void PartnerLeft(const uint8_t* message, size_t size);
    void PartnerLost();
    void StartAliveTimer(int interval);
    void ResumeChecker();
    void PauseChecker();
    static BOOL EnumPlayersCallback(DPID dpId, DWORD dwPlayerType, const DPNAME* lpName,
                                    DWORD dwFlags, void* lpContext);

    // In declaration order of the component's state.
    bool guaranteedSupported = false;
    int providerTimeout = 0;
    ChatBox chatBox;
    Registrations commonData;
    std::array<PoolSlot, 4> dataPool;
    IDirectPlay3A* directPlay = nullptr;
    EventHandle receiveEvent, ackEvent, recoveryEvent, sentEvent;
    bool initialized = false;
    bool lost = false;
    GUID applicationGuid = GUID_NULL;
    Player player[2];
    std::unique_ptr<ReceiveThread> receiveThread;
    std::unique_ptr<CheckSenderThread> checkSenderThread;
    std::unique_ptr<man2man::TTimer> aliveTimer;
    uint32_t sendSequence = 0;
    ReceivedRecord receivedRecord;
    int lastServiceIndex = -1;
    std::string lastEnteredName;
    int maxNameLength = 0, maxEnumPlayers = 0, liveCheckInterval = 0;
    bool connected = false;
    std::string masterName;

    // Bookkeeping of the threads and hand-offs (UI thread only, except the counter).
    bool checkerRunning = false;
    bool recovering = false;
    int handoffDepth = 0;
    std::deque<DeferredMessage> deferred;
    size_t deferredBytes = 0, deferredPeakBytes = 0;
    uint64_t deferredDropped = 0;
    bool protectedSession = false;
    // The last guaranteed send failed; its message, to tell a retry from a new message.
    bool lastSendFailed = false;
    std::vector<uint8_t> failedMessage;
    std::vector<uint8_t> asideBuffer;  // TakeAside's receive buffer
    std::vector<RetiredLink> retired;
    std::deque<std::string> reports;
    bool showingReports = false;
    static constexpr size_t kMaxReports = 8;
    std::atomic<unsigned> liveChecksSent{0};
};

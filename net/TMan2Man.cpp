// TMan2Man: properties, creation and release of the session layer, the connect flow and the partner's comings and goings.
#include "net/TMan2Man.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "kernel/UserPrompts.h"
#include "net/TCoDlg.h"
#include "net/TMan2ManDialogs.h"
#include "net/TSeDlg.h"

using namespace man2man;

TMan2Man::TMan2Man(QObject* owner) : QObject(owner) {
    Instances().push_back(this);
    SetMasterName("Master");
    SetMaxEnumPlayers(10);
    SetLiveCheckInterval(3000);
    InitDataPool();
}

TMan2Man::~TMan2Man() {
    UnInitDirectPlay();
    FinishRetired();
    UnInitDataPool();
    auto& all = Instances();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

std::vector<TMan2Man*>& TMan2Man::Instances() {
    static std::vector<TMan2Man*> instances;
    return instances;
}

QWidget* TMan2Man::OwnerWidget() const { return qobject_cast<QWidget*>(parent()); }

// ---------------------------------------------------------------------------------------
// Properties

void TMan2Man::SetMaxEnumPlayers(int value) { maxEnumPlayers = std::clamp(value, 1, 100); }

void TMan2Man::SetMaxNameLength(int value) { maxNameLength = std::clamp(value, 0, 200); }

void TMan2Man::SetLiveCheckInterval(int value) {
    liveCheckInterval = value == 0 ? 0 : std::clamp(value, 500, 10000);
    if (!initialized) return;
    checkSenderThread->SetInterval(uint32_t(liveCheckInterval));
    if (aliveTimer->Enabled()) {
        // Restarted with the new value itself until the next message sets 2 x L + T again.
        aliveTimer->SetEnabled(false);
        aliveTimer->SetInterval(liveCheckInterval);
        aliveTimer->SetEnabled(true);
    }
}

void TMan2Man::SetMasterName(const std::string& value) {
    if (TrimBlanks(value).empty()) return;
    masterName = value.substr(0, 10);
}

std::string TMan2Man::GetPlayerName(WhoIs who) const {
    switch (who) {
        case wiMe:
            return player[0].name;
        case wiPartner:
            return player[1].name;
        case wiMaster:
            return masterName;
    }
    return std::string();
}

// ---------------------------------------------------------------------------------------
// The session layer

bool TMan2Man::InitDirectPlay() {
    if (initialized) return true;
    IDirectPlay3A* created = nullptr;
    const HRESULT result = DirectPlayCreateInstance(CLSID_DirectPlay, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IDirectPlay3A, &created);
    if (FAILED(result) || created == nullptr) {
        if (result == E_NOINTERFACE)
            Prompts().Message("通信機能を使うにはDirectX5以上が必要です。",
                              "エラー： DirectPlayが使えません", PromptButtons::Ok,
                              PromptIcon::Error);
        return false;
    }
    directPlay = created;
    receiveEvent = MakeAutoResetEvent();
    ackEvent = MakeAutoResetEvent();
    recoveryEvent = MakeAutoResetEvent();
    sentEvent = MakeAutoResetEvent();
    receiveThread = std::make_unique<ReceiveThread>(true, receiveEvent, ackEvent, recoveryEvent,
                                                    directPlay, [this] { HandOff(); },
                                                    &receivedRecord);
    checkSenderThread =
        std::make_unique<CheckSenderThread>(true, sentEvent, [this] { SendLiveChecker(); });
    checkSenderThread->SetInterval(uint32_t(liveCheckInterval));
    checkerRunning = false;
    aliveTimer = std::make_unique<TTimer>([this] { AliveTimerTimer(); });
    initialized = true;
    return true;
}

void TMan2Man::UnInitDirectPlay() {
    if (!initialized) return;
    aliveTimer.reset();
    receiveThread->Terminate();
    checkSenderThread->Terminate();
    sentEvent->Set();
    receiveEvent->Set();
    deferred.clear();
    deferredBytes = 0;
    if (handoffDepth == 0) {
        receiveThread.reset();
        checkSenderThread.reset();
        receiveEvent.reset();
        ackEvent.reset();
        recoveryEvent.reset();
        sentEvent.reset();
        directPlay->Close();
        directPlay->Release();
    } else {
        // Reached from inside a hand-off: the receive thread waits for this very call to
        // return, so it is ended, and the layer released, once the hand-off has unwound.
        // Leaving the session cannot wait: the partner hears of it now.
        checkSenderThread.reset();
        directPlay->Close();
        RetiredLink link;
        link.thread = std::move(receiveThread);
        link.directPlay = directPlay;
        link.events = {std::move(sentEvent), std::move(recoveryEvent), std::move(ackEvent),
                       std::move(receiveEvent)};
        retired.push_back(std::move(link));
    }
    directPlay = nullptr;
    checkerRunning = false;
    initialized = false;
}

void TMan2Man::FinishRetired() {
    if (handoffDepth > 0) return;
    while (!retired.empty()) {
        RetiredLink link = std::move(retired.back());
        retired.pop_back();
        link.thread.reset();  // waits for the thread, which is no longer held by a hand-off
        link.directPlay->Release();
    }
}

// ---------------------------------------------------------------------------------------
// Connecting

bool TMan2Man::LetsConnect(const GUID& application) {
    applicationGuid = application;
    if (connected) return true;
    if (!InitDirectPlay()) return false;

    int result;
    {
        TCoDlg dialog(OwnerWidget(), directPlay, applicationGuid, lastServiceIndex);
        result = dialog.exec();
        lastServiceIndex = dialog.ComboBox1->currentIndex();
    }
    if (result != QDialog::Accepted) {
        UnInitDirectPlay();
        return false;
    }
    {
        TSeDlg dialog(OwnerWidget(), maxNameLength, maxEnumPlayers, applicationGuid, directPlay);
        dialog.Edit1->setText(FromSjis(lastEnteredName));
        result = dialog.exec();
        lastEnteredName = ToSjis(dialog.Edit1->text());
        player[0].name = dialog.TrimmedName();
        protectedSession = dialog.UsedPassphrase();
    }
    GetProviderCaps();

    if (result == 1) {
        if (!CPlayer(1)) {
            UnInitDirectPlay();
            return false;
        }
        MakeChatBox(ceArrived, wiMe, std::string());
        return true;
    }
    if (result == 2) {
        if (!CPlayer(2)) {
            UnInitDirectPlay();
            return false;
        }
        StartAliveTimer(2 * liveCheckInterval);
        sendSequence = 0;
        lastSendFailed = false;
        failedMessage.clear();
        receiveThread->SetPeers(player[0].id, player[1].id);
        ResumeChecker();
        connected = true;
        lost = false;
        if (OnGuestArrived) OnGuestArrived(this, false);
        MakeChatBox(ceArrived, wiMe, std::string());
        return true;
    }
    UnInitDirectPlay();
    return false;
}

BOOL TMan2Man::EnumPlayersCallback(DPID dpId, DWORD, const DPNAME* lpName, DWORD dwFlags,
                                   void* lpContext) {
    auto* self = static_cast<TMan2Man*>(lpContext);
    // Only the other player can be the partner, whatever order the players come in.
    if ((dwFlags & DPENUMPLAYERS_LOCAL) || dpId == self->player[0].id) return 1;
    self->player[1].id = dpId;
    self->player[1].name =
        lpName && lpName->lpszShortNameA ? std::string(lpName->lpszShortNameA) : std::string();
    return 1;
}

bool TMan2Man::CPlayer(int kind) {
    player[0].id = 0;
    player[1].id = 0;
    DPNAME name{};
    name.dwSize = kDpNameSize32;
    name.dwFlags = 0;
    name.lpszShortNameA = player[0].name.c_str();
    name.lpszLongNameA = nullptr;
    DPID id = 0;
    if (directPlay->CreatePlayer(&id, &name, receiveEvent, nullptr, 0, 0) != DP_OK) return false;
    player[0].id = id;
    if (kind == 2 && FAILED(directPlay->EnumPlayers(nullptr, EnumPlayersCallback, this, 0)))
        return false;
    receiveThread->Resume();
    return true;
}

void TMan2Man::Disconnect() {
    if (!initialized) return;
    player[0].id = 0;
    player[1].id = 0;
    player[0].name.clear();
    player[1].name.clear();
    connected = false;
    aliveTimer->SetEnabled(false);
    MakeChatBox(ceLeft, wiMe, std::string());
    Fire(OnGuestLalabye);
    UnInitDirectPlay();
}

bool TMan2Man::RenewalSession() {
    if (!initialized) return false;
    DPSESSIONDESC2 desc{};
    desc.dwSize = kDpSessionDescSize32;
    desc.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_NOMESSAGEID;
    desc.guidApplication = applicationGuid;
    desc.dwMaxPlayers = 2;
    desc.lpszSessionNameA = player[0].name.c_str();
    return !FAILED(directPlay->SetSessionDesc(&desc, 0));
}

void TMan2Man::GetProviderCaps() {
    DPCAPS caps{};
    caps.dwSize = sizeof caps;
    directPlay->GetCaps(&caps, 0);
    guaranteedSupported = (caps.dwFlags & DPCAPS_GUARANTEEDSUPPORTED) != 0;
    providerTimeout = int(std::min<DWORD>(caps.dwTimeout, 0x7FFFFFFF));
}

void TMan2Man::SendError(long result) {
    if (QThread::currentThread() != thread()) {
        // From the checker thread: the user is told on the UI thread, and the probe loop
        // does not wait for the box to be closed.
        QMetaObject::invokeMethod(this, [this, result] { SendError(result); },
                                  Qt::QueuedConnection);
        return;
    }
    const char* text = nullptr;
    if (HRESULT(result) == DPERR_BUSY)
        text = "データの送信が出来ませんでした。\n回線がビジーになっています。";
    else if (HRESULT(result) == DPERR_SENDTOOBIG)
        text = "データの送信が出来ませんでした。\nデータが大きすぎます。";
    if (text)
        Prompts().Message(text, "エラー：　データの送信が出来ませんでした。", PromptButtons::Ok,
                          PromptIcon::Warning);
}

// ---------------------------------------------------------------------------------------
// The partner's comings and goings (system messages, dispatched by SelectData2)

void TMan2Man::StartAliveTimer(int interval) {
    aliveTimer->SetEnabled(false);
    aliveTimer->SetInterval(interval);
    aliveTimer->SetEnabled(true);
}

void TMan2Man::ResumeChecker() {
    if (checkerRunning) return;
    checkerRunning = true;
    checkSenderThread->Resume();
}

void TMan2Man::PauseChecker() {
    if (!checkerRunning) return;
    checkerRunning = false;
    checkSenderThread->Suspend();
}

namespace {
// The short name of a player notice, which points into the message itself.
std::string NoticeName(const DPNAME& name, const uint8_t* message, size_t size) {
    const auto* p = reinterpret_cast<const uint8_t*>(name.lpszShortNameA);
    if (p == nullptr || p < message || p >= message + size) return std::string();
    const size_t room = size_t(message + size - p);
    const void* end = std::memchr(p, 0, room);
    if (end == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(end) - p);
}
}  // namespace

void TMan2Man::PartnerArrived(const uint8_t* message, size_t size) {
    DPMSG_CREATEPLAYERORGROUP notice;
    if (size < sizeof notice) return;
    std::memcpy(&notice, message, sizeof notice);
    // A second partner cannot exist, and our own player is no partner.
    if (connected || notice.dwPlayerType != DPPLAYERTYPE_PLAYER || notice.dpId == player[0].id)
        return;
    player[1].id = notice.dpId;
    player[1].name = NoticeName(notice.dpnName, message, size);
    connected = true;
    lost = false;
    StartAliveTimer(2 * liveCheckInterval);
    SomethingReceived();
    sendSequence = 0;
    lastSendFailed = false;
    failedMessage.clear();
    receiveThread->SetPeers(player[0].id, player[1].id);
    ResumeChecker();
    if (OnGuestArrived) OnGuestArrived(this, true);
    MakeChatBox(ceArrived, wiPartner, std::string());
}

void TMan2Man::PartnerLeft(const uint8_t* message, size_t size) {
    DPMSG_DESTROYPLAYERORGROUP notice;
    if (size < sizeof notice) return;
    std::memcpy(&notice, message, sizeof notice);
    // Only the partner's departure counts; with no partner there is nobody to lose.
    if (!connected || notice.dpId != player[1].id) return;
    MakeChatBox(ceLeft, wiPartner, std::string());
    player[1].id = 0;
    player[1].name.clear();
    connected = false;
    aliveTimer->SetEnabled(false);
    PauseChecker();
    Fire(OnGuestLalabye);
}

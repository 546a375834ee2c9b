// The session layer's object: IDirectPlay3A on top of the engine and the I/O thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "net/DPlayEngine.h"
#include "net/DPlayIo.h"
#include "net/DirectPlay.h"

class QThread;

class DPlayObject final : public IDirectPlay3A, private DPlayIoOwner {
public:
    DPlayObject();

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT EnumConnections(const GUID* lpguidApplication, LPDPENUMCONNECTIONSCALLBACK callback,
                            void* context, DWORD flags) override;
    HRESULT InitializeConnection(void* connection, DWORD flags) override;
    HRESULT EnumSessions(DPSESSIONDESC2* sd, DWORD timeout, LPDPENUMSESSIONSCALLBACK2 callback,
                         void* context, DWORD flags) override;
    HRESULT Open(DPSESSIONDESC2* sd, DWORD flags) override;
    HRESULT Close() override;
    HRESULT CreatePlayer(DPID* id, DPNAME* name, EventHandle event, void* data, DWORD dataSize,
                         DWORD flags) override;
    HRESULT DestroyPlayer(DPID id) override;
    HRESULT EnumPlayers(GUID* instance, LPDPENUMPLAYERSCALLBACK2 callback, void* context,
                        DWORD flags) override;
    HRESULT GetPlayerName(DPID id, void* data, DWORD* size) override;
    HRESULT GetPlayerCaps(DPID id, DPCAPS* caps, DWORD flags) override;
    HRESULT GetCaps(DPCAPS* caps, DWORD flags) override;
    HRESULT GetSessionDesc(void* data, DWORD* size) override;
    HRESULT SetSessionDesc(DPSESSIONDESC2* sd, DWORD flags) override;
    HRESULT Send(DPID from, DPID to, DWORD flags, void* data, DWORD size) override;
    HRESULT Receive(DPID* from, DPID* to, DWORD flags, void* data, DWORD* size) override;
    HRESULT GetMessageCount(DPID id, DWORD* count) override;

private:
    ~DPlayObject() override;

    void IoMessage(const Endpoint& from, const std::uint8_t* bytes, std::size_t size) override;
    void IoLinkClosed(const Endpoint& link) override;
    void IoTick() override;
    void IoServing(std::uint16_t port) override;
    std::vector<Actions> TakePending() override;

    // Hands actions to the I/O thread; the caller holds mutex_.
    void Post(Actions&& actions);
    void Keep(Actions&& actions);  // the same from the I/O thread, which drains right after
    bool StartIo(bool tcp);
    void StopIo();
    HRESULT EnsureTargets();
    // Waits (mutex_ held by `lock`) until the engine no longer waits for `sequence`.
    bool WaitControl(std::unique_lock<std::mutex>& lock, std::uint32_t sequence,
                     std::chrono::milliseconds timeout);
    void FillCaps(DPCAPS* caps) const;

    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    std::condition_variable cv_;
    DPlayEngine engine_;
    int connection_ = -1;  // 0 UDP, 1 TCP; -1 until InitializeConnection
    bool opening_ = false;
    std::unique_ptr<QThread> thread_;
    DPlayIo* io_ = nullptr;
    std::vector<Actions> pending_;
    std::size_t pendingBytes_ = 0;
    bool drainPosted_ = false;
    std::optional<std::vector<Endpoint>> targets_;
};

// Whether a record's dwSize is one this layer accepts (the 32-bit size or the native one).
inline bool ValidNameSize(DWORD size) { return size == kDpNameSize32 || size == sizeof(DPNAME); }
inline bool ValidSessionDescSize(DWORD size) {
    return size == kDpSessionDescSize32 || size == sizeof(DPSESSIONDESC2);
}

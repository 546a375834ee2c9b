// The session layer's object: creation, connections, searching, opening and closing.
#include "net/DPlayObject.h"

#include <QCoreApplication>
#include <QStringEncoder>
#include <QThread>
#include <array>
#include <cstring>

#include "kernel/UserPrompts.h"
#include "net/DPlayAddress.h"
#include "net/DPlayHookState.h"
#include "net/DPlayTestHooks.h"

namespace {

constexpr std::uint32_t kConnectionMagic = 0x4E43564Bu;  // "KVCN"
constexpr DWORD kDefaultSearchMs = 2000;
constexpr auto kLeaveWait = std::chrono::milliseconds(1000);
constexpr std::uint32_t kDefaultJoinMs = 5000;

// The data block EnumConnections hands out and InitializeConnection takes back.
struct ConnectionBlock {
    std::uint32_t magic;
    std::uint32_t size;
    GUID provider;
    std::uint32_t index;
};

const GUID& ProviderGuid(int index) { return index == 0 ? DPSPGUID_KORVO_UDP : DPSPGUID_KORVO_TCP; }

// Connection names are handed out like every other text of this interface: Shift-JIS.
const std::string& ConnectionName(int index) {
    static const std::array<std::string, 2> names = [] {
        QStringEncoder sjis("Shift_JIS");
        QByteArray udp = sjis.encode(QString::fromUtf8("UDP/IP 接続（配送の保証なし）"));
        QByteArray tcp = sjis.encode(QString::fromUtf8("TCP/IP 接続（配送を保証）"));
        return std::array<std::string, 2>{udp.toStdString(), tcp.toStdString()};
    }();
    return names[index];
}

EngineTiming TimingFromHooks(const SessionTestHooks& h) {
    EngineTiming t;
    if (h.keepAliveIntervalMs > 0)
        t.keepAliveInterval = std::chrono::milliseconds(h.keepAliveIntervalMs);
    if (h.keepAliveTimeoutMs > 0)
        t.keepAliveTimeout = std::chrono::milliseconds(h.keepAliveTimeoutMs);
    return t;
}

bool Available(const FoundSession& f) {
    if ((f.info.flags & (DPSESSION_JOINDISABLED | DPSESSION_NEWPLAYERSDISABLED)) != 0) return false;
    return f.info.currentPlayers < f.info.maxPlayers;
}

// Reports found sessions to the caller's callback; returns what its time-out call answered.
bool Report(const std::vector<FoundSession>& found, bool all, LPDPENUMSESSIONSCALLBACK2 callback,
            void* context, DWORD* timeout) {
    for (const auto& f : found) {
        if (!all && !Available(f)) continue;
        DPSESSIONDESC2 d{};
        d.dwSize = sizeof(DPSESSIONDESC2);
        d.dwFlags = f.info.flags;
        d.guidInstance = f.instance;
        d.guidApplication = f.application;
        d.dwMaxPlayers = f.info.maxPlayers;
        d.dwCurrentPlayers = f.info.currentPlayers;
        d.lpszSessionNameA = f.info.name.c_str();
        DWORD t = *timeout;
        if (!callback(&d, &t, 0, context)) return false;
    }
    DWORD t = *timeout;
    bool again = callback(nullptr, &t, DPESC_TIMEDOUT, context) != 0;
    *timeout = t;
    return again;
}

}  // namespace

HRESULT DirectPlayCreateInstance(const GUID& rclsid, void* pUnkOuter, DWORD /*dwClsContext*/,
                                 const GUID& riid, IDirectPlay3A** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    if (rclsid != CLSID_DirectPlay) return REGDB_E_CLASSNOTREG;
    if (riid != IID_IDirectPlay3A) return E_NOINTERFACE;
    HRESULT forced = GetSessionTestHooks().createResult;
    if (FAILED(forced)) return forced;
    *ppv = new DPlayObject;
    return S_OK;
}

DPlayObject::DPlayObject() = default;

DPlayObject::~DPlayObject() { StopIo(); }

ULONG DPlayObject::AddRef() { return ++refs_; }

ULONG DPlayObject::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        Close();
        delete this;
    }
    return left;
}

// --- The I/O thread ----------------------------------------------------------------------

bool DPlayObject::StartIo(bool tcp) {
    if (QCoreApplication::instance() == nullptr) return false;  // no event loops without it
    QHostAddress bind(QHostAddress::AnyIPv4);
    std::string wanted = GetSessionTestHooks().bindAddress;
    if (!wanted.empty() && !bind.setAddress(QString::fromStdString(wanted))) return false;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("KorvoSessionIo"));
    io_ = new DPlayIo(this, tcp, bind);
    io_->moveToThread(thread_.get());
    thread_->start();
    bool started = false;
    QMetaObject::invokeMethod(
        io_, [this] { return io_->Start(); }, Qt::BlockingQueuedConnection, &started);
    if (!started) StopIo();
    return started;
}

void DPlayObject::StopIo() {
    if (!thread_) return;
    QMetaObject::invokeMethod(
        io_, [this] { io_->Shutdown(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete io_;
    io_ = nullptr;
    thread_.reset();
}

// The lossy-link rule is applied when a send is handed over, on the sending thread, so that
// a test changing the rule between two sends sees each send treated by the rule it was made
// under.
static void ApplyTrafficRule(Actions& actions) {
    std::erase_if(actions.sends, [](Outgoing& out) {
        if (!out.traffic) return false;
        TrafficFate fate = DecideTraffic(out.fromHost);
        out.delayMs = fate.delayMs;
        return fate.drop;
    });
}

void DPlayObject::Post(Actions&& actions) {
    if (io_ == nullptr) return;
    ApplyTrafficRule(actions);
    if (actions.empty()) return;
    for (const auto& s : actions.sends) pendingBytes_ += s.bytes.size();
    pending_.push_back(std::move(actions));
    if (!drainPosted_) {
        drainPosted_ = true;
        DPlayIo* io = io_;
        QMetaObject::invokeMethod(
            io, [io] { io->Drain(); }, Qt::QueuedConnection);
    }
}

void DPlayObject::Keep(Actions&& actions) {
    ApplyTrafficRule(actions);
    if (actions.empty()) return;
    for (const auto& s : actions.sends) pendingBytes_ += s.bytes.size();
    pending_.push_back(std::move(actions));
}

std::vector<Actions> DPlayObject::TakePending() {
    std::lock_guard lock(mutex_);
    drainPosted_ = false;
    pendingBytes_ = 0;
    return std::exchange(pending_, {});
}

void DPlayObject::IoMessage(const Endpoint& from, const std::uint8_t* bytes, std::size_t size) {
    std::lock_guard lock(mutex_);
    Actions a;
    engine_.OnMessage(from, bytes, size, Clock::now(), a);
    Keep(std::move(a));
    cv_.notify_all();
}

void DPlayObject::IoLinkClosed(const Endpoint& link) {
    std::lock_guard lock(mutex_);
    Actions a;
    engine_.OnLinkClosed(link, Clock::now(), a);
    Keep(std::move(a));
    cv_.notify_all();
}

void DPlayObject::IoTick() {
    std::lock_guard lock(mutex_);
    Actions a;
    engine_.OnTick(Clock::now(), a);
    Keep(std::move(a));
    cv_.notify_all();
}

void DPlayObject::IoServing(std::uint16_t port) {
    std::lock_guard lock(mutex_);
    engine_.SetServingPort(port);
    NoteHostPort(port);
}

// --- Connections -------------------------------------------------------------------------

HRESULT DPlayObject::EnumConnections(const GUID* /*lpguidApplication*/,
                                     LPDPENUMCONNECTIONSCALLBACK callback, void* context,
                                     DWORD /*flags*/) {
    if (callback == nullptr) return DPERR_INVALIDPARAMS;
    for (int i = 0; i < 2; ++i) {
        ConnectionBlock block{kConnectionMagic, sizeof(ConnectionBlock), ProviderGuid(i),
                              static_cast<std::uint32_t>(i)};
        DPNAME name{};
        name.dwSize = sizeof(DPNAME);
        name.lpszShortNameA = ConnectionName(i).c_str();
        GUID provider = ProviderGuid(i);
        if (!callback(&provider, &block, sizeof(block), &name, 0, context)) break;
    }
    return DP_OK;
}

HRESULT DPlayObject::InitializeConnection(void* connection, DWORD flags) {
    if (connection == nullptr) return DPERR_INVALIDPARAMS;
    if (flags != 0) return DPERR_INVALIDFLAGS;
    ConnectionBlock block;
    std::memcpy(&block, connection, sizeof(block));
    if (block.magic != kConnectionMagic || block.size != sizeof(ConnectionBlock) ||
        block.index > 1 || block.provider != ProviderGuid(static_cast<int>(block.index)))
        return DPERR_INVALIDPARAMS;
    {
        std::lock_guard lock(mutex_);
        if (connection_ >= 0 || opening_) return DPERR_ALREADYINITIALIZED;
        opening_ = true;
    }
    bool usable = (GetSessionTestHooks().unusableConnections & (1u << block.index)) == 0;
    bool tcp = block.index == 1;
    if (usable) usable = StartIo(tcp);
    std::lock_guard lock(mutex_);
    opening_ = false;
    if (!usable) return DPERR_UNAVAILABLE;
    connection_ = static_cast<int>(block.index);
    engine_.SetTransport(tcp);
    return DP_OK;
}

// --- Searching ---------------------------------------------------------------------------

HRESULT DPlayObject::EnsureTargets() {
    {
        std::lock_guard lock(mutex_);
        if (targets_) return DP_OK;
    }
    SessionTestHooks hooks = GetSessionTestHooks();
    std::uint16_t port = kDefaultPort;
    if (hooks.port) port = *hooks.port != 0 ? *hooks.port : DPlayLastHostPort();
    if (port == 0) port = kDefaultPort;
    std::string initial;
    for (;;) {
        auto answer = Prompts().InputText("通信先の指定",
                                          "相手のコンピュータのアドレスか名前を入れて下さい。\n"
                                          "空欄のときはこのコンピュータを探します。",
                                          initial);
        if (!answer) return DPERR_USERCANCEL;
        std::string bad;
        if (auto list = ParseAddressList(*answer, port, &bad)) {
            std::vector<Endpoint> targets;
            for (const auto& hp : *list) targets.push_back({Endpoint::Client, hp.ip, hp.port});
            std::lock_guard lock(mutex_);
            targets_ = std::move(targets);
            return DP_OK;
        }
        Prompts().Message("通信先のアドレスが正しくありません。\n" + bad,
                          "エラー: 通信先が見つかりません。", PromptButtons::Ok,
                          PromptIcon::Warning);
        initial = *answer;
    }
}

HRESULT DPlayObject::EnumSessions(DPSESSIONDESC2* sd, DWORD timeout,
                                  LPDPENUMSESSIONSCALLBACK2 callback, void* context, DWORD flags) {
    if ((flags & DPENUMSESSIONS_STOPASYNC) != 0) {
        std::lock_guard lock(mutex_);
        engine_.StopAsyncEnum();
        return DP_OK;
    }
    if (sd == nullptr || !ValidSessionDescSize(sd->dwSize) || callback == nullptr)
        return DPERR_INVALIDPARAMS;
    {
        std::lock_guard lock(mutex_);
        if (connection_ < 0) return DPERR_UNINITIALIZED;
    }
    HRESULT hr = EnsureTargets();
    if (FAILED(hr)) return hr;
    GUID application = sd->guidApplication;
    bool all = (flags & DPENUMSESSIONS_ALL) != 0;
    if ((flags & DPENUMSESSIONS_ASYNC) != 0) {
        std::vector<FoundSession> found;
        {
            std::lock_guard lock(mutex_);
            Actions a;
            engine_.StartAsyncEnum(*targets_, application, Clock::now(), a);
            Post(std::move(a));
            found = engine_.AsyncFound();
        }
        Report(found, all, callback, context, &timeout);
        return DP_OK;
    }
    for (;;) {
        std::vector<FoundSession> found;
        {
            std::unique_lock lock(mutex_);
            Actions a;
            engine_.StartSyncEnum(*targets_, application, Clock::now(), a);
            Post(std::move(a));
            auto deadline =
                Clock::now() + std::chrono::milliseconds(timeout ? timeout : kDefaultSearchMs);
            while (Clock::now() < deadline) cv_.wait_until(lock, deadline);
            found = engine_.StopSyncEnum();
        }
        if (!Report(found, all, callback, context, &timeout)) return DP_OK;
    }
}

// --- Opening and closing -----------------------------------------------------------------

HRESULT DPlayObject::Open(DPSESSIONDESC2* sd, DWORD flags) {
    if (sd == nullptr || !ValidSessionDescSize(sd->dwSize)) return DPERR_INVALIDPARAMS;
    if ((flags & ~(DPOPEN_JOIN | DPOPEN_CREATE | DPOPEN_RETURNSTATUS)) != 0)
        return DPERR_INVALIDFLAGS;
    bool create = (flags & DPOPEN_CREATE) != 0;
    if (create == ((flags & DPOPEN_JOIN) != 0)) return DPERR_INVALIDFLAGS;
    if (create && !dpwire::NameIsValid(sd->lpszSessionNameA)) return DPERR_INVALIDPARAMS;
    if (!dpwire::NameIsValid(sd->lpszPasswordA)) return DPERR_INVALIDPARAMS;
    // An empty passphrase is no passphrase: the session is open, as before there were any.
    const std::string passphrase = sd->lpszPasswordA ? sd->lpszPasswordA : "";
    if (!passphrase.empty() && !dpguard::Ready()) return DPERR_UNSUPPORTED;
    SessionTestHooks hooks = GetSessionTestHooks();
    GUID instance = GUID_NULL;
    std::optional<FoundSession> target;
    {
        std::lock_guard lock(mutex_);
        if (connection_ < 0) return DPERR_UNINITIALIZED;
        if (opening_) return DPERR_BUSY;
        if (engine_.role() == DPlayEngine::Role::Lost) {
            Actions a;
            engine_.FinishClose(a);
            Post(std::move(a));
        }
        if (engine_.role() != DPlayEngine::Role::None) return DPERR_ALREADYINITIALIZED;
        engine_.SetTiming(TimingFromHooks(hooks));
        if (create) {
            instance = engine_.NewInstance();
        } else {
            target = engine_.Known(sd->guidInstance);
            if (!target) return DPERR_NOSESSIONS;
            instance = target->instance;
        }
        opening_ = true;
    }
    // The memory-hard derivation takes a good part of a second: it runs before anything is
    // served or sent, outside the lock, so that the I/O thread goes on meanwhile.
    std::optional<dpguard::SecretKey> key;
    if (!passphrase.empty()) {
        key = dpguard::PassphraseKey(passphrase, instance);
        if (!key) {
            std::lock_guard lock(mutex_);
            opening_ = false;
            return DPERR_OUTOFMEMORY;
        }
    }
    if (create) {
        std::uint16_t port = hooks.port.value_or(kDefaultPort);
        std::optional<std::uint16_t> bound;
        QMetaObject::invokeMethod(
            io_, [this, port] { return io_->Serve(port); }, Qt::BlockingQueuedConnection, &bound);
        std::lock_guard lock(mutex_);
        opening_ = false;
        if (!bound) return DPERR_CANNOTCREATESERVER;
        dpwire::SessionInfo info;
        info.flags = sd->dwFlags & ~DPSESSION_PASSWORDREQUIRED;
        info.maxPlayers = sd->dwMaxPlayers == 1 ? 1 : 2;
        info.name = sd->lpszSessionNameA ? sd->lpszSessionNameA : "";
        sd->guidInstance =
            engine_.CreateSession(sd->guidApplication, info, *bound, instance, std::move(key));
        engine_.StopAsyncEnum();
        NoteHostPort(*bound);
        return DP_OK;
    }
    std::unique_lock lock(mutex_);
    {
        Actions a;
        engine_.BeginJoin(*target, Clock::now(), a, std::move(key));
        Post(std::move(a));
    }
    auto wait =
        std::chrono::milliseconds(hooks.joinTimeoutMs ? hooks.joinTimeoutMs : kDefaultJoinMs);
    cv_.wait_for(lock, wait, [this] { return engine_.JoinResult().has_value(); });
    opening_ = false;
    auto result = engine_.JoinResult();
    if (!result) {
        Actions a;
        engine_.AbortJoin(a);
        Post(std::move(a));
        return DPERR_TIMEOUT;
    }
    if (*result == DP_OK) engine_.StopAsyncEnum();
    return *result;
}

bool DPlayObject::WaitControl(std::unique_lock<std::mutex>& lock, std::uint32_t sequence,
                              std::chrono::milliseconds timeout) {
    auto inSession = [this] {
        return engine_.role() == DPlayEngine::Role::Host ||
               engine_.role() == DPlayEngine::Role::Member;
    };
    cv_.wait_for(lock, timeout, [&] { return !inSession() || engine_.ControlDone(sequence); });
    return inSession() && engine_.ControlDone(sequence);
}

HRESULT DPlayObject::Close() {
    std::unique_lock lock(mutex_);
    if (engine_.role() == DPlayEngine::Role::None || engine_.role() == DPlayEngine::Role::Joining)
        return DP_OK;
    Actions a;
    std::uint32_t sequence = engine_.BeginLeave(Clock::now(), a);
    Post(std::move(a));
    // The partner should hear that we leave (and, from a host, that it takes over); if it
    // does not answer, it will notice by its keep-alive.
    if (sequence != 0) WaitControl(lock, sequence, kLeaveWait);
    Actions done;
    engine_.FinishClose(done);
    Post(std::move(done));
    return DP_OK;
}

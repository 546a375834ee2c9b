// Our session layer's interface: the peer-to-peer calls, records and codes TMan2Man uses.
#pragma once

// The layer joins two copies of the program over IP. It offers two connections:
//   0  "UDP/IP 接続（配送の保証なし）"  datagrams; Send never guarantees delivery
//   1  "TCP/IP 接続（配送を保証）"      a stream; DPCAPS_GUARANTEEDSUPPORTED is set
// A session holds at most two computers with one player each. Everything runs on an I/O
// thread of the object's own; every method may be called from any thread except that
// Release must not race with other calls on the same object. Callbacks are called on the
// calling thread, with no lock held, so they may call back into the object.
//
// Texts (player names, session names, connection names) are Shift-JIS byte strings,
// zero-terminated, as everywhere on the network. Names are limited to kMaxNameBytes.
//
// Searching for sessions asks the user once per object, through the prompt seam, for the
// host computer's address ("192.168.0.5", "pc-name", "host:port", several separated by
// commas; empty means this computer, 127.0.0.1). The layer never broadcasts.
//
// Records carry a dwSize that must be set by the caller: the documented sizes of the
// 32-bit platform (DPNAME 16, DPCAPS 40, DPSESSIONDESC2 80) and the native sizeof are both
// accepted.

#include <cstdint>

#include "net/AutoResetEvent.h"

using DWORD = std::uint32_t;
using BOOL = int;
using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DPID = std::uint32_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---------------------------------------------------------------------------------------
// Results

inline constexpr HRESULT MakeDpResult(std::uint32_t code) {
    return static_cast<HRESULT>(0x88770000u + code);
}
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT DP_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

inline constexpr HRESULT DPERR_ALREADYINITIALIZED = MakeDpResult(5);
inline constexpr HRESULT DPERR_ACCESSDENIED = MakeDpResult(10);
inline constexpr HRESULT DPERR_BUFFERTOOSMALL = MakeDpResult(30);
inline constexpr HRESULT DPERR_CANTCREATEPLAYER = MakeDpResult(60);
inline constexpr HRESULT DPERR_GENERIC = E_FAIL;
inline constexpr HRESULT DPERR_INVALIDFLAGS = MakeDpResult(120);
inline constexpr HRESULT DPERR_INVALIDOBJECT = MakeDpResult(130);
inline constexpr HRESULT DPERR_INVALIDPARAMS = E_INVALIDARG;
inline constexpr HRESULT DPERR_INVALIDPLAYER = MakeDpResult(150);
inline constexpr HRESULT DPERR_NOCONNECTION = MakeDpResult(170);
inline constexpr HRESULT DPERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DPERR_NOMESSAGES = MakeDpResult(190);
inline constexpr HRESULT DPERR_NOSESSIONS = MakeDpResult(220);
inline constexpr HRESULT DPERR_SENDTOOBIG = MakeDpResult(230);  // 0x887700E6
inline constexpr HRESULT DPERR_TIMEOUT = MakeDpResult(240);
inline constexpr HRESULT DPERR_UNAVAILABLE = MakeDpResult(250);
inline constexpr HRESULT DPERR_UNSUPPORTED = E_NOTIMPL;
inline constexpr HRESULT DPERR_BUSY = MakeDpResult(270);  // 0x8877010E
inline constexpr HRESULT DPERR_USERCANCEL = MakeDpResult(280);
inline constexpr HRESULT DPERR_NOINTERFACE = E_NOINTERFACE;
inline constexpr HRESULT DPERR_CANNOTCREATESERVER = MakeDpResult(290);
inline constexpr HRESULT DPERR_SESSIONLOST = MakeDpResult(310);
inline constexpr HRESULT DPERR_UNINITIALIZED = MakeDpResult(320);
inline constexpr HRESULT DPERR_NONEWPLAYERS = MakeDpResult(330);
inline constexpr HRESULT DPERR_INVALIDPASSWORD = MakeDpResult(340);
inline constexpr HRESULT DPERR_CONNECTING = MakeDpResult(350);
inline constexpr HRESULT DPERR_CONNECTIONLOST = MakeDpResult(360);

// ---------------------------------------------------------------------------------------
// Flags and special ids

inline constexpr DPID DPID_SYSMSG = 0;      // sender id of system messages
inline constexpr DPID DPID_ALLPLAYERS = 0;  // receiver id: every other player
inline constexpr DPID DPID_UNKNOWN = 0xFFFFFFFFu;

inline constexpr DWORD DPSEND_GUARANTEED = 0x1;  // only on a connection that guarantees

inline constexpr DWORD DPOPEN_JOIN = 0x1;
inline constexpr DWORD DPOPEN_CREATE = 0x2;
inline constexpr DWORD DPOPEN_RETURNSTATUS = 0x80;  // accepted; nothing here ever waits on a dialog

inline constexpr DWORD DPENUMSESSIONS_AVAILABLE = 0x1;  // the default: sessions with room
inline constexpr DWORD DPENUMSESSIONS_ALL = 0x2;
inline constexpr DWORD DPENUMSESSIONS_ASYNC = 0x10;
inline constexpr DWORD DPENUMSESSIONS_STOPASYNC = 0x20;
inline constexpr DWORD DPENUMSESSIONS_RETURNSTATUS = 0x80;  // accepted, no effect

inline constexpr DWORD DPESC_TIMEDOUT = 0x1;  // the session callback's "search step over" call

inline constexpr DWORD DPRECEIVE_ALL = 0x1;
inline constexpr DWORD DPRECEIVE_TOPLAYER = 0x2;
inline constexpr DWORD DPRECEIVE_FROMPLAYER = 0x4;
inline constexpr DWORD DPRECEIVE_PEEK = 0x8;

inline constexpr DWORD DPSESSION_NEWPLAYERSDISABLED = 0x1;
inline constexpr DWORD DPSESSION_MIGRATEHOST = 0x4;
inline constexpr DWORD DPSESSION_NOMESSAGEID = 0x8;
inline constexpr DWORD DPSESSION_JOINDISABLED = 0x20;
inline constexpr DWORD DPSESSION_PASSWORDREQUIRED = 0x400;  // set by the layer, never by a caller

inline constexpr DWORD DPCAPS_ISHOST = 0x2;
inline constexpr DWORD DPCAPS_GUARANTEEDOPTIMIZED = 0x20;
inline constexpr DWORD DPCAPS_GUARANTEEDSUPPORTED = 0x40;
inline constexpr DWORD DPPLAYERCAPS_LOCAL = 0x800;

inline constexpr DWORD DPPLAYERTYPE_GROUP = 0;
inline constexpr DWORD DPPLAYERTYPE_PLAYER = 1;

inline constexpr DWORD DPENUMPLAYERS_ALL = 0;
inline constexpr DWORD DPENUMPLAYERS_LOCAL = 0x8;
inline constexpr DWORD DPENUMPLAYERS_REMOTE = 0x10;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_ALL = 0x17;

// System message types (DPMSG_GENERIC::dwType of a message whose sender is DPID_SYSMSG).
inline constexpr DWORD DPSYS_CREATEPLAYERORGROUP = 0x0003;
inline constexpr DWORD DPSYS_DESTROYPLAYERORGROUP = 0x0005;
inline constexpr DWORD DPSYS_SESSIONLOST = 0x0031;
inline constexpr DWORD DPSYS_HOST = 0x0101;
// Ours: the host has turned away joiners whose passphrase was wrong (DPMSG_WRONGPASSPHRASE).
inline constexpr DWORD DPSYS_WRONGPASSPHRASE = 0x8001;

inline constexpr DWORD kMaxNameBytes = 1024;  // longest player or session name, in bytes

// The object and its interface, and the two connections (service providers).
inline constexpr GUID CLSID_DirectPlay{
    0x31b06c97, 0x4a2f, 0x4ec8, {0xa7, 0x9d, 0x75, 0xb6, 0x57, 0xa1, 0xdb, 0x01}};
inline constexpr GUID IID_IDirectPlay3A{
    0x1900b7db, 0x2eec, 0x4b9f, {0xbb, 0x07, 0x43, 0xb3, 0xeb, 0x76, 0xdc, 0x90}};
inline constexpr GUID DPSPGUID_KORVO_UDP{
    0xc147744b, 0x1a3b, 0x4af5, {0x8e, 0xc0, 0x4b, 0xfd, 0x1a, 0x50, 0x2a, 0x9b}};
inline constexpr GUID DPSPGUID_KORVO_TCP{
    0x0d129721, 0x93b1, 0x4003, {0x9e, 0xe3, 0x47, 0x23, 0x71, 0x63, 0x88, 0x8b}};

// ---------------------------------------------------------------------------------------
// Records

struct DPNAME {
    DWORD dwSize;
    DWORD dwFlags;
    union {
        const char* lpszShortName;
        const char* lpszShortNameA;
    };
    union {
        const char* lpszLongName;
        const char* lpszLongNameA;
    };
};

struct DPCAPS {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwMaxBufferSize;  // largest message Send accepts
    DWORD dwMaxQueueSize;
    DWORD dwMaxPlayers;  // 2
    DWORD dwHundredBaud;
    DWORD dwLatency;
    DWORD dwMaxLocalPlayers;  // 1
    DWORD dwHeaderLength;
    DWORD dwTimeout;  // ms: the connection's answer time-out
};
static_assert(sizeof(DPCAPS) == 40);

struct DPSESSIONDESC2 {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidInstance;
    GUID guidApplication;
    DWORD dwMaxPlayers;  // 0 or above 2 means 2, the most this layer holds
    DWORD dwCurrentPlayers;
    union {
        const char* lpszSessionName;
        const char* lpszSessionNameA;
    };
    union {
        const char* lpszPassword;
        const char* lpszPasswordA;
    };
    DWORD dwReserved1;
    DWORD dwReserved2;
    DWORD dwUser1;
    DWORD dwUser2;
    DWORD dwUser3;
    DWORD dwUser4;
};

inline constexpr DWORD kDpNameSize32 = 16;
inline constexpr DWORD kDpSessionDescSize32 = 80;

// System messages as Receive writes them: the record first, then the name strings it
// points to, all inside the caller's buffer.
struct DPMSG_GENERIC {
    DWORD dwType;
};
using DPMSG_HOST = DPMSG_GENERIC;
using DPMSG_SESSIONLOST = DPMSG_GENERIC;

struct DPMSG_WRONGPASSPHRASE {
    DWORD dwType;      // DPSYS_WRONGPASSPHRASE
    DWORD dwAttempts;  // failed handshakes of this session so far
};

struct DPMSG_CREATEPLAYERORGROUP {
    DWORD dwType;        // DPSYS_CREATEPLAYERORGROUP
    DWORD dwPlayerType;  // DPPLAYERTYPE_PLAYER
    DPID dpId;
    DWORD dwCurrentPlayers;
    void* lpData;  // always null: players carry no data here
    DWORD dwDataSize;
    DPNAME dpnName;  // short name never null (may be empty); long name null when none
    DPID dpIdParent;
    DWORD dwFlags;
};

struct DPMSG_DESTROYPLAYERORGROUP {
    DWORD dwType;  // DPSYS_DESTROYPLAYERORGROUP
    DWORD dwPlayerType;
    DPID dpId;
    void* lpLocalData;
    DWORD dwLocalDataSize;
    void* lpRemoteData;
    DWORD dwRemoteDataSize;
    DPNAME dpnName;
    DPID dpIdParent;
    DWORD dwFlags;
};

// Callbacks: return nonzero to be called again, zero to stop.
using LPDPENUMCONNECTIONSCALLBACK = BOOL (*)(const GUID* lpguidSP, void* lpConnection,
                                             DWORD dwConnectionSize, const DPNAME* lpName,
                                             DWORD dwFlags, void* lpContext);
// Called once per session found (lpThisSD valid, dwFlags 0), then once with lpThisSD null
// and dwFlags DPESC_TIMEDOUT. In a synchronous search, nonzero from that last call searches
// again for *lpdwTimeOut ms.
using LPDPENUMSESSIONSCALLBACK2 = BOOL (*)(const DPSESSIONDESC2* lpThisSD, DWORD* lpdwTimeOut,
                                           DWORD dwFlags, void* lpContext);
// dwFlags is DPENUMPLAYERS_LOCAL or DPENUMPLAYERS_REMOTE; local players are reported first.
using LPDPENUMPLAYERSCALLBACK2 = BOOL (*)(DPID dpId, DWORD dwPlayerType, const DPNAME* lpName,
                                          DWORD dwFlags, void* lpContext);

// ---------------------------------------------------------------------------------------
// The object

class IDirectPlay3A {
public:
    virtual ULONG AddRef() = 0;
    // Drops one reference; the last one closes the session and ends the I/O thread.
    virtual ULONG Release() = 0;

    // Lists the two connections; lpguidApplication and dwFlags are not used for filtering.
    virtual HRESULT EnumConnections(const GUID* lpguidApplication,
                                    LPDPENUMCONNECTIONSCALLBACK lpEnumCallback, void* lpContext,
                                    DWORD dwFlags) = 0;
    // Binds the object to a connection given by the data block EnumConnections reported
    // (a copy of it will do). DPERR_ALREADYINITIALIZED the second time; DPERR_UNAVAILABLE
    // when the connection cannot be used on this computer.
    virtual HRESULT InitializeConnection(void* lpConnection, DWORD dwFlags) = 0;

    // lpsd: dwSize, guidApplication (GUID_NULL finds every application). The first call of
    // an object asks for the host's address (DPERR_USERCANCEL when the user cancels).
    // DPENUMSESSIONS_ASYNC starts a search that goes on in the background and reports what
    // has been found so far at once; later calls report the current list, in which sessions
    // that stopped answering drop out; DPENUMSESSIONS_STOPASYNC ends it. Without ASYNC the
    // call searches for dwTimeout ms (0: the connection's default) and then reports.
    virtual HRESULT EnumSessions(DPSESSIONDESC2* lpsd, DWORD dwTimeout,
                                 LPDPENUMSESSIONSCALLBACK2 lpEnumSessionsCallback2, void* lpContext,
                                 DWORD dwFlags) = 0;
    // DPOPEN_CREATE: a new session from dwFlags, guidApplication, dwMaxPlayers and the
    // session name; guidInstance is written back. A non-empty lpszPassword (any bytes; it
    // never leaves this computer) makes a protected session: only a joiner with the same
    // passphrase gets in (DPERR_INVALIDPASSWORD otherwise, also for a joiner with a
    // passphrase at an open session), everything after the join is encrypted and
    // authenticated, and the session is listed with DPSESSION_PASSWORDREQUIRED. Both ends
    // spend a memory-hard key derivation inside Open. DPERR_CANNOTCREATESERVER when the port
    // is taken. DPOPEN_JOIN: joins the session whose guidInstance a search reported;
    // DPERR_NOSESSIONS (not found), DPERR_NONEWPLAYERS (full), DPERR_TIMEOUT (no answer),
    // DPERR_CONNECTIONLOST (the host refused the connection).
    virtual HRESULT Open(DPSESSIONDESC2* lpsd, DWORD dwFlags) = 0;
    // Leaves the session: the partner gets DPSYS_DESTROYPLAYERORGROUP for our player; when
    // the host leaves a DPSESSION_MIGRATEHOST session the partner becomes host, gets
    // DPSYS_HOST and serves the session from then on. DP_OK also when nothing is open.
    virtual HRESULT Close() = 0;

    // One local player per object. hEvent (may be null) is set whenever a message for the
    // player is waiting. lpData must be null (players carry no data); dwFlags 0.
    // DPERR_NOSESSIONS before Open, DPERR_CANTCREATEPLAYER for a second player; a guest's
    // call returns once the host knows the player (DPERR_TIMEOUT if it never answers).
    virtual HRESULT CreatePlayer(DPID* lpidPlayer, DPNAME* lpPlayerName, EventHandle hEvent,
                                 void* lpData, DWORD dwDataSize, DWORD dwFlags) = 0;
    virtual HRESULT DestroyPlayer(DPID idPlayer) = 0;
    // lpguidInstance must be null (players of the open session).
    virtual HRESULT EnumPlayers(GUID* lpguidInstance,
                                LPDPENUMPLAYERSCALLBACK2 lpEnumPlayersCallback2, void* lpContext,
                                DWORD dwFlags) = 0;
    // Writes a DPNAME and its strings into lpData; sets *lpdwDataSize to the size needed.
    virtual HRESULT GetPlayerName(DPID idPlayer, void* lpData, DWORD* lpdwDataSize) = 0;
    virtual HRESULT GetPlayerCaps(DPID idPlayer, DPCAPS* lpPlayerCaps, DWORD dwFlags) = 0;
    // Needs an initialised connection (DPERR_UNINITIALIZED otherwise).
    virtual HRESULT GetCaps(DPCAPS* lpDPCaps, DWORD dwFlags) = 0;
    // Writes a DPSESSIONDESC2 and its name into lpData; sets *lpdwDataSize to the size needed.
    virtual HRESULT GetSessionDesc(void* lpData, DWORD* lpdwDataSize) = 0;
    // Host only: new name, flags and player limit, passed on to the partner and to searches.
    virtual HRESULT SetSessionDesc(DPSESSIONDESC2* lpSessDesc, DWORD dwFlags) = 0;

    // idFrom: a local player; idTo: a player of the session or DPID_ALLPLAYERS.
    // DPERR_SENDTOOBIG above dwMaxBufferSize, DPERR_BUSY while the link's backlog is full,
    // DPERR_CONNECTIONLOST after the session was lost.
    virtual HRESULT Send(DPID idFrom, DPID idTo, DWORD dwFlags, void* lpData, DWORD dwDataSize) = 0;
    // Takes the oldest waiting message (DPRECEIVE_ALL), or the oldest to *lpidTo
    // (DPRECEIVE_TOPLAYER) and/or from *lpidFrom (DPRECEIVE_FROMPLAYER); DPRECEIVE_PEEK
    // leaves it queued. DPERR_BUFFERTOOSMALL with *lpdwDataSize = the size needed (the
    // message stays queued); DPERR_NOMESSAGES when nothing waits.
    virtual HRESULT Receive(DPID* lpidFrom, DPID* lpidTo, DWORD dwFlags, void* lpData,
                            DWORD* lpdwDataSize) = 0;
    virtual HRESULT GetMessageCount(DPID idPlayer, DWORD* lpdwCount) = 0;

protected:
    virtual ~IDirectPlay3A() = default;
};

// Stands in for creating the object through COM. E_NOINTERFACE for another interface id,
// REGDB_E_CLASSNOTREG for another class id, CLASS_E_NOAGGREGATION with an outer object.
HRESULT DirectPlayCreateInstance(const GUID& rclsid, void* pUnkOuter, DWORD dwClsContext,
                                 const GUID& riid, IDirectPlay3A** ppv);

// The session layer's wire protocol: message records, encoding and bounds-checked decoding.
#pragma once

// Every message, in a UDP datagram or in a TCP frame (a 32-bit little-endian length, then
// the message), starts with the same 12-byte header. All numbers are little-endian.
//
//   header   0  u32  magic 0x5044564B (the bytes "KVDP")
//            4  u8   version 1
//            5  u8   type
//            6  u16  0
//            8  u32  link key: 0 outside a session; inside, the random key the host gave
//                    the member when it joined (JoinAccept carries the new key here)
//
// Names are a u16 length and that many bytes (no zero byte, at most kMaxNameBytes);
// the length 0xFFFF stands for "no name" (a null pointer in DPNAME).
//
//   1 EnumRequest   searcher -> host port   GUID application (zero: any), u32 nonce
//   2 EnumReply     host -> searcher        u32 nonce, GUID instance, GUID application,
//                                           session info
//   3 JoinRequest   joiner -> host port     u32 nonce, GUID instance
//   4 JoinAccept    host -> joiner          u32 nonce, GUID instance, GUID application,
//                                           u32 player id reserved for the joiner, session
//                                           info, u8 count (0 or 1), count x player info
//   5 JoinReject    host -> joiner          u32 nonce, i32 result (DPERR_NOSESSIONS,
//                                           DPERR_NONEWPLAYERS)
//   6 Control       both ways, in session   u32 sequence, u8 kind, then by kind:
//                     1 PlayerCreated  player info
//                     2 PlayerDestroyed u32 id
//                     3 SessionDesc    session info
//                     4 Leave          u8 migrate (1: the receiver is the host from now on)
//   7 ControlAck    both ways, in session   u32 sequence
//   8 Data          both ways, in session   u32 from, u32 to, 1.. payload bytes
//   9 KeepAlive     both ways, in session   nothing more
//  10 AuthHello     joiner -> host port     u32 nonce, GUID instance, 16 random bytes,
//                                           32-byte group element (a session with a passphrase)
//  11 AuthReply     host -> joiner          u32 nonce, 32-byte group element, 32-byte tag
//  12 AuthConfirm   joiner -> host          u32 nonce, 32-byte tag
//  13 Sealed        both ways, in session   u64 counter, then one complete message of the
//                                           kinds above, encrypted and authenticated (at
//                                           least kSealTagBytes + kHeaderSize bytes)
//
//   session info   u32 flags, u32 max players (1..2), u32 current players (0..2), name
//   player info    u32 id (not 0, not 0xFFFFFFFF), short name, long name
//
// Control messages are delivered once and in order: each side numbers its own from 1, sends
// one at a time and repeats it until the ControlAck with its number arrives; a receiver acts
// on the next number only and acknowledges anything up to it again. Data and keep-alives are
// sent once. Each side sends a KeepAlive after an interval in which it sent nothing else to
// the partner, and counts the partner as gone after a longer interval with nothing from it.
//
// A session with a passphrase replaces JoinRequest/JoinAccept by the three Auth messages (see
// DPlayGuard.h) and, once they have been exchanged, sends every message of either side only
// inside a Sealed message; an open session never uses types 10 to 13.
//
// A message is dropped when it is shorter or longer than its fields, has a wrong magic,
// version, type or reserved field, a name that is too long or holds a zero byte, counts out
// of range, or a payload above the connection's limit.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "net/DirectPlay.h"

namespace dpwire {

inline constexpr std::uint32_t kMagic = 0x5044564Bu;
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::uint16_t kNoName = 0xFFFF;

inline constexpr DWORD kMaxUdpPayload = 65000;
inline constexpr DWORD kMaxTcpPayload = 1u << 20;
// The largest message of any kind but Sealed (a Data message with the largest TCP payload).
inline constexpr std::size_t kMaxMessage = kMaxTcpPayload + kHeaderSize + 8;
inline constexpr std::size_t kRandomBytes = 16;
inline constexpr std::size_t kPointBytes = 32;
inline constexpr std::size_t kTagBytes = 32;
inline constexpr std::size_t kSealTagBytes = 16;
// The largest Sealed message: header, counter, the largest inner message and its tag.
inline constexpr std::size_t kMaxWire = kHeaderSize + 8 + kMaxMessage + kSealTagBytes;

enum class Type : std::uint8_t {
    EnumRequest = 1,
    EnumReply,
    JoinRequest,
    JoinAccept,
    JoinReject,
    Control,
    ControlAck,
    Data,
    KeepAlive,
    AuthHello,
    AuthReply,
    AuthConfirm,
    Sealed
};
enum class ControlKind : std::uint8_t { PlayerCreated = 1, PlayerDestroyed, SessionDesc, Leave };

struct SessionInfo {
    std::uint32_t flags = 0;
    std::uint32_t maxPlayers = 2;
    std::uint32_t currentPlayers = 0;
    std::string name;
};

struct PlayerInfo {
    DPID id = 0;
    std::optional<std::string> shortName;
    std::optional<std::string> longName;
};

struct EnumRequest {
    GUID application = GUID_NULL;
    std::uint32_t nonce = 0;
};
struct EnumReply {
    std::uint32_t nonce = 0;
    GUID instance = GUID_NULL;
    GUID application = GUID_NULL;
    SessionInfo session;
};
struct JoinRequest {
    std::uint32_t nonce = 0;
    GUID instance = GUID_NULL;
};
struct JoinAccept {
    std::uint32_t nonce = 0;
    GUID instance = GUID_NULL;
    GUID application = GUID_NULL;
    DPID yourPlayerId = 0;
    SessionInfo session;
    std::vector<PlayerInfo> players;
};
struct JoinReject {
    std::uint32_t nonce = 0;
    HRESULT result = DPERR_NOSESSIONS;
};
struct Control {
    std::uint32_t sequence = 0;
    ControlKind kind = ControlKind::Leave;
    PlayerInfo player;     // PlayerCreated
    DPID playerId = 0;     // PlayerDestroyed
    SessionInfo session;   // SessionDesc
    bool migrate = false;  // Leave
};
struct ControlAck {
    std::uint32_t sequence = 0;
};
// A view into the decoded buffer: valid only as long as that buffer.
struct Data {
    DPID from = 0;
    DPID to = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t size = 0;
};
struct KeepAlive {};
using Random = std::array<std::uint8_t, kRandomBytes>;
using Point = std::array<std::uint8_t, kPointBytes>;
using Tag = std::array<std::uint8_t, kTagBytes>;
struct AuthHello {
    std::uint32_t nonce = 0;
    GUID instance = GUID_NULL;
    Random random{};
    Point point{};
};
struct AuthReply {
    std::uint32_t nonce = 0;
    Point point{};
    Tag tag{};
};
struct AuthConfirm {
    std::uint32_t nonce = 0;
    Tag tag{};
};
// A view into the decoded buffer, like Data.
struct Sealed {
    std::uint64_t counter = 0;
    const std::uint8_t* box = nullptr;
    std::size_t size = 0;
};

using Body = std::variant<EnumRequest, EnumReply, JoinRequest, JoinAccept, JoinReject, Control,
                          ControlAck, Data, KeepAlive, AuthHello, AuthReply, AuthConfirm, Sealed>;

struct Message {
    std::uint32_t key = 0;
    Body body;
};

// Decodes one complete message; std::nullopt for anything malformed. maxPayload is the
// connection's limit for Data payloads.
std::optional<Message> Decode(const std::uint8_t* bytes, std::size_t size, DWORD maxPayload);

// Encodes one message. Names and counts must already be within the limits above.
std::vector<std::uint8_t> Encode(const Message& message);

// The type of an encoded message (its header must be valid): lets the sender tell data and
// keep-alives from session control.
std::optional<Type> PeekType(const std::uint8_t* bytes, std::size_t size);

bool NameIsValid(const char* name);

}  // namespace dpwire

// Encoding and bounds-checked decoding of the session layer's messages.
#include "net/DPlayWire.h"

#include <cstring>

namespace dpwire {
namespace {

class Writer {
public:
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void Guid(const GUID& g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        for (std::uint8_t b : g.Data4) U8(b);
    }
    void Name(const std::optional<std::string>& name) {
        if (!name) {
            U16(kNoName);
            return;
        }
        U16(static_cast<std::uint16_t>(name->size()));
        Raw(reinterpret_cast<const std::uint8_t*>(name->data()), name->size());
    }
    void Raw(const std::uint8_t* p, std::size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    template <std::size_t N>
    void Bytes(const std::array<std::uint8_t, N>& a) {
        Raw(a.data(), N);
    }
    void Session(const SessionInfo& s) {
        U32(s.flags);
        U32(s.maxPlayers);
        U32(s.currentPlayers);
        Name(s.name);
    }
    void Player(const PlayerInfo& p) {
        U32(p.id);
        Name(p.shortName);
        Name(p.longName);
    }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// Every read checks the remaining length first; after the first failure all reads fail and
// return zeros, so a decoder may read on and test ok() once at the end.
class Reader {
public:
    Reader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
    bool ok() const { return ok_; }
    bool AtEnd() const { return ok_ && pos_ == n_; }
    std::size_t Remaining() const { return ok_ ? n_ - pos_ : 0; }

    std::uint8_t U8() {
        if (!Need(1)) return 0;
        return p_[pos_++];
    }
    std::uint16_t U16() {
        std::uint16_t lo = U8();
        std::uint16_t hi = U8();
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }
    std::uint32_t U32() {
        std::uint32_t lo = U16();
        std::uint32_t hi = U16();
        return lo | (hi << 16);
    }
    std::uint64_t U64() {
        std::uint64_t lo = U32();
        std::uint64_t hi = U32();
        return lo | (hi << 32);
    }
    template <std::size_t N>
    std::array<std::uint8_t, N> Bytes() {
        std::array<std::uint8_t, N> a{};
        if (!Need(N)) return a;
        std::memcpy(a.data(), p_ + pos_, N);
        pos_ += N;
        return a;
    }
    GUID Guid() {
        GUID g{};
        g.Data1 = U32();
        g.Data2 = U16();
        g.Data3 = U16();
        for (auto& b : g.Data4) b = U8();
        return g;
    }
    std::optional<std::string> Name() {
        std::uint16_t len = U16();
        if (len == kNoName) return std::nullopt;
        if (len > kMaxNameBytes || !Need(len)) {
            ok_ = false;
            return std::string();
        }
        std::string s(reinterpret_cast<const char*>(p_ + pos_), len);
        pos_ += len;
        if (s.find('\0') != std::string::npos) ok_ = false;
        return s;
    }
    const std::uint8_t* Rest(std::size_t* size) {
        *size = Remaining();
        const std::uint8_t* p = ok_ ? p_ + pos_ : nullptr;
        pos_ = n_;
        return p;
    }
    void Fail() { ok_ = false; }

    SessionInfo Session() {
        SessionInfo s;
        s.flags = U32();
        s.maxPlayers = U32();
        s.currentPlayers = U32();
        auto name = Name();
        if (!name)
            Fail();  // a session always has a name, if only an empty one
        else
            s.name = std::move(*name);
        if (s.maxPlayers < 1 || s.maxPlayers > 2 || s.currentPlayers > 2) Fail();
        return s;
    }
    PlayerInfo Player() {
        PlayerInfo p;
        p.id = U32();
        p.shortName = Name();
        p.longName = Name();
        if (p.id == 0 || p.id == DPID_UNKNOWN) Fail();
        return p;
    }

private:
    bool Need(std::size_t k) {
        if (!ok_ || n_ - pos_ < k) {
            ok_ = false;
            return false;
        }
        return true;
    }

    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

bool InSession(Type t) {
    return t == Type::Control || t == Type::ControlAck || t == Type::Data || t == Type::KeepAlive ||
           t == Type::Sealed;
}

std::optional<Body> DecodeBody(Type type, Reader& r, DWORD maxPayload) {
    switch (type) {
        case Type::EnumRequest: {
            EnumRequest m;
            m.application = r.Guid();
            m.nonce = r.U32();
            return m;
        }
        case Type::EnumReply: {
            EnumReply m;
            m.nonce = r.U32();
            m.instance = r.Guid();
            m.application = r.Guid();
            m.session = r.Session();
            return m;
        }
        case Type::JoinRequest: {
            JoinRequest m;
            m.nonce = r.U32();
            m.instance = r.Guid();
            return m;
        }
        case Type::JoinAccept: {
            JoinAccept m;
            m.nonce = r.U32();
            m.instance = r.Guid();
            m.application = r.Guid();
            m.yourPlayerId = r.U32();
            m.session = r.Session();
            std::uint8_t count = r.U8();
            if (count > 1) r.Fail();
            for (std::uint8_t i = 0; i < count && r.ok(); ++i) m.players.push_back(r.Player());
            if (m.yourPlayerId == 0 || m.yourPlayerId == DPID_UNKNOWN) r.Fail();
            for (const auto& p : m.players)
                if (p.id == m.yourPlayerId) r.Fail();
            return m;
        }
        case Type::JoinReject: {
            JoinReject m;
            m.nonce = r.U32();
            m.result = static_cast<HRESULT>(r.U32());
            if (m.result != DPERR_NOSESSIONS && m.result != DPERR_NONEWPLAYERS &&
                m.result != DPERR_INVALIDPASSWORD)
                r.Fail();
            return m;
        }
        case Type::Control: {
            Control m;
            m.sequence = r.U32();
            std::uint8_t kind = r.U8();
            switch (kind) {
                case 1:
                    m.player = r.Player();
                    break;
                case 2:
                    m.playerId = r.U32();
                    if (m.playerId == 0 || m.playerId == DPID_UNKNOWN) r.Fail();
                    break;
                case 3:
                    m.session = r.Session();
                    break;
                case 4: {
                    std::uint8_t migrate = r.U8();
                    if (migrate > 1) r.Fail();
                    m.migrate = migrate == 1;
                    break;
                }
                default:
                    r.Fail();
            }
            m.kind = static_cast<ControlKind>(kind);
            if (m.sequence == 0) r.Fail();
            return m;
        }
        case Type::ControlAck: {
            ControlAck m;
            m.sequence = r.U32();
            if (m.sequence == 0) r.Fail();
            return m;
        }
        case Type::Data: {
            Data m;
            m.from = r.U32();
            m.to = r.U32();
            m.payload = r.Rest(&m.size);
            if (m.from == 0 || m.to == 0 || m.from == DPID_UNKNOWN || m.to == DPID_UNKNOWN ||
                m.size == 0 || m.size > maxPayload)
                r.Fail();
            return m;
        }
        case Type::KeepAlive:
            return KeepAlive{};
        case Type::AuthHello: {
            AuthHello m;
            m.nonce = r.U32();
            m.instance = r.Guid();
            m.random = r.Bytes<kRandomBytes>();
            m.point = r.Bytes<kPointBytes>();
            return m;
        }
        case Type::AuthReply: {
            AuthReply m;
            m.nonce = r.U32();
            m.point = r.Bytes<kPointBytes>();
            m.tag = r.Bytes<kTagBytes>();
            return m;
        }
        case Type::AuthConfirm: {
            AuthConfirm m;
            m.nonce = r.U32();
            m.tag = r.Bytes<kTagBytes>();
            return m;
        }
        case Type::Sealed: {
            Sealed m;
            m.counter = r.U64();
            m.box = r.Rest(&m.size);
            if (m.counter == 0 || m.size < kSealTagBytes + kHeaderSize ||
                m.size > kMaxMessage + kSealTagBytes)
                r.Fail();
            return m;
        }
    }
    return std::nullopt;
}

Type TypeOf(const Body& body) { return static_cast<Type>(body.index() + 1); }

}  // namespace

std::optional<Type> PeekType(const std::uint8_t* bytes, std::size_t size) {
    if (bytes == nullptr || size < kHeaderSize) return std::nullopt;
    Reader r(bytes, size);
    if (r.U32() != kMagic || r.U8() != kVersion) return std::nullopt;
    std::uint8_t type = r.U8();
    if (type < 1 || type > static_cast<std::uint8_t>(Type::Sealed)) return std::nullopt;
    return static_cast<Type>(type);
}

std::optional<Message> Decode(const std::uint8_t* bytes, std::size_t size, DWORD maxPayload) {
    if (bytes == nullptr || size < kHeaderSize || size > kMaxWire) return std::nullopt;
    Reader r(bytes, size);
    if (r.U32() != kMagic || r.U8() != kVersion) return std::nullopt;
    std::uint8_t rawType = r.U8();
    if (rawType < 1 || rawType > static_cast<std::uint8_t>(Type::Sealed)) return std::nullopt;
    if (rawType != static_cast<std::uint8_t>(Type::Sealed) && size > kMaxMessage)
        return std::nullopt;
    if (r.U16() != 0) return std::nullopt;
    Message m;
    m.key = r.U32();
    Type type = static_cast<Type>(rawType);
    // In-session messages and the acceptance carry a key; the others must not.
    bool keyed = InSession(type) || type == Type::JoinAccept;
    if (keyed != (m.key != 0)) return std::nullopt;
    auto body = DecodeBody(type, r, maxPayload);
    if (!body || !r.AtEnd()) return std::nullopt;
    m.body = std::move(*body);
    return m;
}

std::vector<std::uint8_t> Encode(const Message& message) {
    Writer w;
    w.U32(kMagic);
    w.U8(kVersion);
    w.U8(static_cast<std::uint8_t>(TypeOf(message.body)));
    w.U16(0);
    w.U32(message.key);
    std::visit(
        [&w](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, EnumRequest>) {
                w.Guid(m.application);
                w.U32(m.nonce);
            } else if constexpr (std::is_same_v<T, EnumReply>) {
                w.U32(m.nonce);
                w.Guid(m.instance);
                w.Guid(m.application);
                w.Session(m.session);
            } else if constexpr (std::is_same_v<T, JoinRequest>) {
                w.U32(m.nonce);
                w.Guid(m.instance);
            } else if constexpr (std::is_same_v<T, JoinAccept>) {
                w.U32(m.nonce);
                w.Guid(m.instance);
                w.Guid(m.application);
                w.U32(m.yourPlayerId);
                w.Session(m.session);
                w.U8(static_cast<std::uint8_t>(m.players.size()));
                for (const auto& p : m.players) w.Player(p);
            } else if constexpr (std::is_same_v<T, JoinReject>) {
                w.U32(m.nonce);
                w.U32(static_cast<std::uint32_t>(m.result));
            } else if constexpr (std::is_same_v<T, Control>) {
                w.U32(m.sequence);
                w.U8(static_cast<std::uint8_t>(m.kind));
                switch (m.kind) {
                    case ControlKind::PlayerCreated:
                        w.Player(m.player);
                        break;
                    case ControlKind::PlayerDestroyed:
                        w.U32(m.playerId);
                        break;
                    case ControlKind::SessionDesc:
                        w.Session(m.session);
                        break;
                    case ControlKind::Leave:
                        w.U8(m.migrate ? 1 : 0);
                        break;
                }
            } else if constexpr (std::is_same_v<T, ControlAck>) {
                w.U32(m.sequence);
            } else if constexpr (std::is_same_v<T, Data>) {
                w.U32(m.from);
                w.U32(m.to);
                w.Raw(m.payload, m.size);
            } else if constexpr (std::is_same_v<T, AuthHello>) {
                w.U32(m.nonce);
                w.Guid(m.instance);
                w.Bytes(m.random);
                w.Bytes(m.point);
            } else if constexpr (std::is_same_v<T, AuthReply>) {
                w.U32(m.nonce);
                w.Bytes(m.point);
                w.Bytes(m.tag);
            } else if constexpr (std::is_same_v<T, AuthConfirm>) {
                w.U32(m.nonce);
                w.Bytes(m.tag);
            } else if constexpr (std::is_same_v<T, Sealed>) {
                w.U64(m.counter);
                w.Raw(m.box, m.size);
            }
        },
        message.body);
    return w.Take();
}

bool NameIsValid(const char* name) {
    if (name == nullptr) return true;
    for (DWORD i = 0; i <= kMaxNameBytes; ++i)
        if (name[i] == '\0') return true;
    return false;
}

}  // namespace dpwire

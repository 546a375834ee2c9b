// The session layer's protection: libsodium's Argon2id, ristretto255, BLAKE2b, HMAC and
// XChaCha20-Poly1305 put together.
#include "net/DPlayGuard.h"

#include <sodium.h>

#include <cstring>

namespace dpguard {

const unsigned long long kOpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
const std::size_t kMemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

namespace {

constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "KorvoCPc";
enum SubKey : std::uint64_t {
    kHostToJoiner = 1,
    kJoinerToHost = 2,
    kHostConfirm = 3,
    kJoinerConfirm = 4
};

// The instance GUID as it travels (little-endian fields), whatever the machine.
std::array<std::uint8_t, 16> GuidBytes(const GUID& g) {
    std::array<std::uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[std::size_t(i)] = std::uint8_t(g.Data1 >> (8 * i));
    b[4] = std::uint8_t(g.Data2);
    b[5] = std::uint8_t(g.Data2 >> 8);
    b[6] = std::uint8_t(g.Data3);
    b[7] = std::uint8_t(g.Data3 >> 8);
    std::memcpy(b.data() + 8, g.Data4, 8);
    return b;
}

class Hash {
public:
    explicit Hash(std::size_t outBytes) : out_(outBytes) {
        crypto_generichash_init(&state_, nullptr, 0, outBytes);
    }
    template <typename T>
    Hash& Add(const T& bytes) {
        crypto_generichash_update(&state_, reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size());
        return *this;
    }
    void Final(std::uint8_t* out) { crypto_generichash_final(&state_, out, out_); }
    ~Hash() { sodium_memzero(&state_, sizeof state_); }

private:
    crypto_generichash_state state_;
    std::size_t out_;
};

}  // namespace

SecretKey::~SecretKey() { sodium_memzero(bytes.data(), bytes.size()); }

bool Ready() {
    static const int result = sodium_init();
    return result >= 0;
}

std::optional<SecretKey> PassphraseKey(const std::string& passphrase, const GUID& instance) {
    if (!Ready()) return std::nullopt;
    static_assert(crypto_pwhash_SALTBYTES == 16);
    const auto salt = GuidBytes(instance);
    SecretKey w;
    if (crypto_pwhash(w.bytes.data(), w.bytes.size(), passphrase.data(), passphrase.size(),
                      salt.data(), kOpsLimit, kMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return std::nullopt;
    return w;
}

// --- The handshake -----------------------------------------------------------------------

Handshake::~Handshake() {
    sodium_memzero(scalar_.data(), scalar_.size());
    sodium_memzero(transcript_.data(), transcript_.size());
}

bool Handshake::Generator(const SecretKey& w, const GUID& instance,
                          std::array<std::uint8_t, 32>& g) {
    std::array<std::uint8_t, crypto_core_ristretto255_HASHBYTES> h{};
    static const std::string label = "KorvoCPace1";
    Hash(h.size()).Add(label).Add(w.bytes).Add(GuidBytes(instance)).Add(random_).Final(h.data());
    const bool ok = crypto_core_ristretto255_from_hash(g.data(), h.data()) == 0;
    sodium_memzero(h.data(), h.size());
    return ok;
}

bool Handshake::StartAsJoiner(const SecretKey& w, const GUID& instance) {
    if (!Ready()) return false;
    done_ = false;
    instance_ = instance;
    randombytes_buf(random_.data(), random_.size());
    std::array<std::uint8_t, 32> g{};
    if (!Generator(w, instance, g)) return false;
    crypto_core_ristretto255_scalar_random(scalar_.data());
    if (crypto_scalarmult_ristretto255(own_.data(), scalar_.data(), g.data()) != 0) return false;
    joinerPoint_ = own_;
    return true;
}

bool Handshake::AnswerHello(const SecretKey& w, const GUID& instance,
                            const dpwire::Random& joinerRandom, const dpwire::Point& joinerPoint) {
    if (!Ready()) return false;
    done_ = false;
    instance_ = instance;
    random_ = joinerRandom;
    if (crypto_core_ristretto255_is_valid_point(joinerPoint.data()) != 1) return false;
    std::array<std::uint8_t, 32> g{};
    if (!Generator(w, instance, g)) return false;
    crypto_core_ristretto255_scalar_random(scalar_.data());
    if (crypto_scalarmult_ristretto255(own_.data(), scalar_.data(), g.data()) != 0) return false;
    hostPoint_ = own_;
    joinerPoint_ = joinerPoint;
    return Finish(joinerPoint, true);
}

bool Handshake::TakeReply(const dpwire::Point& hostPoint) {
    hostPoint_ = hostPoint;
    return Finish(hostPoint, false);
}

bool Handshake::Finish(const dpwire::Point& other, bool /*host*/) {
    if (crypto_core_ristretto255_is_valid_point(other.data()) != 1) return false;
    std::array<std::uint8_t, 32> z{};
    // Fails for the neutral element, which a stranger could send to force a known Z.
    if (crypto_scalarmult_ristretto255(z.data(), scalar_.data(), other.data()) != 0) return false;
    static const std::string label = "KorvoKeys1";
    Hash(transcript_.size())
        .Add(label)
        .Add(z)
        .Add(GuidBytes(instance_))
        .Add(random_)
        .Add(joinerPoint_)
        .Add(hostPoint_)
        .Final(transcript_.data());
    sodium_memzero(z.data(), z.size());
    sodium_memzero(scalar_.data(), scalar_.size());
    done_ = true;
    return true;
}

namespace {
SecretKey SubKeyOf(const Key& k, std::uint64_t id) {
    SecretKey out;
    crypto_kdf_derive_from_key(out.bytes.data(), out.bytes.size(), id, kKdfContext, k.data());
    return out;
}
dpwire::Tag TagOf(const Key& transcript, std::uint64_t id) {
    const SecretKey key = SubKeyOf(transcript, id);
    dpwire::Tag tag{};
    crypto_auth(tag.data(), transcript.data(), transcript.size(), key.bytes.data());
    return tag;
}
bool Verify(const Key& transcript, std::uint64_t id, const dpwire::Tag& tag) {
    const SecretKey key = SubKeyOf(transcript, id);
    return crypto_auth_verify(tag.data(), transcript.data(), transcript.size(), key.bytes.data()) ==
           0;
}
}  // namespace

dpwire::Tag Handshake::HostTag() const { return TagOf(transcript_, kHostConfirm); }
dpwire::Tag Handshake::JoinerTag() const { return TagOf(transcript_, kJoinerConfirm); }
bool Handshake::CheckHostTag(const dpwire::Tag& tag) const {
    return done_ && Verify(transcript_, kHostConfirm, tag);
}
bool Handshake::CheckJoinerTag(const dpwire::Tag& tag) const {
    return done_ && Verify(transcript_, kJoinerConfirm, tag);
}

LinkKeys Handshake::Keys(bool host) const {
    LinkKeys k;
    k.send = SubKeyOf(transcript_, host ? kHostToJoiner : kJoinerToHost);
    k.receive = SubKeyOf(transcript_, host ? kJoinerToHost : kHostToJoiner);
    return k;
}

// --- Sealing -----------------------------------------------------------------------------

namespace {
constexpr std::size_t kOuterHead = dpwire::kHeaderSize + 8;  // header and counter
static_assert(crypto_aead_xchacha20poly1305_ietf_ABYTES == dpwire::kSealTagBytes);

std::array<std::uint8_t, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES> NonceOf(std::uint64_t c) {
    std::array<std::uint8_t, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES> n{};
    for (int i = 0; i < 8; ++i) n[std::size_t(i)] = std::uint8_t(c >> (8 * i));
    return n;
}
}  // namespace

std::vector<std::uint8_t> Channel::Seal(const std::vector<std::uint8_t>& inner,
                                        std::uint32_t linkKey) {
    const std::uint64_t counter = ++sent_;
    std::vector<std::uint8_t> out =
        dpwire::Encode(dpwire::Message{linkKey, dpwire::Sealed{counter, nullptr, 0}});
    out.resize(kOuterHead + inner.size() + dpwire::kSealTagBytes);
    const auto nonce = NonceOf(counter);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kOuterHead, &written, inner.data(),
                                               inner.size(), out.data(), kOuterHead, nullptr,
                                               nonce.data(), keys_.send.bytes.data());
    out.resize(kOuterHead + std::size_t(written));
    return out;
}

std::optional<std::vector<std::uint8_t>> Channel::Open(const std::uint8_t* message,
                                                       std::size_t size,
                                                       const dpwire::Sealed& sealed) {
    if (size < kOuterHead + dpwire::kSealTagBytes || sealed.box != message + kOuterHead ||
        sealed.size != size - kOuterHead || !Fresh(sealed.counter))
        return std::nullopt;
    std::vector<std::uint8_t> inner(sealed.size - dpwire::kSealTagBytes);
    const auto nonce = NonceOf(sealed.counter);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(inner.data(), &written, nullptr, sealed.box,
                                                   sealed.size, message, kOuterHead, nonce.data(),
                                                   keys_.receive.bytes.data()) != 0)
        return std::nullopt;
    inner.resize(std::size_t(written));
    Mark(sealed.counter);
    return inner;
}

bool Channel::Fresh(std::uint64_t counter) const {
    if (counter > top_) return true;
    const std::uint64_t back = top_ - counter;
    if (back >= 64) return false;
    return ((seen_ >> back) & 1u) == 0;
}

void Channel::Mark(std::uint64_t counter) {
    if (counter > top_) {
        const std::uint64_t shift = counter - top_;
        seen_ = shift >= 64 ? 0 : seen_ << shift;
        seen_ |= 1u;
        top_ = counter;
    } else {
        seen_ |= std::uint64_t(1) << (top_ - counter);
    }
}

}  // namespace dpguard

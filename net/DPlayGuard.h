// The session layer's protection: the passphrase key, the join handshake, sealing and the replay
// window.
#pragma once

// A session with a passphrase is joined with CPace, a password-authenticated key exchange,
// built from libsodium's primitives only:
//
//   w   = crypto_pwhash (Argon2id, kOpsLimit/kMemLimit), of the passphrase salted with the
//         session's instance GUID; the host computes it once when it creates the session, the
//         joiner before it starts the join
//   G   = crypto_core_ristretto255_from_hash(BLAKE2b-512("KorvoCPace1", w, instance, r_g))
//         where r_g is the joiner's fresh 16 random bytes: a group element that only someone
//         who knows w can name, and whose discrete logarithm nobody knows
//   Y_g = y_g * G, Y_h = y_h * G for fresh random scalars; Z = y_g * Y_h = y_h * Y_g
//   K   = BLAKE2b-256(Z, instance, r_g, Y_g, Y_h); from K with crypto_kdf: one AEAD key per
//         direction and one confirmation key per side
//   tag = HMAC-SHA-512-256 (crypto_auth) over the transcript hash, with the side's key
//
//   joiner -> host   AuthHello   {nonce, instance, r_g, Y_g}
//   host -> joiner   AuthReply   {nonce, Y_h, host tag}
//   joiner -> host   AuthConfirm {nonce, joiner tag}
//   host -> joiner   Sealed(JoinAccept)   and from here on every message is Sealed
//
// The passphrase and w never travel. Y_g and Y_h are uniformly random group elements whatever
// the passphrase, so a recording reveals nothing to test a guess against; an active stranger
// learns from one exchange only whether one guessed passphrase was right (and each guess
// costs it a full Argon2id run).
//
// Sealed messages use crypto_aead_xchacha20poly1305_ietf with the direction's key; the
// nonce is the 64-bit message counter (never repeated under one key), and the header and the
// counter are authenticated with the message. The receiver keeps a 64-message window: a
// counter seen before, or older than the window, is dropped.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/DPlayWire.h"
#include "net/DirectPlay.h"

namespace dpguard {

// The Argon2id limits: libsodium's "interactive" pair (2 passes over 64 MiB).
extern const unsigned long long kOpsLimit;
extern const std::size_t kMemLimit;

using Key = std::array<std::uint8_t, 32>;

// Wipes its bytes when it goes.
struct SecretKey {
    Key bytes{};
    SecretKey() = default;
    explicit SecretKey(const Key& k) : bytes(k) {}
    SecretKey(const SecretKey&) = default;
    SecretKey& operator=(const SecretKey&) = default;
    ~SecretKey();
};

// False when libsodium cannot start (then no session with a passphrase can be made).
bool Ready();

// The memory-hard key of a passphrase for one session; nullopt when the derivation fails
// (out of memory).
std::optional<SecretKey> PassphraseKey(const std::string& passphrase, const GUID& instance);

// The keys of one protected link, from the point of view of one side.
struct LinkKeys {
    SecretKey send, receive;
};

// One run of the handshake on either side.
class Handshake {
public:
    // The joiner's side: a fresh random value and scalar. False if libsodium fails.
    bool StartAsJoiner(const SecretKey& w, const GUID& instance);
    // The host's side, from a joiner's hello. False if the joiner's element is not a valid
    // group element or is the neutral element.
    bool AnswerHello(const SecretKey& w, const GUID& instance, const dpwire::Random& joinerRandom,
                     const dpwire::Point& joinerPoint);
    // The joiner's side, from the host's reply: false if the element is invalid.
    bool TakeReply(const dpwire::Point& hostPoint);

    const dpwire::Random& JoinerRandom() const { return random_; }
    const dpwire::Point& OwnPoint() const { return own_; }
    dpwire::Tag HostTag() const;
    dpwire::Tag JoinerTag() const;
    // Constant-time comparisons against the tag the other side must have sent.
    bool CheckHostTag(const dpwire::Tag& tag) const;
    bool CheckJoinerTag(const dpwire::Tag& tag) const;
    LinkKeys Keys(bool host) const;
    ~Handshake();

private:
    bool Generator(const SecretKey& w, const GUID& instance, std::array<std::uint8_t, 32>& g);
    bool Finish(const dpwire::Point& other, bool host);

    GUID instance_ = GUID_NULL;
    dpwire::Random random_{};
    std::array<std::uint8_t, 32> scalar_{};
    dpwire::Point own_{}, joinerPoint_{}, hostPoint_{};
    Key transcript_{};  // K
    bool done_ = false;
};

// Seals outgoing messages of one direction and opens incoming ones of the other.
class Channel {
public:
    explicit Channel(const LinkKeys& keys) : keys_(keys) {}
    // The Sealed message that carries `inner` (a complete encoded message), under link key
    // `linkKey` in its header.
    std::vector<std::uint8_t> Seal(const std::vector<std::uint8_t>& inner, std::uint32_t linkKey);
    // The inner message of a Sealed message (whole, as received) whose body was decoded as
    // `sealed`; nullopt when it is forged, damaged, replayed or too old. Only an opened
    // message moves the window.
    std::optional<std::vector<std::uint8_t>> Open(const std::uint8_t* message, std::size_t size,
                                                  const dpwire::Sealed& sealed);
    std::uint64_t Sent() const { return sent_; }

private:
    bool Fresh(std::uint64_t counter) const;
    void Mark(std::uint64_t counter);

    LinkKeys keys_;
    std::uint64_t sent_ = 0;
    std::uint64_t top_ = 0;   // highest counter opened
    std::uint64_t seen_ = 0;  // bit i: counter top_ - i was opened
};

}  // namespace dpguard

// The session layer's limits on strangers: session requests per computer and socket, and guesses
// at the passphrase per computer and per session.
#pragma once

#include <chrono>
#include <cstdint>
#include <unordered_map>
#include <vector>

using Clock = std::chrono::steady_clock;

// A token bucket: `burst` at once, then `rate` a second.
struct Bucket {
    double tokens = 0;
    Clock::time_point last;
    // Adds what has dripped in since `last`; returns the tokens now held.
    double Refill(double rate, double burst, Clock::time_point now);
};

// Buckets of one kind keyed by computer (IPv4 address). The table is bounded, but a newcomer
// always gets a place: a computer whose bucket has filled again is the same as an unknown one
// and goes first; failing that, the one with the most tokens left gives way. Only requests
// that are answered make or change an entry, so refused requests cost nobody a place.
class AddressBuckets {
public:
    AddressBuckets(double rate, double burst) : rate_(rate), burst_(burst) {}
    // The tokens `ip` holds now (burst for an unknown computer); nothing is stored.
    double Tokens(std::uint32_t ip, Clock::time_point now);
    // Takes one token from `ip`'s bucket (the caller has checked that it holds one).
    void Take(std::uint32_t ip, Clock::time_point now);
    // Gives one token back, up to the burst.
    void Refund(std::uint32_t ip, Clock::time_point now);
    std::size_t Size() const { return buckets_.size(); }
    bool Known(std::uint32_t ip) const { return buckets_.count(ip) != 0; }

private:
    Bucket& Place(std::uint32_t ip, Clock::time_point now);

    double rate_, burst_;
    std::unordered_map<std::uint32_t, Bucket> buckets_;
};

// Session requests (searches, joins, handshakes). A computer may ask 25 times a second, however
// many sockets it uses; within that, one socket 5 times a second (a search asks every 0.7 s, a
// join every 0.3 s), so that one flooding socket does not starve another program on the same
// computer. A computer's sockets are remembered in a small list of its own: thousands of ports
// of one computer take one place in the table, not thousands.
class RequestLimits {
public:
    // False when the request is to go unanswered.
    bool Allow(std::uint32_t ip, std::uint16_t port, Clock::time_point now);
    std::size_t Computers() const { return computers_.Size(); }

private:
    struct Socket {
        std::uint16_t port = 0;
        Bucket bucket;
    };
    AddressBuckets computers_{kAddressRate, kAddressBurst};
    std::unordered_map<std::uint32_t, std::vector<Socket>> sockets_;
    static constexpr double kAddressRate = 25, kAddressBurst = 25;
    static constexpr double kSocketRate = 5, kSocketBurst = 5;
    static constexpr std::size_t kSocketsPerComputer = 8;
};

// Guesses at the passphrase. Every answered handshake is a guess (the joiner can test the host's
// tag against its passphrase without confirming), so each counts as failed until it is
// confirmed with the right passphrase. One computer gets ten at once, then one every six
// seconds; the session as a whole a dozen at once and then as slowly, whatever the address, so
// that guessing from many addresses gains nothing. The session's last guess is kept for a
// computer that has not guessed lately: a person typing the right passphrase still gets in
// while strangers guess.
class GuessLimits {
public:
    // Whether a new handshake from `ip` may be answered; when it may, it is counted.
    bool Start(std::uint32_t ip, Clock::time_point now);
    // The handshake was confirmed with the right passphrase: it was no guess.
    void Confirmed(std::uint32_t ip, Clock::time_point now);
    void Reset();

private:
    static constexpr double kRate = 1.0 / 6, kBurst = 10;
    static constexpr double kSessionBurst = 12, kKeptForNewcomers = 1;
    AddressBuckets computers_{kRate, kBurst};
    Bucket session_{kSessionBurst, {}};
};

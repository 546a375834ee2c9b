// Keeping two copies' drawings equal: the drawing sent on join, changes by element identity,
// and the comparison of digests.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

#include "window/SyncRecords.h"

class DrawingStore;

// Both copies hold the same elements under the same identities. A change travels as what it
// did to the drawing: deletions of identities and additions of new elements with identities
// of their maker's site. Deleting is idempotent and an identity once deleted never comes back,
// so each drawing is "every element added, less every identity deleted", whatever the order in
// which the two users' changes arrive: once each side has applied the other's changes the two
// are equal. Two edits of the same element both delete it and both add their results, so
// neither user's result is lost; the user sees both and can remove one.
//
// The protocol is agreed at join: the host sends kHello; the guest, once its user agrees,
// clears its drawing and sends kRequest; the host gives its elements new identities of its own
// site and sends them in chunks, paced by the guest's kReceived. Until then, and always with a
// copy that sends no kHello, the designed share records are used.
class DrawingSync {
public:
    enum class Phase {
        Off,        // no partner, or one that does not keep drawings by identity
        Offered,    // this copy offers it; the partner has not agreed (yet)
        Waiting,    // guest: kRequest sent, the host's kBegin not yet here
        Receiving,  // guest: the host's elements are arriving
        InSync,     // changes travel by identity
    };
    static constexpr uint32_t kHostSite = 1, kGuestSite = 2;
    static constexpr int kChunksAhead = 8;  // chunks in flight before the guest confirms
    static constexpr int kRequestPatienceTicks = 5;

    explicit DrawingSync(DrawingStore& store);

    // Whether this copy offers the protocol (a copy without it is what a test turns it off for).
    bool offer = true;

    // ---- Set by the window ----
    // Sends one block to the partner; guaranteed asks for confirmed delivery.
    std::function<bool(const std::vector<uint8_t>& block, bool guaranteed)> send;
    // Guest: the host offers its drawing. The window asks its user and calls Accept or leaves.
    std::function<void()> hostOffers;
    // Guest: elements of the host's drawing taken so far, of total.
    std::function<void(int64_t done, int64_t total)> progress;
    // Guest: the host's drawing is complete.
    std::function<void()> complete;
    // The digests say the drawings differ.
    std::function<void()> disagree;
    // Guest: the request went unanswered; the window takes the host's drawing anew (Accept
    // when unset).
    std::function<void()> retake;

    void Start(bool isHost);
    void Stop();
    // Guest: clears the drawing and asks the host for its own.
    void Accept();
    // A free data block from the partner; false when it is not one of ours.
    bool Take(const uint8_t* data, size_t size);
    // Whether local changes travel as identity records rather than the designed records.
    bool Shares() const {
        return phase_ == Phase::Waiting || phase_ == Phase::Receiving || phase_ == Phase::InSync;
    }
    // Whether the designed share records from the partner still apply to the drawing.
    bool TakesDesignedRecords() const { return !Shares(); }
    // A local change, from the store's share hooks: type is a record type, index the slot.
    void Local(char type, int32_t index);
    // Sends the digest of the drawing, with the counts of changes it covers.
    void SendDigest();
    // Once a second: chunks that could not go are tried again; every fifth tick the digest.
    void Tick();

    Phase phase() const { return phase_; }
    bool isHost() const { return isHost_; }
    bool Transferring() const { return phase_ == Phase::Receiving || !snapshot_.empty(); }
    int64_t refused() const { return refused_; }
    uint64_t changesSent() const { return sent_; }
    uint64_t changesReceived() const { return received_; }

    // The drawing's digest: a sum of one hash per alive element (identity, style and every
    // value bit for bit), so that it does not depend on slots or order.
    static uint64_t Digest(const DrawingStore& store);

private:
    struct Item {
        char type;  // kLineAdd, kCircleAdd or kText
        int32_t index;
        uint64_t id;
    };
    bool SendBlock(const syncwire::Writer& w, bool guaranteed);
    void SendHello();
    void SendSnapshot();
    void Pump();
    void Apply(const syncwire::ElementRecord& e);
    void TakeElements(syncwire::Reader& r, bool snapshot);
    void TakeDigest(syncwire::Reader& r);
    void Reset();

    DrawingStore& store_;
    Phase phase_ = Phase::Off;
    bool isHost_ = false;
    std::unordered_set<uint64_t> deleted_;  // identities deleted while in sync
    uint64_t sent_ = 0, received_ = 0;      // changes since the drawings were made equal
    int64_t refused_ = 0;
    // Host: the drawing being sent.
    std::vector<Item> snapshot_;
    size_t next_ = 0;
    uint32_t chunksSent_ = 0, chunksTaken_ = 0;
    // Guest: the drawing being received.
    int64_t total_ = 0, done_ = 0;
    // The comparison: a partner's count of changes not yet all here, seen once.
    uint64_t missingSince_ = UINT64_MAX;
    bool toldDisagree_ = false;
    int ticks_ = 0;
    bool helloDue_ = false;
    int waitingTicks_ = 0;
    // The guest's latest request, and on the host the one being answered: every block of a
    // transfer names it.
    uint32_t request_ = 0;
};

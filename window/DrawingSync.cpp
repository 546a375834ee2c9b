// Keeping two copies' drawings equal: the protocol agreed at join, the drawing sent in chunks,
// changes applied by identity, and the digest comparison.
#include "window/DrawingSync.h"

#include <algorithm>
#include <cstring>

#include "model/DrawingStore.h"
#include "model/UndoJournal.h"

using namespace syncwire;

namespace {

// splitmix64's finaliser: every input bit moves every output bit.
uint64_t Mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint64_t HashBytes(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        h = Mix(h ^ w);
    }
    uint64_t tail = bytes.size();
    for (; i < bytes.size(); ++i) tail = (tail << 8) | bytes[i];
    return Mix(h ^ tail);
}

}  // namespace

DrawingSync::DrawingSync(DrawingStore& store) : store_(store) {}

uint64_t DrawingSync::Digest(const DrawingStore& s) {
    uint64_t sum = 0;
    for (int32_t i = 0; i <= s.lineTop && i <= s.lineAlloc; ++i)
        if (s.line(i).alive) {
            Writer w(kOps);
            PutLine(w, kLineAdd, s.lineId(i), s.line(i));
            sum += HashBytes(w.bytes());
        }
    for (int32_t i = 0; i <= s.circleTop && i <= s.circleAlloc; ++i)
        if (s.circle(i).alive) {
            Writer w(kOps);
            PutCircle(w, kCircleAdd, s.circleId(i), s.circle(i));
            sum += HashBytes(w.bytes());
        }
    for (int32_t i = 0; i < s.textCount; ++i)
        if (s.text(i).alive) {
            Writer w(kOps);
            PutText(w, s.text(i));
            sum += HashBytes(w.bytes());
        }
    return sum;
}

bool DrawingSync::SendBlock(const Writer& w, bool guaranteed) {
    return send && send(w.bytes(), guaranteed);
}

void DrawingSync::Reset() {
    deleted_.clear();
    sent_ = received_ = 0;
    snapshot_.clear();
    next_ = 0;
    chunksSent_ = chunksTaken_ = 0;
    total_ = done_ = 0;
    missingSince_ = UINT64_MAX;
    toldDisagree_ = false;
    ticks_ = 0;
    helloDue_ = false;
    waitingTicks_ = 0;
}

void DrawingSync::Start(bool isHost) {
    Reset();
    isHost_ = isHost;
    phase_ = offer ? Phase::Offered : Phase::Off;
    // Only the host says it: the guest answers with its request. A hello that cannot go yet
    // (the partner may not have taken our arrival) goes on a later tick.
    helloDue_ = offer && isHost;
    SendHello();
}

void DrawingSync::SendHello() {
    if (!helloDue_) return;
    Writer w(kHello);
    w.U32(kVersion);
    if (SendBlock(w, true)) helloDue_ = false;
}

void DrawingSync::Stop() {
    Reset();
    phase_ = Phase::Off;
}

void DrawingSync::Accept() {
    if (isHost_ || phase_ == Phase::Off) return;
    Reset();
    // What arrives from now until the host's drawing begins is in that drawing already.
    store_.ClearStore();
    store_.RenumberIds(kGuestSite);
    phase_ = Phase::Waiting;
    Writer w(kRequest);
    w.U32(++request_);
    SendBlock(w, true);
}

bool DrawingSync::Take(const uint8_t* data, size_t size) {
    Reader r(data, size);
    const uint8_t kind = r.Kind();
    if (kind == 0) return false;
    if (!offer) return true;  // a copy without the protocol ignores it
    switch (kind) {
        case kHello:
            if (r.U32() >= kVersion && !isHost_ && phase_ == Phase::Offered && hostOffers)
                hostOffers();
            break;
        case kRequest:
            if (isHost_ && phase_ != Phase::Off) {
                request_ = r.U32();
                SendSnapshot();
            }
            break;
        case kBegin:
            // Only the answer to the latest request: an earlier one went to a drawing
            // that has been cleared since.
            if (!isHost_ && phase_ == Phase::Waiting && r.U32() == request_) {
                total_ = int64_t(std::min<uint64_t>(r.U64(), uint64_t(INT64_MAX)));
                done_ = 0;
                phase_ = Phase::Receiving;
                if (progress) progress(0, total_);
            }
            break;
        case kElements:
            if (!isHost_ && phase_ == Phase::Receiving && r.U32() == request_) {
                const uint32_t chunk = r.U32();
                TakeElements(r, true);
                Writer w(kReceived);
                w.U32(request_);
                w.U32(chunk);
                SendBlock(w, true);
                if (progress) progress(done_, total_);
            }
            break;
        case kEnd:
            if (!isHost_ && phase_ == Phase::Receiving && r.U32() == request_) {
                phase_ = Phase::InSync;
                if (complete) complete();
            }
            break;
        case kReceived:
            if (isHost_ && r.U32() == request_) {
                chunksTaken_ = std::max(chunksTaken_, r.U32() + 1);
                Pump();
            }
            break;
        case kOps:
            // Before the host's drawing begins, the host's changes are part of it. The host
            // takes a guest's changes from the guest's request on, and also before it, in
            // case the request was lost: the next request brings them back to the guest.
            if (isHost_ ? phase_ != Phase::Off
                        : phase_ == Phase::Receiving || phase_ == Phase::InSync)
                TakeElements(r, false);
            break;
        case kDigest:
            TakeDigest(r);
            break;
        default:
            break;
    }
    return true;
}

void DrawingSync::SendSnapshot() {
    // A request again (after the digests differed) starts over: identities the guest held
    // are gone with its drawing.
    Reset();
    store_.RenumberIds(kHostSite);
    phase_ = Phase::InSync;
    const DrawingStore& s = store_;
    for (int32_t i = 0; i <= s.lineTop && i <= s.lineAlloc; ++i)
        if (s.line(i).alive) snapshot_.push_back({kLineAdd, i, s.lineId(i)});
    for (int32_t i = 0; i <= s.circleTop && i <= s.circleAlloc; ++i)
        if (s.circle(i).alive) snapshot_.push_back({kCircleAdd, i, s.circleId(i)});
    for (int32_t i = 0; i < s.textCount; ++i)
        if (s.text(i).alive) snapshot_.push_back({kText, i, 0});
    Writer w(kBegin);
    w.U32(request_);
    w.U64(snapshot_.size());
    SendBlock(w, true);
    Pump();
}

void DrawingSync::Pump() {
    const DrawingStore& s = store_;
    while (next_ < snapshot_.size() && chunksSent_ < chunksTaken_ + kChunksAhead) {
        Writer w(kElements);
        w.U32(request_);
        w.U32(chunksSent_);
        const size_t countAt = w.size();
        w.U32(0);
        uint32_t count = 0;
        size_t i = next_;
        for (; i < snapshot_.size() && w.size() < kChunkBytes; ++i) {
            const Item& it = snapshot_[i];
            // An element deleted since the request went with a deletion of its identity,
            // and its slot may hold another element now: it is left out.
            if (it.type == kLineAdd) {
                if (!s.line(it.index).alive || s.lineId(it.index) != it.id) continue;
                PutLine(w, kLineAdd, it.id, s.line(it.index));
            } else if (it.type == kCircleAdd) {
                if (!s.circle(it.index).alive || s.circleId(it.index) != it.id) continue;
                PutCircle(w, kCircleAdd, it.id, s.circle(it.index));
            } else {
                // A text longer than a chunk could not go in any block: it stays behind, and
                // the digests tell the users that the drawings differ.
                if (it.index >= s.textCount || !s.text(it.index).alive ||
                    s.text(it.index).text.size() > kChunkBytes)
                    continue;
                PutText(w, s.text(it.index));
            }
            ++count;
        }
        w.PatchU32(countAt, count);
        if (!SendBlock(w, true)) return;  // tried again on the next tick
        next_ = i;
        ++chunksSent_;
    }
    if (next_ >= snapshot_.size() && !snapshot_.empty()) {
        Writer end(kEnd);
        end.U32(request_);
        if (!SendBlock(end, true)) return;
        snapshot_.clear();
        next_ = 0;
    } else if (snapshot_.empty() && chunksSent_ == 0 && next_ == 0) {
        // An empty drawing: the end follows the beginning at once.
        Writer end(kEnd);
        end.U32(request_);
        if (SendBlock(end, true)) chunksSent_ = 1;
    }
}

void DrawingSync::TakeElements(Reader& r, bool snapshot) {
    const uint32_t count = r.U32();
    ElementRecord e;
    // The host's drawing goes in without being drawn or journalled one element at a time:
    // the window redraws it as it grows, and undo never reaches into it.
    ElementPainter* const painter = store_.renderer;
    UndoJournal* const journal = store_.journal;
    if (snapshot) {
        store_.renderer = nullptr;
        store_.journal = nullptr;
    }
    for (uint32_t k = 0; k < count && r.ok(); ++k) {
        if (!GetRecord(r, e)) break;
        if (!snapshot) ++received_;
        if (!Storable(e) || (!snapshot && e.type == kText)) {
            ++refused_;
            continue;
        }
        Apply(e);
        if (snapshot) ++done_;
    }
    store_.renderer = painter;
    store_.journal = journal;
}

void DrawingSync::Apply(const ElementRecord& e) {
    DrawingStore& s = store_;
    switch (e.type) {
        case kLineAdd: {
            if (deleted_.count(e.id) || s.FindLine(e.id, e.line) >= 0) return;
            if (s.currentLine().alive) return;  // the table could not grow
            // The partner's style goes in through the current slot; the user's own comes
            // back for what the user draws next.
            const LineElement own = s.currentLine();
            s.currentLine().colour = e.line.colour;
            s.currentLine().penWidth = e.line.penWidth;
            s.AdoptId(e.id);
            s.AddLine(e.line.x1, e.line.y1, e.line.x2, e.line.y2, 0);
            s.AdoptId(0);
            s.currentLine().colour = own.colour;
            s.currentLine().penWidth = own.penWidth;
            return;
        }
        case kCircleAdd: {
            if (deleted_.count(e.id) || s.FindCircle(e.id, e.circle) >= 0) return;
            if (s.currentCircle().alive) return;
            const CircleElement own = s.currentCircle();
            CircleElement& c = s.currentCircle();
            c.colour = e.circle.colour;
            c.penWidth = e.circle.penWidth;
            c.fillStyle = e.circle.fillStyle;
            c.fillColour = e.circle.fillColour;
            s.AdoptId(e.id);
            s.AddCircle(e.circle.cx, e.circle.cy, e.circle.radius, e.circle.startAngle,
                        e.circle.endAngle, 0);
            s.AdoptId(0);
            CarryCircleSettings(s.currentCircle(), own);
            return;
        }
        case kLineDelete: {
            deleted_.insert(e.id);
            const int32_t i = s.FindLine(e.id, e.line);
            if (i >= 0) s.DeleteLine(i, 0);
            return;
        }
        case kCircleDelete: {
            deleted_.insert(e.id);
            const int32_t i = s.FindCircle(e.id, e.circle);
            if (i >= 0) s.DeleteCircle(i, 0);
            return;
        }
        case kText:
            if (s.AppendText(e.text.x, e.text.y, e.text.text, e.text.height, e.text.angle) &&
                s.textCount > 0)
                s.text(s.textCount - 1).colour = e.text.colour;
            return;
        default:
            return;
    }
}

void DrawingSync::Local(char type, int32_t index) {
    if (!Shares()) return;
    Writer w(kOps);
    w.U32(1);
    const DrawingStore& s = store_;
    switch (type) {
        case kLineAdd:
        case kLineDelete:
            PutLine(w, type, s.lineId(index), s.line(index));
            if (type == kLineDelete) deleted_.insert(s.lineId(index));
            break;
        case kCircleAdd:
        case kCircleDelete:
            PutCircle(w, type, s.circleId(index), s.circle(index));
            if (type == kCircleDelete) deleted_.insert(s.circleId(index));
            break;
        default:
            return;
    }
    ++sent_;
    // Not confirmed, as the designed records are not: the connection that guarantees delivery
    // delivers it, and over the one that does not, the digests notice what was lost.
    SendBlock(w, false);
}

void DrawingSync::SendDigest() {
    if (phase_ != Phase::InSync || Transferring()) return;
    Writer w(kDigest);
    w.U64(sent_);
    w.U64(received_);
    w.U64(Digest(store_));
    SendBlock(w, false);
}

void DrawingSync::TakeDigest(Reader& r) {
    const uint64_t theirSent = r.U64(), theirReceived = r.U64(), theirDigest = r.U64();
    if (!r.ok() || phase_ != Phase::InSync || Transferring()) return;
    // The partner's digest covers our changes up to theirReceived: only when that is all we
    // sent do both digests speak of the same changes.
    if (theirReceived != sent_) return;
    bool differ = false;
    if (received_ == theirSent) {
        differ = Digest(store_) != theirDigest;
        missingSince_ = UINT64_MAX;
    } else if (received_ < theirSent) {
        // Changes sent before the digest are not here: lost, if the next digest, with
        // nothing sent in between, still finds them missing.
        differ = missingSince_ == theirSent;
        missingSince_ = theirSent;
    }
    if (!differ) {
        if (received_ == theirSent) toldDisagree_ = false;
        return;
    }
    if (toldDisagree_) return;
    toldDisagree_ = true;
    if (disagree) disagree();
}

void DrawingSync::Tick() {
    SendHello();
    // A request that brought no answer was lost (a connection without guaranteed delivery,
    // or a link that stalled): the guest asks again, from a drawing cleared again.
    if (phase_ == Phase::Waiting && ++waitingTicks_ >= kRequestPatienceTicks) {
        if (retake)
            retake();
        else
            Accept();
    }
    if (isHost_ && !snapshot_.empty()) Pump();
    if (++ticks_ % 5 == 0) SendDigest();
}

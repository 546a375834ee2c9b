// The blocks in which two copies keep one drawing: their kinds, and whole elements with their
// identities, written and read little-endian whatever the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/Elements.h"

namespace syncwire {

// Every block opens with these four bytes and its kind: a free data block of any other
// program or version is told apart by them.
inline constexpr uint32_t kMagic = 0x5344564B;  // "KVDS"
inline constexpr uint32_t kVersion = 1;
enum Kind : uint8_t {
    kHello = 1,  // u32 version: this copy keeps the drawing by identities
    // The transfer's blocks name the request they answer (u32, first).
    kRequest = 2,   // u32 request: the guest asks for the host's drawing (it cleared its own)
    kBegin = 3,     // u32 request, u64 number of elements that follow
    kElements = 4,  // u32 request, u32 chunk number, u32 count, that many element records
    kEnd = 5,       // u32 request: the whole drawing has been sent
    kOps = 6,       // u32 count, that many element records: additions and deletions
    kDigest = 7,    // u64 changes sent, u64 changes received, u64 digest
    kReceived = 8,  // u32 request, u32 chunk number: the guest has taken that chunk
};
// Element records: 'L' and 'C' add a line or circle, 'l' and 'c' delete one by its identity
// (the record is the element as it was, which leads to it), 'T' adds a text.
inline constexpr char kLineAdd = 'L', kLineDelete = 'l', kCircleAdd = 'C', kCircleDelete = 'c',
                      kText = 'T';
// A chunk stays below the largest datagram of the connection without guaranteed delivery.
inline constexpr size_t kChunkBytes = 60000;

class Writer {
public:
    explicit Writer(Kind kind);
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U32(uint32_t v);
    void U64(uint64_t v);
    void F64(double v);
    void Raw(const std::string& s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
    void PatchU32(size_t at, uint32_t v);
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Reads a block; every read past the end leaves ok false and gives zeros.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    // The kind of a block of ours, or 0 for anything else.
    uint8_t Kind();
    uint8_t U8();
    uint32_t U32();
    uint64_t U64();
    double F64();
    std::string Raw(size_t n);
    bool ok() const { return ok_; }
    size_t left() const { return ok_ ? n_ - at_ : 0; }

private:
    bool Need(size_t n);
    const uint8_t* p_;
    size_t n_;
    size_t at_ = 0;
    bool ok_ = true;
};

struct ElementRecord {
    char type = 0;
    uint64_t id = 0;
    LineElement line;
    CircleElement circle;
    TextElement text;
};

void PutLine(Writer& w, char type, uint64_t id, const LineElement& l);
void PutCircle(Writer& w, char type, uint64_t id, const CircleElement& c);
void PutText(Writer& w, const TextElement& t);
// False when the record is cut short or of an unknown type.
bool GetRecord(Reader& r, ElementRecord& e);
// What a drawing file could hold: values finite and within the file's range, colours, pen
// widths and fills as the file allows them, an identity for every line and circle.
bool Storable(const ElementRecord& e);

}  // namespace syncwire

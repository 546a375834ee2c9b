// libFuzzer target: the Tarnix import on any bytes, in one block and in chunks.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "files/TarnixReader.h"
#include "model/DrawingStore.h"
#include "tests/files/StoreDump.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckStore(const DrawingStore& store) {
    for (const LineElement& l : store.lines()) {
        if (!l.alive) continue;
        for (double v : {l.x1, l.y1, l.x2, l.y2}) Check(std::fabs(v) <= kTarnixMaxMagnitude);
    }
    for (const CircleElement& c : store.circles()) {
        if (!c.alive) continue;
        for (double v : {c.cx, c.cy, c.radius}) Check(std::fabs(v) <= kTarnixMaxMagnitude);
        for (double a : {c.startAngle, c.endAngle}) Check(a >= 0 && a < 360);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static DrawingStore whole, pieces;
    TarnixReadReport a, b;
    ImportTarnixBytes(bytes, whole, a);
    CheckStore(whole);
    const int64_t wanted = a.count > 0 ? a.count : 0;
    Check(a.records >= 0 && a.records <= wanted);
    Check(!a.complete || a.records == wanted);
    // Only a cut header or a missing record leaves an import incomplete.
    Check(a.complete || a.records < wanted || size < std::size_t(kTarnixHeaderBytes));
    for (const std::string& note : a.notes) Check(!note.empty());

    // Chunks of a size the input chooses, each in a block of its own so that a read past a
    // chunk is seen, read the same as one block.
    const std::size_t chunk = size ? 1 + data[size - 1] % 29 : 1;
    std::size_t at = 0;
    std::unique_ptr<char[]> block;
    ImportTarnixChunks(
        [&]() {
            const std::string_view c = bytes.substr(at, chunk);
            block.reset(new char[c.size() + 1]);
            std::memcpy(block.get(), c.data(), c.size());
            at += c.size();
            return std::string_view(block.get(), c.size());
        },
        pieces, b);
    Check(a.count == b.count && a.records == b.records && a.complete == b.complete &&
          a.notes == b.notes && Dump(whole) == Dump(pieces));
    return 0;
}

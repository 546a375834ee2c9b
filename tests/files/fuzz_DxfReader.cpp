// libFuzzer target: the DXF import on any bytes, and the pair reader whole against in chunks.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "files/DxfReader.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"

namespace {

// Message boxes would only fill the fuzzer's output.
class SilentPrompts final : public UserPrompts {
public:
    PromptAnswer Message(const std::string&, const std::string&, PromptButtons,
                         PromptIcon) override {
        return PromptAnswer::Ok;
    }
    std::optional<std::string> OpenFileName(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> SaveFileName(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> InputText(const std::string&, const std::string&,
                                         const std::string&) override {
        return {};
    }
};

// What reaches the store is finite and no larger than the file may give: spline samples are
// weighted means of control points, and arcs beyond the bound are drawn as lines.
void Check(double v) {
    if (!(std::fabs(v) <= kDxfMaxMagnitude * (1 + 1e-9))) std::abort();
}

bool SamePair(int code, const DxfGroupValue& a, int code2, const DxfGroupValue& b) {
    if (code != code2 || a.text != b.text || a.converted != b.converted) return false;
    if (!a.converted) return true;
    return std::memcmp(&a.real, &b.real, sizeof a.real) == 0 && a.integer == b.integer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SilentPrompts silent;
    static bool installed = (SetPrompts(&silent), true);
    (void)installed;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    DrawingStore store;
    DxfReadReport report;
    ImportDxfBytes(bytes, store, DxfReadSettings{}, report);
    if (report.entities < 0) std::abort();
    for (const std::string& note : report.notes)
        if (note.empty()) std::abort();
    for (int32_t i = 0; i <= store.lineTop; ++i) {
        const LineElement& l = store.line(i);
        if (!l.alive) continue;
        for (double v : {l.x1, l.y1, l.x2, l.y2}) Check(v);
    }
    for (int32_t i = 0; i <= store.circleTop; ++i) {
        const CircleElement& c = store.circle(i);
        if (!c.alive) continue;
        for (double v : {c.cx, c.cy, c.radius, c.startAngle, c.endAngle}) Check(v);
    }
    for (int32_t i = 0; i < DrawingStore::kTextRecords; ++i) {
        const TextElement& t = store.text(i);
        if (!t.alive) continue;
        for (double v : {t.x, t.y, t.height, t.angle}) Check(v);
    }

    // The pairs read from chunks of a size the input chooses are the pairs read in one piece.
    const std::size_t chunk = size ? 1 + data[0] % 17 : 1;
    std::size_t at = 0;
    DxfPairReader whole(bytes);
    DxfPairReader pieces([&]() {
        std::string_view c = bytes.substr(at, chunk);
        at += c.size();
        return c;
    });
    for (;;) {
        DxfGroupValue a, b;
        const int codeA = ReadGroupPair(whole, a);
        std::string text(a.text);  // the view ends with the next read
        a.text = text;
        const int codeB = ReadGroupPair(pieces, b);
        if (!SamePair(codeA, a, codeB, b)) std::abort();
        if (codeA == -1) break;
    }
    if (whole.overlongPairs != pieces.overlongPairs ||
        whole.pairsWithoutCode != pieces.pairsWithoutCode)
        std::abort();
    return 0;
}

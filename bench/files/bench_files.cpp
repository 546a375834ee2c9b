// Benchmarks of the drawing files: saving and opening the floor plan as dac and as DXF.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <random>
#include <string_view>
#include <vector>

#include "bench/support/FloorPlan.h"
#include "files/DacFile.h"
#include "files/DxfReader.h"
#include "files/DxfText.h"
#include "files/DxfWriter.h"
#include "files/TextFileIo.h"

namespace {

// The floor plan of the store benchmarks, appended once and shared.
const DrawingStore& Plan() {
    static DrawingStore store;
    static bool made = false;
    if (!made) {
        AppendFloorPlan(store);
        made = true;
    }
    return store;
}

QString TempPath(const char* name) {
    static QTemporaryDir dir;
    return dir.filePath(QString::fromUtf8(name));
}

void SaveDac(benchmark::State& state) {
    const DrawingStore& plan = Plan();
    const std::string path = TempPath("plan.dac").toStdString();
    for (auto _ : state) benchmark::DoNotOptimize(SaveDacFile(path, plan));
    state.counters["elements"] = plan.lineTop + plan.circleTop;
}
BENCHMARK(SaveDac)->Unit(benchmark::kMillisecond)->UseRealTime();

// The records alone, into a sink that only counts: the formatting without the file.
void WriteDac(benchmark::State& state) {
    const DrawingStore& plan = Plan();
    size_t bytes = 0;
    for (auto _ : state)
        WriteDacRecords(plan, [&bytes](std::string_view chunk) {
            bytes += chunk.size();
            return true;
        });
    state.SetBytesProcessed(int64_t(bytes));
}
BENCHMARK(WriteDac)->Unit(benchmark::kMillisecond)->UseRealTime();

// A million coordinates of a drawing in metres, as the records write them.
void WriteCoordinates(benchmark::State& state) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> coordinate(-2000.0, 2000.0);
    std::vector<double> values(1000000);
    for (double& v : values) v = coordinate(rng);
    char text[kMaxFixed6Chars + 1];
    for (auto _ : state)
        for (double v : values) benchmark::DoNotOptimize(WriteFixed6(text, text + sizeof text, v));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(values.size()));
}
BENCHMARK(WriteCoordinates)->Unit(benchmark::kMillisecond);

void OpenDac(benchmark::State& state) {
    const std::string path = TempPath("plan-open.dac").toStdString();
    SaveDacFile(path, Plan());
    DrawingStore store;
    for (auto _ : state) {
        std::vector<DacRecord> records;
        ReadDacFile(path, records);
        store.ClearStore();
        AppendDacRecords(store, records);
    }
    state.counters["elements"] = store.lineTop + store.circleTop;
}
BENCHMARK(OpenDac)->Unit(benchmark::kMillisecond);

void SaveDxf(benchmark::State& state) {
    const DrawingStore& plan = Plan();
    const std::string path = TempPath("plan.dxf").toStdString();
    for (auto _ : state) benchmark::DoNotOptimize(SaveDxfFile(path, plan));
}
BENCHMARK(SaveDxf)->Unit(benchmark::kMillisecond);

void OpenDxf(benchmark::State& state) {
    const std::string path = TempPath("plan-open.dxf").toStdString();
    SaveDxfFile(path, Plan());
    DrawingStore store;
    for (auto _ : state) {
        DxfReadReport report;
        ImportDxfFile(path, store, DxfReadSettings{}, report);
    }
    state.counters["elements"] = store.lineTop + store.circleTop;
}
BENCHMARK(OpenDxf)->Unit(benchmark::kMillisecond);

}  // namespace

// A hundred thousand texts, as a large drawing holds them: plain ASCII, Shift-JIS, a Western
// code page, and the export of Japanese ones.
void DecodeDxfTexts(benchmark::State& state) {
    const char* raws[] = {"ROOM 101", "\x8b\x8f\x8a\xd4 LIVING", "\xC4nderung 3"};
    const DxfTextEncoding encodings[] = {{"ANSI_932", false}, {"ANSI_932", false},
                                         {"ANSI_1252", false}};
    const int kind = int(state.range(0));
    for (auto _ : state)
        for (int i = 0; i < 100000; ++i)
            benchmark::DoNotOptimize(DecodeDxfText(raws[kind], encodings[kind]));
}
BENCHMARK(DecodeDxfTexts)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void EncodeDxfTexts(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < 100000; ++i) benchmark::DoNotOptimize(EncodeDxfText("居間 LIVING Ä"));
}
BENCHMARK(EncodeDxfTexts)->Unit(benchmark::kMillisecond);

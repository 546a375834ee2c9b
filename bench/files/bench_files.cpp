// Benchmarks of the drawing files: saving and opening the floor plan as dac and as DXF.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <vector>

#include "bench/support/FloorPlan.h"
#include "files/DacFile.h"
#include "files/DxfReader.h"
#include "files/DxfWriter.h"

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
BENCHMARK(SaveDac)->Unit(benchmark::kMillisecond);

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

// Benchmarks of the drawing store and the full redraw on a floor-plan-sized drawing.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "bench/FloorPlan.h"
#include "core/Canvas.h"
#include "core/Renderer.h"
#include "core/View.h"

namespace {

double ResidentMegabytes() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            double kb;
            in >> kb;
            return kb / 1024.0;
        }
        in.ignore(1 << 10, '\n');
    }
    return 0;
}

void AppendFloorPlanWithSnapPoints(benchmark::State& state) {
    static DrawingStore store;
    for (auto _ : state) {
        store.ClearStore();
        AppendFloorPlan(store);
        benchmark::DoNotOptimize(store.pointTop);
    }
    int crossings = 0;
    for (int i = 0; i <= store.pointTop; ++i) crossings += store.point(i).kind == kPointCrossOrQuad;
    state.counters["lines"] = store.lineTop;
    state.counters["arcs"] = store.circleTop;
    state.counters["points"] = store.pointTop;
    state.counters["crossings+quadrants"] = crossings;
    state.counters["rss_MB"] = ResidentMegabytes();
}
BENCHMARK(AppendFloorPlanWithSnapPoints)->Unit(benchmark::kMillisecond)->Iterations(3);

void AppendFloorPlanPlainScan(benchmark::State& state) {
    DrawingStore store;
    store.useSpatialIndex = false;
    for (auto _ : state) {
        store.ClearStore();
        AppendFloorPlan(store, 5000, 1000);
    }
}
BENCHMARK(AppendFloorPlanPlainScan)->Unit(benchmark::kMillisecond)->Iterations(1);

void RedrawFloorPlan(benchmark::State& state) {
    static DrawingStore store;
    store.ClearStore();
    AppendFloorPlan(store);
    Canvas canvas;
    View view;
    canvas.Resize(1280, 1024);
    Renderer renderer(canvas, view);
    renderer.surfaceW = 1280;
    renderer.surfaceH = 1024;
    SurfaceGeometry surface{1280, 1024, 0, 0, 1280, 1024};
    FitAllView(view, surface, store);
    for (auto _ : state) renderer.Redraw(store);
    state.counters["scale"] = view.scale;
    state.counters["rss_MB"] = ResidentMegabytes();
}
BENCHMARK(RedrawFloorPlan)->Unit(benchmark::kMillisecond);

// A closer view: a few hundred rooms fill the canvas, most elements lie off it.
void RedrawFloorPlanZoomed(benchmark::State& state) {
    static DrawingStore store;
    store.ClearStore();
    AppendFloorPlan(store);
    Canvas canvas;
    View view;
    canvas.Resize(1280, 1024);
    Renderer renderer(canvas, view);
    view.scale = 0.05;
    view.originX = 640 - int(2000 / view.scale);
    view.originY = 512 + int(2000 / view.scale);
    for (auto _ : state) renderer.Redraw(store);
}
BENCHMARK(RedrawFloorPlanZoomed)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

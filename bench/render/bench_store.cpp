// Benchmarks of the drawing store and the full redraw on a floor-plan-sized drawing.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "bench/support/FloorPlan.h"
#include "render/Canvas.h"
#include "render/Renderer.h"
#include "render/View.h"

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

// The floor plan behind a 1280 x 1024 canvas, built once for both redraw benchmarks.
struct RedrawScene {
    DrawingStore store;
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    RedrawScene() {
        AppendFloorPlan(store);
        canvas.Resize(1280, 1024);
        renderer.surfaceW = 1280;
        renderer.surfaceH = 1024;
    }
};

RedrawScene& Scene() {
    static RedrawScene scene;
    return scene;
}

void RedrawFloorPlan(benchmark::State& state) {
    RedrawScene& s = Scene();
    SurfaceGeometry surface{1280, 1024, 0, 0, 1280, 1024};
    FitAllView(s.view, surface, s.store);
    for (auto _ : state) s.renderer.Redraw(s.store);
    state.counters["scale"] = s.view.scale;
    state.counters["rss_MB"] = ResidentMegabytes();
}
BENCHMARK(RedrawFloorPlan)->Unit(benchmark::kMillisecond);

// A closer view: a few hundred rooms fill the canvas, most elements lie off it.
void RedrawFloorPlanZoomed(benchmark::State& state) {
    RedrawScene& s = Scene();
    s.view.scale = 0.05;
    s.view.originX = 640 - int(2000 / s.view.scale);
    s.view.originY = 512 + int(2000 / s.view.scale);
    for (auto _ : state) s.renderer.Redraw(s.store);
}
BENCHMARK(RedrawFloorPlanZoomed)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

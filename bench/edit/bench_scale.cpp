// Benchmarks of the floor plan at 65k, 250k and 1M elements: append, snap, pick, redraw, clear.
//
// Run one size per process, so that the peak resident memory belongs to that size alone:
//   bench/korvo_bench_scale --benchmark_filter='/1000000(/|$)'
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/FloorPlan.h"
#include "edit/Picking.h"
#include "render/Canvas.h"
#include "render/Renderer.h"
#include "render/View.h"

namespace {

double StatusMegabytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == field) {
            double kb;
            in >> kb;
            return kb / 1024.0;
        }
        in.ignore(1 << 10, '\n');
    }
    return 0;
}

struct Scene {
    int elements = 0;
    DrawingStore store;
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    double fitScale = 1.0;
    int fitOriginX = 0, fitOriginY = 0;
    explicit Scene(int n) : elements(n) {
        canvas.Resize(1280, 1024);
        renderer.surfaceW = 1280;
        renderer.surfaceH = 1024;
    }
    void FitAll() {
        SurfaceGeometry surface{1280, 1024, 0, 0, 1280, 1024};
        FitAllView(view, surface, store);
        fitScale = view.scale;
        fitOriginX = view.originX;
        fitOriginY = view.originY;
    }
    void UseFitAll() {
        view.scale = fitScale;
        view.originX = fitOriginX;
        view.originY = fitOriginY;
    }
    // Zoomed in `times` times about the centre of the fitted view; with `fixed`, from the
    // scale that fits the 65k plan (1.0), so that the same area is visible at every size.
    void UseZoom(double times, bool fixed = false) {
        double cx = (view.boundsMinX + view.boundsMaxX) / 2;
        double cy = (view.boundsMinY + view.boundsMaxY) / 2;
        view.scale = (fixed ? 1.0 : fitScale) / times;
        view.originX = 640 - int(cx / view.scale);
        view.originY = 512 + int(cy / view.scale);
    }
};

std::unique_ptr<Scene>& Current() {
    static std::unique_ptr<Scene> scene;
    return scene;
}

// The scene of n elements, built (and fitted) when it is not the current one.
Scene& SceneOf(int n) {
    auto& s = Current();
    if (!s || s->elements != n) {
        s.reset();
        s = std::make_unique<Scene>(n);
        AppendScaledFloorPlan(s->store, n);
        s->FitAll();
    }
    return *s;
}

std::vector<std::pair<int, int>> Cursors() {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> x(0, 1279), y(0, 1023);
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < 512; ++i) out.emplace_back(x(rng), y(rng));
    return out;
}

void ScaleAppend(benchmark::State& state) {
    const int n = int(state.range(0));
    auto& s = Current();
    s.reset();
    s = std::make_unique<Scene>(n);
    for (auto _ : state) {
        AppendScaledFloorPlan(s->store, n);
        benchmark::DoNotOptimize(s->store.pointTop);
    }
    s->FitAll();
    state.counters["lines"] = s->store.lineTop;
    state.counters["circles"] = s->store.circleTop;
    state.counters["points"] = s->store.pointTop;
    state.counters["rss_MB"] = StatusMegabytes("VmRSS:");
    struct mallinfo2 m = mallinfo2();
    state.counters["heap_used_MB"] = double(m.uordblks + m.hblkhd) / 1048576.0;
    state.counters["heap_free_MB"] = double(m.fordblks) / 1048576.0;
}

template <bool Snap>
void Search(benchmark::State& state, double zoom) {
    Scene& s = SceneOf(int(state.range(0)));
    if (zoom == 1.0)
        s.UseFitAll();
    else
        s.UseZoom(std::abs(zoom), zoom < 0);
    PickContext c{s.store, s.renderer, 4000.0};
    const auto cursors = Cursors();
    size_t k = 0;
    for (auto _ : state) {
        auto [x, y] = cursors[k++ % cursors.size()];
        if constexpr (Snap)
            benchmark::DoNotOptimize(PickSnapPoint(c, x, y));
        else
            benchmark::DoNotOptimize(PickElement(c, x, y));
    }
    s.UseFitAll();
}

// The searches alone, without the marker and highlight drawing of PickSnapPoint and
// PickElement (which the canvas does).
void ScaleNearestFitAll(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    s.UseFitAll();
    s.store.PrepareSearch();
    const auto cursors = Cursors();
    const double t = 4000.0 * s.view.scale * s.view.scale;
    size_t k = 0;
    for (auto _ : state) {
        auto [x, y] = cursors[k++ % cursors.size()];
        const double wx = s.view.WorldX(x), wy = s.view.WorldY(y);
        benchmark::DoNotOptimize(s.store.NearestPoint(wx, wy, t));
        double d = t;
        int32_t line, circle;
        s.store.NearestElement(wx, wy, d, line, circle);
        benchmark::DoNotOptimize(line);
    }
}

void ScaleSnapFitAll(benchmark::State& state) { Search<true>(state, 1.0); }
void ScaleSnapZoom8(benchmark::State& state) { Search<true>(state, 8.0); }
void ScalePickFitAll(benchmark::State& state) { Search<false>(state, 1.0); }
void ScalePickZoom8(benchmark::State& state) { Search<false>(state, 8.0); }

// The first search after the drawing was read builds the snap search's grid (the redraw
// after reading does it); here it is built again from scratch.
void ScaleBuildSnapGrid(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    for (auto _ : state) {
        s.store.point(0);  // a write access: the grid is built again before the next search
        s.store.PrepareSearch();
    }
}

void ScaleRedrawFitAll(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    s.UseFitAll();
    s.store.PrepareSearch();
    for (auto _ : state) s.renderer.Redraw(s.store);
    state.counters["scale"] = s.view.scale;
}

// The same walk over every element onto a canvas of one pixel, where the canvas
// primitives find their figures off the viewport and return: the difference to
// ScaleRedrawFitAll is the time spent drawing pixels in the canvas primitives.
void ScaleRedrawFitAllNoPixels(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    s.UseFitAll();
    s.store.PrepareSearch();
    s.canvas.Resize(1, 1);
    s.canvas.SetScroll(-100000, -100000);
    s.store.useSpatialIndex = false;  // every element, as at fit all
    for (auto _ : state) s.renderer.Redraw(s.store);
    s.store.useSpatialIndex = true;
    s.canvas.SetScroll(0, 0);
    s.canvas.Resize(1280, 1024);
}

// What the zoomed redraw spends outside the canvas: finding the visible elements.
void ScaleVisibleZoom8(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    s.UseZoom(8.0);
    const View& v = s.view;
    Box window{(-10.0 - v.originX) * v.scale, (v.originY - 1034.0) * v.scale,
               (1290.0 - v.originX) * v.scale, (v.originY + 10.0) * v.scale};
    std::vector<int32_t> lines, circles;
    for (auto _ : state) s.store.ElementsIn(window, lines, circles);
    state.counters["lines"] = double(lines.size());
    state.counters["circles"] = double(circles.size());
    s.UseFitAll();
}

void ScaleRedrawZoom8(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    s.UseZoom(8.0);
    for (auto _ : state) s.renderer.Redraw(s.store);
    s.UseFitAll();
}

// The same area at every size: 8 zoom steps from the scale that fits the 65k plan.
void ScaleRedrawZoom8Area(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    s.UseZoom(8.0, true);
    for (auto _ : state) s.renderer.Redraw(s.store);
    s.UseFitAll();
}

void ScaleSnapZoom8Area(benchmark::State& state) { Search<true>(state, -8.0); }
void ScalePickZoom8Area(benchmark::State& state) { Search<false>(state, -8.0); }

void ScaleClearStore(benchmark::State& state) {
    Scene& s = SceneOf(int(state.range(0)));
    for (auto _ : state) s.store.ClearStore();
    state.counters["rss_after_MB"] = StatusMegabytes("VmRSS:");
    Current().reset();
}

void ScalePeakMemory(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(state.range(0));
    state.counters["peak_rss_MB"] = StatusMegabytes("VmHWM:");
    state.counters["rss_MB"] = StatusMegabytes("VmRSS:");
}

#define KORVO_SIZES ->Arg(65000)->Arg(250000)->Arg(1000000)
BENCHMARK(ScaleAppend)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3) KORVO_SIZES;
BENCHMARK(ScaleNearestFitAll)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScaleSnapFitAll)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScaleSnapZoom8)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScalePickFitAll)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScalePickZoom8)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScaleBuildSnapGrid)->Unit(benchmark::kMillisecond) KORVO_SIZES;
BENCHMARK(ScaleRedrawFitAll)->Unit(benchmark::kMillisecond) KORVO_SIZES;
BENCHMARK(ScaleRedrawFitAllNoPixels)->Unit(benchmark::kMillisecond) KORVO_SIZES;
BENCHMARK(ScaleVisibleZoom8)->Unit(benchmark::kMillisecond) KORVO_SIZES;
BENCHMARK(ScaleRedrawZoom8)->Unit(benchmark::kMillisecond) KORVO_SIZES;
BENCHMARK(ScaleSnapZoom8Area)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScalePickZoom8Area)->Unit(benchmark::kMicrosecond) KORVO_SIZES;
BENCHMARK(ScaleRedrawZoom8Area)->Unit(benchmark::kMillisecond) KORVO_SIZES;
BENCHMARK(ScaleClearStore)->Unit(benchmark::kMillisecond)->Iterations(1) KORVO_SIZES;
BENCHMARK(ScalePeakMemory)->Iterations(1) KORVO_SIZES;
#undef KORVO_SIZES

}  // namespace

BENCHMARK_MAIN();

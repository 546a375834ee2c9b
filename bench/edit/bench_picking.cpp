// Benchmarks of one snap search and one element pick on a large drawing.
#include <benchmark/benchmark.h>

#include <random>

#include "edit/Picking.h"
#include "model/DrawingStore.h"
#include "render/Canvas.h"
#include "render/Renderer.h"
#include "render/View.h"

namespace {

struct Large {
    DrawingStore store;
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    Large() {
        canvas.Resize(1280, 1024);
        view.originX = 640;
        view.originY = 512;
        view.scale = 0.05;
        // 50,000 short lines, none crossing, and 50,000 small circles: about 200,000 snap
        // points (3 per line, 1 centre and 4 quadrants per circle would be 400,000, so the
        // circles are arcs of less than a quadrant).
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> pos(-20000, 20000);
        for (int i = 0; i < 50000; ++i) {
            double x = pos(rng), y = pos(rng);
            store.AppendLine(x, y, x + 3, y + 1);
        }
        for (int i = 0; i < 50000; ++i) {
            double x = pos(rng), y = pos(rng);
            store.AppendCircle(x, y, 2, 10, 80);
        }
    }
};

Large& Drawing() {
    static Large d;
    return d;
}

void SnapSearch200kPoints(benchmark::State& state) {
    Large& d = Drawing();
    PickContext c{d.store, d.renderer, 4000.0};
    int x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PickSnapPoint(c, x, 500));
        x = (x + 37) % 1280;
    }
    state.counters["points"] = d.store.pointTop + 1;
}
BENCHMARK(SnapSearch200kPoints)->Unit(benchmark::kMillisecond);

void PickElement50kLines50kCircles(benchmark::State& state) {
    Large& d = Drawing();
    PickContext c{d.store, d.renderer, 4000.0};
    int x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PickElement(c, x, 500));
        x = (x + 37) % 1280;
    }
    state.counters["lines"] = d.store.lineTop;
    state.counters["circles"] = d.store.circleTop;
}
BENCHMARK(PickElement50kLines50kCircles)->Unit(benchmark::kMillisecond);

}  // namespace

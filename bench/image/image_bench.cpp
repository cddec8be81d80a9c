// An "AD Level" frame of 90 x 90 values, drawn with the value text cache and
// the plain way (one QPainter::drawText per value) in the same run. The
// frame must take at most 3 ms and be at least 5 times faster than the plain
// way; the summary line states both figures and the ratio.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <random>

#include "bench/support/frame_times.h"
#include "tuner/image/image_render.h"

namespace {

using namespace lumora::image;

// The page's drawing area and a full 90 x 90 image of levels around the
// highlight limit, so that about a fifth of the cells are highlighted.
const CellGeometry kGeometry{792, 448, 90, 90};

const ImageGrid& levels() {
    static const auto grid = [] {
        auto g = std::make_unique<ImageGrid>();
        std::mt19937 random(1);
        std::uniform_int_distribution<int> level(-2300, 2300);
        for (auto& row : *g)
            for (auto& v : row) v = level(random);
        return g;
    }();
    return *grid;
}

void BM_AdLevelCached(benchmark::State& state) {
    ImageRenderer renderer;
    QImage frame = ImageRenderer::makeFrame(kGeometry.width, kGeometry.height);
    renderer.renderAdLevel(frame, levels(), kGeometry, 1800);  // fills the cache
    for (auto _ : state) {
        renderer.renderAdLevel(frame, levels(), kGeometry, 1800);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

void BM_AdLevelPlainDrawText(benchmark::State& state) {
    QImage frame = ImageRenderer::makeFrame(kGeometry.width, kGeometry.height);
    for (auto _ : state) {
        ImageRenderer::renderAdLevelPlain(frame, levels(), kGeometry, 1800);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

BENCHMARK(BM_AdLevelCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdLevelPlainDrawText)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Fonts need a GUI application; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    lumora::bench::FrameTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double cpuRatio = 0;
    if (const auto* cached = lumora::bench::printCachedAgainstPlain(
            reporter, "BM_AdLevelCached", "BM_AdLevelPlainDrawText", "AD Level frame 90x90", &cpuRatio))
        std::printf("goal (CPU time <= 3 ms and >= 5x faster): %s\n",
                    cached->cpuMs <= 3.0 && cpuRatio >= 5.0 ? "met" : "NOT met");
    benchmark::Shutdown();
    return 0;
}

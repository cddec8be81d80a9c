// One frame of the raw data viewer at 90 X and 90 Y channels in its heaviest
// combination: "Clean Data" with lowerMode 0 (clean graphs on top, the
// 511-segment history graphs below), the noise graph and both VK rows with
// 10 keys each; the logging step is left out. The baseline fills the same
// seven areas with black through QPainter, the floor of any frame. Compare
// the two figures of one run; the goal is a frame in at most 4 ms on one core.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>
#include <random>

#include "tuner/rawdata/raw_frame.h"
#include "tuner/rawdata/raw_model.h"

namespace {

using namespace lumora::rawdata;

RawSnapshot heaviestSnapshot() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> ab(0, 1500);
    std::uniform_int_distribution<int> noise(0, 400);
    std::uniform_int_distribution<int> key(-3000, 3000);
    RawSnapshot d;
    d.xCount = 90;
    d.yCount = 90;
    d.view = 1;
    d.lowerMode = 0;
    d.thresholdX = 600;
    d.thresholdY = 650;
    for (int c = 0; c < 90; ++c) {
        for (SeriesPair* s : {&d.ab, &d.abMax}) {
            s->x[static_cast<size_t>(c)] = ab(rng);
            s->y[static_cast<size_t>(c)] = ab(rng);
        }
        d.noise.y[static_cast<size_t>(c)] = noise(rng);
    }
    d.abScale = {2551, 2551};
    for (auto& h : d.history)
        for (auto& v : h) v = ab(rng) / 3;
    for (auto& g : d.vk) {
        g.count = 10;
        for (auto& v : g.data) v = key(rng);
    }
    return d;
}

void BM_HeaviestFrame(benchmark::State& state) {
    const RawSnapshot data = heaviestSnapshot();
    const AreaSizes sizes;
    RawFrame frame;
    renderFrame(data, sizes, frame);  // lays out the channel numbers once, as the worker does
    for (auto _ : state) {
        renderFrame(data, sizes, frame);
        benchmark::DoNotOptimize(frame.x.constBits());
    }
}
BENCHMARK(BM_HeaviestFrame)->Unit(benchmark::kMillisecond);

void BM_BlackAreasBaseline(benchmark::State& state) {
    const AreaSizes sizes;
    RawFrame frame;
    for (auto _ : state) {
        for (auto [image, size] : {std::pair{&frame.x, sizes.top}, {&frame.y, sizes.top},
                                   {&frame.xr, sizes.lower}, {&frame.yr, sizes.lower},
                                   {&frame.noise, sizes.noise}, {&frame.vk1, sizes.vk},
                                   {&frame.vk2, sizes.vk}}) {
            *image = QImage(size, QImage::Format_RGB32);
            QPainter p(image);
            p.fillRect(image->rect(), Qt::black);
        }
        benchmark::DoNotOptimize(frame.x.constBits());
    }
}
BENCHMARK(BM_BlackAreasBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Text needs a QGuiApplication; the offscreen platform needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

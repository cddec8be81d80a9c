// One scan of 32 contacts as a Heron-class controller reports it: seven
// multi-contact reports (5 + 5 + 5 + 5 + 5 + 5 + 2 records), every contact
// moving a few pixels, id 31 with its 11-pixel pressure pen. Measured
//   - through the track model and renderer onto a 1280 x 720 surface, and
//   - through the "Finch Draw Test" page's own packet handler (traces, rate
//     counting, info refresh included) onto its drawing area,
// each beside a plain fill of the same area in the same run. The goal is a
// scan in at most 0.2 ms on one core; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <string>

#include "bench/support/frame_times.h"
#include "device/packet.h"
#include "tuner/app/device_state.h"
#include "tuner/draw/contact_model.h"
#include "tuner/draw/finch_raw_point_dlg.h"
#include "tuner/draw/finch_style.h"
#include "tuner/draw/track_render.h"

namespace {

using namespace lumora;
using namespace lumora::draw;

constexpr int kContacts = 32;

// The seven reports of scan `n`: contact k circles round its own centre.
std::vector<VexPacket> scan(int n) {
    std::vector<VexPacket> out;
    for (int first = 0; first < kContacts; first += 5) {
        VexPacket p{};
        p.bytes[2] = kTouchPacketId;
        p.bytes[3] = kTouchSubId;
        const int count = std::min(5, kContacts - first);
        for (int i = 0; i < count; ++i) {
            const int k = first + i;
            const double a = 0.05 * n + k;
            uint8_t* r = &p.bytes[4 + 10 * i];
            r[0] = 1;
            r[1] = uint8_t(k);
            writeLE16(&r[2], int(400 + (k % 8) * 450 + 150 * std::cos(a)));
            writeLE16(&r[4], int(500 + (k / 8) * 900 + 150 * std::sin(a)));
            writeLE16(&r[6], k == 31 ? 170 : 120);
            writeLE16(&r[8], 0);
        }
        p.bytes[kRecordCountByte] = uint8_t(count);
        out.push_back(p);
    }
    return out;
}

std::vector<std::vector<VexPacket>> scans() {
    std::vector<std::vector<VexPacket>> all;
    for (int n = 0; n < 64; ++n) all.push_back(scan(n));
    return all;
}

void BM_ScanModelAndRenderer(benchmark::State& state) {
    QImage surface(1280, 720, QImage::Format_RGB32);
    surface.fill(Qt::white);
    ContactTable table(finch::kSlots);
    const auto all = scans();
    size_t n = 0;
    uint32_t now = 0;
    for (auto _ : state) {
        now += 4;
        std::vector<Mark> marks;
        for (const VexPacket& p : all[n++ % all.size()]) {
            const MultiContactReport report = decodeMultiContact(p.bytes);
            for (int i = 0; i < report.count; ++i) {
                const TouchRecord& r = report.records[size_t(i)];
                table.at(r.id).extra = r.extra;
                table.countReport(r.id, now);
                finch::stepRecord(table, r, kLineMode, marks);
            }
        }
        benchmark::DoNotOptimize(drawMarks(surface, marks, finch::kScale));
    }
}
BENCHMARK(BM_ScanModelAndRenderer)->Unit(benchmark::kMicrosecond);

void BM_FillBaseline1280x720(benchmark::State& state) {
    QImage surface(1280, 720, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&surface);
        p.fillRect(surface.rect(), Qt::white);
        p.end();
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_FillBaseline1280x720)->Unit(benchmark::kMicrosecond);

void BM_ScanThroughThePage(benchmark::State& state) {
    DeviceState device;
    device.activePage = kDrawTestPages;
    CFinchRawPointDlg page(device);
    const auto all = scans();
    size_t n = 0;
    for (auto _ : state)
        for (const VexPacket& p : all[n++ % all.size()]) page.handlePacket(kTouchMessage, p);
    state.counters["area_px"] = double(page.drawingArea()->surface().width() * page.drawingArea()->surface().height());
}
BENCHMARK(BM_ScanThroughThePage)->Unit(benchmark::kMicrosecond);

void BM_FillBaselinePageArea(benchmark::State& state) {
    DeviceState device;
    CFinchRawPointDlg page(device);
    QImage& surface = page.drawingArea()->surface();
    for (auto _ : state) {
        QPainter p(&surface);
        p.fillRect(surface.rect(), Qt::white);
        p.end();
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_FillBaselinePageArea)->Unit(benchmark::kMicrosecond);

// Prints a scan beside its fill, in CPU time: on a shared machine the wall
// time mostly measures the other programs.
void printRatio(const lumora::bench::FrameTimeReporter& reporter, const std::string& scan,
                const std::string& fill) {
    const auto* s = reporter.find(scan);
    const auto* f = reporter.find(fill);
    if (!s || !f || f->cpuMs <= 0) return;
    std::printf("%s: %.1f us a scan of 32 contacts = %.2f x the fill of the same area (%.1f us)\n",
                scan.c_str(), s->cpuMs * 1e3, s->cpuMs / f->cpuMs, f->cpuMs * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    // Widgets need a QApplication; the offscreen platform needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    lumora::bench::FrameTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatio(reporter, "BM_ScanModelAndRenderer", "BM_FillBaseline1280x720");
    printRatio(reporter, "BM_ScanThroughThePage", "BM_FillBaselinePageArea");
    benchmark::Shutdown();
    return 0;
}

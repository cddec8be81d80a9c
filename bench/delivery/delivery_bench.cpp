// Packet delivery from a virtual controller to a page handler, beside the
// floor of any delivery.
//
// Qt path: a producer thread injects packets into a virtual Osprey through the
// control API; libvexlink's reader and delivery threads route them to a
// PacketWindow, which posts them as events to the main thread; the handler
// runs in the main thread's event loop.
// Library only: the same device and threads, with a bare VexWindow whose
// post() takes the packet on the library's delivery thread.
// Baseline: the same packets handed from the producer thread to the main
// thread through a plain mutex + condition-variable queue.
//
// Throughput: as fast as the path takes them, with at most kInFlight packets
// on their way (the virtual device's input buffer drops the oldest reports
// beyond its bound, like a HID driver, so an unpaced producer would lose some).
// Latency: 8000 packets per second, the ceiling of a high-speed USB HID
// endpoint; each packet carries its send time and the handler notes the age.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/vexlink.h"
#include "host/packet_window.h"
#include "vexlink/virtual/control.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInFlight = 4096;
constexpr int kThroughputPackets = 50000;
constexpr int kLatencyRate = 8000;        // packets per second
constexpr int kLatencyPackets = 16000;    // two seconds

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

VexPacket stampedPacket(int64_t sentNs) {
    VexPacket p{};
    p.bytes[0] = 3;
    p.bytes[2] = 0x3B;
    std::memcpy(p.bytes + 8, &sentNs, sizeof sentNs);
    return p;
}

int64_t stampOf(const uint8_t* p) {
    int64_t v;
    std::memcpy(&v, p + 8, sizeof v);
    return v;
}

// What the handler saw in one run.
struct Received {
    std::atomic<int> count{0};
    std::vector<int64_t> agesNs;  // main thread only
    bool keepAges = false;
    void reset(bool ages, int expected) {
        count = 0;
        agesNs.clear();
        keepAges = ages;
        if (ages) agesNs.reserve(expected);
    }
    void take(const uint8_t* p) {
        if (keepAges) agesNs.push_back(nowNs() - stampOf(p));
        count.fetch_add(1, std::memory_order_release);
    }
};

// Sends n packets, either as fast as the window of in-flight packets allows
// (rate 0) or evenly paced at `rate` per second.
template <class Send>
void produce(int n, int rate, const Received& got, Send send) {
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        if (rate > 0) {
            std::this_thread::sleep_until(start + std::chrono::nanoseconds(int64_t(i) * 1000000000 / rate));
        } else {
            // Sleeps rather than spins: on a busy machine a spinning producer
            // would take the CPU from the threads it waits for.
            while (i - got.count.load(std::memory_order_acquire) >= kInFlight)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        send(stampedPacket(nowNs()));
    }
}

// ---- The Qt path ----------------------------------------------------------------

class QtPath {
public:
    QtPath() {
        std::string error = vexlink::control::configure("osprey");
        if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
        const auto devices = vexlink::control::list();
        if (devices.empty()) return;
        m_device = devices.front().id;
        VexDeviceDescriptor d{};
        std::strncpy(d.path, devices.front().path.c_str(), VEX_PATH_SIZE - 1);
        m_handle = OpenHIDDevice(d);
        m_window.setHandler([this](uint32_t, const VexPacket& p) { received.take(p.bytes); });
    }
    int device() const { return m_device; }
    VexHandle handle() const { return m_handle; }
    ~QtPath() {
        m_window.unregisterAll();
        CloseHIDDevice(m_handle);
    }
    bool ready() const { return m_handle != 0; }

    // Runs one batch; returns false if the packets did not all arrive.
    bool run(int n, int rate) {
        received.reset(rate > 0, n);
        // Registered for this run only: the other paths inject on the same
        // device while the event loop is not running.
        const VexRegistration r = m_window.registerPacket(m_handle, 0x3B, 0x602);
        std::thread producer([&] {
            produce(n, rate, received, [&](const VexPacket& p) {
                vexlink::control::injectPacket(m_device, p.bytes);
            });
        });
        // The event loop of the main thread, as a page would have it; the
        // timer only bounds the wait if packets were lost.
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        QTimer tick;
        tick.start(100);
        while (received.count.load(std::memory_order_acquire) < n && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        producer.join();
        m_window.unregister(m_handle, r);
        if (received.count != n)
            std::fprintf(stderr, "delivery_bench: %d of %d packets arrived\n", received.count.load(), n);
        return received.count == n;
    }

    Received received;

private:
    int m_device = 0;
    VexHandle m_handle = 0;
    lumora::host::PacketWindow m_window;
};

// ---- libvexlink alone: the same device, a bare VexWindow ---------------------------
// post() takes the packet on the library's delivery thread, as far as the
// library carries it; the difference to the Qt path is the host's share.

class LibraryPath {
public:
    explicit LibraryPath(int device, VexHandle handle) : m_device(device), m_handle(handle) {
        m_window.user = this;
        m_window.post = [](VexWindow* w, VexRegistration, uint32_t, const uint8_t* p) {
            auto* self = static_cast<LibraryPath*>(w->user);
            self->received.take(p);
            if (self->received.count.load(std::memory_order_relaxed) == self->m_expected) {
                std::lock_guard<std::mutex> lock(self->m_mutex);
                self->m_cv.notify_all();
            }
        };
    }
    bool run(int n, int rate) {
        received.reset(rate > 0, n);
        m_expected = n;
        const VexRegistration r = DevRegisterPacket(m_handle, &m_window, 0x3B, 0x602);
        std::thread producer([&] {
            produce(n, rate, received, [&](const VexPacket& p) {
                vexlink::control::injectPacket(m_device, p.bytes);
            });
        });
        bool all;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            all = m_cv.wait_for(lock, std::chrono::seconds(30),
                                [&] { return received.count.load() >= n; });
        }
        producer.join();
        DevUnregisterPacket(m_handle, r);
        return all;
    }

    Received received;

private:
    int m_device;
    VexHandle m_handle;
    VexWindow m_window{};
    std::atomic<int> m_expected{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// ---- The baseline: a plain queue between two threads ------------------------------

class PlainQueue {
public:
    bool run(int n, int rate) {
        received.reset(rate > 0, n);
        std::thread producer([&] {
            produce(n, rate, received, [&](const VexPacket& p) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_queue.push_back(p);
                }
                m_cv.notify_one();
            });
        });
        std::deque<VexPacket> batch;
        while (received.count.load(std::memory_order_acquire) < n) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cv.wait(lock, [this] { return !m_queue.empty(); });
                batch.swap(m_queue);
            }
            for (const VexPacket& p : batch) received.take(p.bytes);
            batch.clear();
        }
        producer.join();
        return true;
    }

    Received received;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<VexPacket> m_queue;
};

QtPath* qtPath = nullptr;
LibraryPath* libraryPath = nullptr;

double percentileUs(std::vector<int64_t> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5));
    return v[i] / 1000.0;
}

// CPU time of the whole process (every thread of the path), in seconds.
double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// items_per_second is packets per second of wall time on this (shared,
// noisy) machine; packets_per_cpu_s divides by the CPU time all threads of
// the path used together, i.e. what one core would carry.
template <class Path>
void throughput(benchmark::State& state, Path& path) {
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        if (!path.run(kThroughputPackets, 0)) {
            state.SkipWithError("packets were lost");
            return;
        }
    }
    const double cpu = processCpuSeconds() - cpu0;
    const double packets = double(state.iterations()) * kThroughputPackets;
    state.SetItemsProcessed(state.iterations() * kThroughputPackets);
    state.counters["packets_per_cpu_s"] = cpu > 0 ? packets / cpu : 0;
}

template <class Path>
void latency(benchmark::State& state, Path& path) {
    std::vector<int64_t> ages;
    for (auto _ : state) {
        if (!path.run(kLatencyPackets, kLatencyRate)) {
            state.SkipWithError("packets were lost");
            return;
        }
        ages.insert(ages.end(), path.received.agesNs.begin(), path.received.agesNs.end());
    }
    state.counters["p50_us"] = percentileUs(ages, 0.50);
    state.counters["p99_us"] = percentileUs(ages, 0.99);
    state.counters["max_us"] = percentileUs(ages, 1.0);
    state.SetItemsProcessed(state.iterations() * kLatencyPackets);
}

void BM_Throughput_PlainQueue(benchmark::State& state) {
    PlainQueue q;
    throughput(state, q);
}
void BM_Throughput_QtPacketWindow(benchmark::State& state) { throughput(state, *qtPath); }
void BM_Throughput_LibraryOnly(benchmark::State& state) { throughput(state, *libraryPath); }
void BM_Latency8k_PlainQueue(benchmark::State& state) {
    PlainQueue q;
    latency(state, q);
}
void BM_Latency8k_QtPacketWindow(benchmark::State& state) { latency(state, *qtPath); }
void BM_Latency8k_LibraryOnly(benchmark::State& state) { latency(state, *libraryPath); }

BENCHMARK(BM_Throughput_PlainQueue)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Throughput_QtPacketWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Throughput_LibraryOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Latency8k_PlainQueue)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Latency8k_QtPacketWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Latency8k_LibraryOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Prints the usual table, then the Qt path's throughput as a share of the
// baseline's from this same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) rates[r.benchmark_name()] = it->second.value;
            auto cpu = r.counters.find("packets_per_cpu_s");
            if (cpu != r.counters.end()) perCpu[r.benchmark_name()] = cpu->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double base = rates["BM_Throughput_PlainQueue/min_time:2.000/real_time"];
        const double qt = rates["BM_Throughput_QtPacketWindow/min_time:2.000/real_time"];
        if (base > 0 && qt > 0)
            std::printf("\nthroughput: Qt path %.0f packets/s, plain queue %.0f packets/s, "
                        "ratio %.3f\n",
                        qt, base, qt / base);
        const double baseCpu = perCpu["BM_Throughput_PlainQueue/min_time:2.000/real_time"];
        const double qtCpu = perCpu["BM_Throughput_QtPacketWindow/min_time:2.000/real_time"];
        if (baseCpu > 0 && qtCpu > 0)
            std::printf("per CPU second: Qt path %.0f packets, plain queue %.0f packets, "
                        "ratio %.3f\n",
                        qtCpu, baseCpu, qtCpu / baseCpu);
    }
    std::map<std::string, double> rates;
    std::map<std::string, double> perCpu;
};

}  // namespace

int main(int argc, char** argv) {
    // Only the virtual controller takes part.
    setenv("VEXLINK_NO_HID", "1", 1);
    setenv("VEXLINK_DEVICES", "", 1);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QtPath path;
    if (!path.ready()) {
        std::fprintf(stderr, "delivery_bench: the virtual controller did not open\n");
        return 1;
    }
    LibraryPath library(path.device(), path.handle());
    qtPath = &path;
    libraryPath = &library;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    qtPath = nullptr;
    libraryPath = nullptr;
    return 0;
}

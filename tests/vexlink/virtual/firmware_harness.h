// A virtual device's firmware driven directly: requests go in as the
// library core sends them, every input report the firmware produces is
// collected for the test to look at.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "vexlink/protocol.h"
#include "vexlink/virtual/firmware.h"

namespace vexlink::virt::testing {

class Collector : public ReportSink {
public:
    void deliver(const Report& report) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_reports.push_back(report);
        }
        m_cv.notify_all();
    }
    void gone() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gone = true;
    }

    std::vector<Report> reports() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.clear();
    }
    bool isGone() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_gone;
    }
    // Waits until `done` holds over the reports collected so far.
    bool waitFor(const std::function<bool(const std::vector<Report>&)>& done, int timeoutMs = 3000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return done(m_reports); });
    }
    // Packets with byte 2 == id (and byte 3 == sub when sub >= 0).
    std::vector<Report> withId(uint8_t id, int sub = -1) {
        std::vector<Report> out;
        for (const Report& r : reports())
            if (r[2] == id && (sub < 0 || r[3] == sub)) out.push_back(r);
        return out;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Report> m_reports;
    bool m_gone = false;
};

inline DeviceSettings settingsFor(const std::string& entry) {
    std::string error;
    auto s = parseEntry(entry, &error);
    EXPECT_TRUE(s.has_value()) << error;
    return s.value_or(DeviceSettings{});
}

class Device {
public:
    explicit Device(const std::string& entry)
        : firmware(std::make_unique<Firmware>(settingsFor(entry))) {
        firmware->attach(&sink);
    }
    ~Device() { firmware->detach(&sink); }

    // One request; the response arrives on the asking connection before
    // handleOutput returns.
    Report request(uint8_t command, std::vector<uint8_t> args = {}) {
        uint8_t out[64] = {};
        out[0] = wire::kReportId;
        out[1] = wire::kRequestMarker;
        out[2] = command;
        out[3] = ++m_sequence == 0 ? ++m_sequence : m_sequence;
        if (!args.empty()) std::memcpy(out + wire::kArgOffset, args.data(), std::min<size_t>(args.size(), 60));
        firmware->handleOutput(out, &sink);
        // The latest match: sequence numbers come round again after 255.
        const std::vector<Report> all = sink.reports();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if ((*it)[2] == wire::kResponsePacketId && (*it)[3] == out[3] && (*it)[5] == command)
                return *it;
        ADD_FAILURE() << "no response to command " << int(command);
        return Report{};
    }
    uint8_t status(uint8_t command, std::vector<uint8_t> args = {}) { return request(command, args)[4]; }

    bool readWord(int index, uint16_t* value) {
        const Report r = request(wire::kReadWord, {uint8_t(index & 0xFF), uint8_t(index >> 8)});
        *value = static_cast<uint16_t>(r[6] | (r[7] << 8));
        return r[4] == wire::kOk;
    }
    uint8_t writeWord(int index, uint16_t value) {
        return status(wire::kWriteWord, {uint8_t(index & 0xFF), uint8_t(index >> 8),
                                         uint8_t(value & 0xFF), uint8_t(value >> 8)});
    }
    // A whole blob through kGetBlob, chunk by chunk.
    std::vector<uint8_t> blob(uint8_t id, uint8_t index = 0, uint8_t* statusOut = nullptr) {
        std::vector<uint8_t> data;
        for (int round = 0; round < 8; ++round) {
            const Report r = request(wire::kGetBlob, {id, index, uint8_t(data.size())});
            if (statusOut) *statusOut = r[4];
            if (r[4] != wire::kOk) return {};
            data.insert(data.end(), r.begin() + 8, r.begin() + 8 + r[7]);
            if (data.size() >= r[6]) break;
        }
        return data;
    }
    std::string text(uint8_t id) {
        const auto b = blob(id);
        return std::string(b.begin(), b.end());
    }

    std::unique_ptr<Firmware> firmware;
    Collector sink;

private:
    uint8_t m_sequence = 0;
};

}  // namespace vexlink::virt::testing

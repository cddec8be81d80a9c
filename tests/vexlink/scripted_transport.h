// A transport whose device side is a script: tests push input reports, watch
// the output reports and answer requests through a responder.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "vexlink/protocol.h"
#include "vexlink/transport.h"

namespace vexlink::testing {

using Report = std::array<uint8_t, 64>;

class ScriptedTransport : public Transport {
public:
    // Called for every output report, on the writing thread.
    std::function<void(const Report& request)> responder;

    bool writeReport(const uint8_t* report64) override {
        Report r;
        std::memcpy(r.data(), report64, 64);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_gone) return false;
            m_written.push_back(r);
        }
        if (responder) responder(r);
        return true;
    }

    int readReport(uint8_t* report64, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return !m_input.empty() || m_gone; });
        if (!m_input.empty()) {
            std::memcpy(report64, m_input.front().data(), 64);
            m_input.pop_front();
            return 1;
        }
        return m_gone ? -1 : 0;
    }

    int getFeature(uint8_t* buffer, size_t length) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_gone) return -1;
        std::memset(buffer + 1, 0x5A, length - 1);
        return static_cast<int>(length);
    }
    int sendFeature(const uint8_t*, size_t length) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_gone ? -1 : static_cast<int>(length);
    }

    // Device -> host.
    void push(const Report& r) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_input.push_back(r);
        }
        m_cv.notify_all();
    }
    // Reports queued before this call are still read; then the device is gone.
    void goAway() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_gone = true;
        }
        m_cv.notify_all();
    }
    std::vector<Report> written() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_written;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Report> m_input;
    std::vector<Report> m_written;
    bool m_gone = false;
};

// Reports as a device sends them.
inline Report packet(uint8_t id, uint8_t sub, uint8_t b4 = 0) {
    Report r{};
    r[0] = wire::kReportId;
    r[2] = id;
    r[3] = sub;
    r[4] = b4;
    return r;
}

inline Report endPacket(uint8_t id) {
    Report r = packet(id, 0x70, 3);
    r[1] = 2;
    return r;
}

inline Report response(const Report& request, uint8_t status,
                       const std::vector<uint8_t>& results = {}) {
    Report r{};
    r[0] = wire::kReportId;
    r[2] = wire::kResponsePacketId;
    r[3] = request[3];
    r[4] = status;
    r[5] = request[2];
    for (size_t i = 0; i < results.size() && i < 58; ++i) r[6 + i] = results[i];
    return r;
}

}  // namespace vexlink::testing

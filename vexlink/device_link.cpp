#include "vexlink/device_link.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "device/packet.h"
#include "vexlink/protocol.h"

namespace vexlink {

namespace {

// The reader waits this long per read so that close() is noticed promptly;
// a report that is ready is returned at once, so this adds no latency.
constexpr int kReadSliceMs = 20;

// Packets waiting for the delivery thread. Delivery only copies into the
// hosts' queues, so the queue stays short; the bound keeps a stalled host
// from eating memory. Beyond it the newest packets are dropped.
constexpr size_t kMaxQueuedPackets = 1 << 16;

// Blobs are addressed by a one-byte offset.
constexpr size_t kMaxBlobLength = 255;

void joinOrDetach(std::thread& t) {
    if (!t.joinable()) return;
    if (t.get_id() == std::this_thread::get_id())
        t.detach();  // the thread is ending the link it runs for; it exits right after
    else
        t.join();
}

}  // namespace

DeviceLink::DeviceLink(std::unique_ptr<Transport> transport, TaskRunner runner)
    : m_transport(std::move(transport)),
      m_runner(std::move(runner)),
      m_regs(std::make_shared<const RegList>()),
      m_timeoutMs(wire::kResponseTimeoutMs) {}

DeviceLink::~DeviceLink() {
    m_stopping = true;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
    }
    m_queueCv.notify_all();
    joinOrDetach(m_reader);
    joinOrDetach(m_delivery);
}

void DeviceLink::start() {
    auto self = shared_from_this();
    m_reader = std::thread([self] { self->readerLoop(); });
    m_delivery = std::thread([self] { self->deliveryLoop(); });
}

void DeviceLink::close() {
    std::call_once(m_closeOnce, [this] {
        std::shared_ptr<const RegList> old;
        {
            std::lock_guard<std::mutex> lock(m_regMutex);
            m_accepting = false;
            old = m_regs;
            m_regs = std::make_shared<const RegList>();
        }
        for (const auto& r : *old) endRegistration(*r);

        m_stopping = true;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
        }
        m_queueCv.notify_all();
        {
            std::lock_guard<std::mutex> lock(m_responseMutex);
        }
        m_responseCv.notify_all();
        joinOrDetach(m_reader);
        joinOrDetach(m_delivery);
    });
}

bool DeviceLink::onDeliveryThread() const {
    return m_delivery.get_id() == std::this_thread::get_id();
}

// ---- Reader ---------------------------------------------------------------

void DeviceLink::readerLoop() {
    uint8_t report[VEX_PACKET_SIZE];
    while (!m_stopping) {
        const int r = m_transport->readReport(report, kReadSliceMs);
        if (r == 0) continue;
        if (r < 0) {
            m_gone = true;
            {
                std::lock_guard<std::mutex> lock(m_responseMutex);
            }
            m_responseCv.notify_all();  // a waiting command fails now, not at its time-out
            Item gone;
            gone.kind = Item::Kind::Gone;
            enqueue(gone);
            return;
        }
        if (report[2] == wire::kResponsePacketId) {
            std::lock_guard<std::mutex> lock(m_responseMutex);
            // A response that matches no waiting command (one that timed out,
            // or a stray) is dropped here and never reaches a registration.
            if (m_waiting && !m_responseReady && report[3] == m_expectSequence &&
                report[5] == m_expectCommand) {
                std::memcpy(m_response, report, sizeof m_response);
                m_responseReady = true;
                m_responseCv.notify_all();
            }
            continue;
        }
        Item item;
        std::memcpy(item.packet.bytes, report, VEX_PACKET_SIZE);
        enqueue(item);
    }
}

void DeviceLink::enqueue(const Item& item) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (item.kind == Item::Kind::Packet && m_queue.size() >= kMaxQueuedPackets) return;
        m_queue.push_back(item);
        wake = m_deliveryWaiting;
    }
    if (wake) m_queueCv.notify_one();
}

// ---- Delivery -------------------------------------------------------------

void DeviceLink::deliveryLoop() {
    std::deque<Item> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            while (m_queue.empty() && !m_stopping) {
                m_deliveryWaiting = true;
                m_queueCv.wait(lock);
                m_deliveryWaiting = false;
            }
            if (m_stopping) return;
            batch.swap(m_queue);
        }
        for (const Item& item : batch) {
            if (m_stopping) return;
            if (item.kind == Item::Kind::Gone)
                deliverGone();
            else
                deliver(item.packet.bytes);
        }
        batch.clear();
    }
}

std::shared_ptr<const DeviceLink::RegList> DeviceLink::snapshot() const {
    std::lock_guard<std::mutex> lock(m_regMutex);
    return m_regs;
}

void DeviceLink::deliver(const uint8_t* packet) {
    const auto regs = snapshot();
    if (packet[2] == wire::kTestRecordPacketId) {
        for (const auto& r : *regs) {
            if (r->kind != Registration::Kind::RecordCallback || r->recordKind != packet[3])
                continue;
            auto reg = r;
            VexPacket copy;
            std::memcpy(copy.bytes, packet, VEX_PACKET_SIZE);
            m_runner([reg, copy] {
                std::lock_guard<std::recursive_mutex> gate(reg->gate);
                if (reg->alive) reg->recordCallback(reg->context, 0, copy.bytes);
            });
        }
        return;
    }
    for (const auto& r : *regs) {
        if (!r->matches(packet)) continue;
        if (r->kind == Registration::Kind::Window)
            postToWindow(*r, packet);
        else if (r->kind == Registration::Kind::PacketCallback)
            dispatchPacket(r, packet);
    }
}

void DeviceLink::postToWindow(Registration& r, const uint8_t* packet) {
    std::lock_guard<std::recursive_mutex> gate(r.gate);
    if (!r.alive) return;
    if (lumora::isEndPacket(packet) &&
        std::find(m_endSent.begin(), m_endSent.end(), r.window) == m_endSent.end())
        m_endSent.push_back(r.window);
    r.window->post(r.window, r.id, r.message, packet);
}

void DeviceLink::dispatchPacket(const std::shared_ptr<Registration>& r, const uint8_t* packet) {
    auto reg = r;
    VexPacket copy;
    std::memcpy(copy.bytes, packet, VEX_PACKET_SIZE);
    m_runner([reg, copy] {
        // Checked when the task runs, not when it was queued: a registration
        // ended in between gets nothing.
        std::lock_guard<std::recursive_mutex> gate(reg->gate);
        if (reg->alive) reg->packetCallback(reg->context, 0, copy.bytes);
    });
}

// The device went away without (or after) sending its own end packet. Every
// window still registered that has not had an end packet gets one, through
// its earliest registration, so that each page learns of the loss exactly once.
void DeviceLink::deliverGone() {
    const auto regs = snapshot();
    for (const auto& r : *regs) {
        if (r->kind != Registration::Kind::Window) continue;
        if (std::find(m_endSent.begin(), m_endSent.end(), r->window) != m_endSent.end())
            continue;
        VexPacket end{};
        end.bytes[0] = wire::kReportId;
        end.bytes[1] = 2;
        end.bytes[2] = r->packetId;
        end.bytes[3] = 0x70;
        end.bytes[4] = 3;
        postToWindow(*r, end.bytes);
    }
}

// ---- Registrations ----------------------------------------------------------

bool DeviceLink::add(std::shared_ptr<Registration> registration) {
    std::lock_guard<std::mutex> lock(m_regMutex);
    if (!m_accepting || m_gone) return false;
    auto next = std::make_shared<RegList>(*m_regs);
    next->push_back(std::move(registration));
    m_regs = std::move(next);
    return true;
}

bool DeviceLink::remove(VexRegistration id) {
    std::shared_ptr<Registration> found;
    {
        std::lock_guard<std::mutex> lock(m_regMutex);
        auto next = std::make_shared<RegList>(*m_regs);
        auto it = std::find_if(next->begin(), next->end(),
                               [id](const auto& r) { return r->id == id; });
        if (it == next->end()) return false;
        found = *it;
        next->erase(it);
        m_regs = std::move(next);
    }
    endRegistration(*found);
    return true;
}

void DeviceLink::endRegistration(Registration& r) {
    r.alive = false;
    // Waits for a delivery of this registration that is running on another
    // thread; on the thread that is delivering it, the recursive gate lets
    // the registration end itself.
    std::lock_guard<std::recursive_mutex> gate(r.gate);
}

// ---- Command client -----------------------------------------------------------

bool DeviceLink::command(uint8_t commandCode, const uint8_t* args, size_t argLength,
                         uint8_t* results) {
    if (argLength > VEX_PACKET_SIZE - wire::kArgOffset) return false;
    std::lock_guard<std::mutex> serial(m_commandMutex);
    if (m_stopping || m_gone) return false;

    m_sequence = static_cast<uint8_t>(m_sequence == 255 ? 1 : m_sequence + 1);
    uint8_t request[VEX_PACKET_SIZE] = {};
    request[0] = wire::kReportId;
    request[1] = wire::kRequestMarker;
    request[2] = commandCode;
    request[3] = m_sequence;
    if (argLength) std::memcpy(request + wire::kArgOffset, args, argLength);

    {
        std::lock_guard<std::mutex> lock(m_responseMutex);
        m_waiting = true;
        m_responseReady = false;
        m_expectSequence = m_sequence;
        m_expectCommand = commandCode;
    }
    const bool written = m_transport->writeReport(request);

    std::unique_lock<std::mutex> lock(m_responseMutex);
    bool answered = false;
    if (written) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs.load());
        m_responseCv.wait_until(lock, deadline,
                                [this] { return m_responseReady || m_gone || m_stopping; });
        answered = m_responseReady;
    }
    m_waiting = false;
    if (!answered || m_response[4] != wire::kOk) return false;
    if (results) std::memcpy(results, m_response + wire::kResultOffset, wire::kResultSize);
    return true;
}

bool DeviceLink::getBlob(uint8_t blob, uint8_t index, uint8_t* out, size_t capacity,
                         size_t* length) {
    uint8_t data[kMaxBlobLength] = {};
    size_t total = 0;
    size_t offset = 0;
    bool first = true;
    // 255 bytes in chunks of at least one byte; a device that sends empty
    // chunks is caught by the check below, this only bounds the loop.
    for (size_t round = 0; round <= kMaxBlobLength; ++round) {
        const uint8_t args[3] = {blob, index, static_cast<uint8_t>(offset)};
        uint8_t res[wire::kResultSize];
        if (!command(wire::kGetBlob, args, sizeof args, res)) return false;
        const size_t chunkTotal = res[0];
        const size_t chunk = res[1];
        if (first) {
            total = chunkTotal;
            first = false;
        } else if (chunkTotal != total) {
            return false;  // the blob changed under us
        }
        if (chunk > static_cast<size_t>(wire::kChunkSize) || offset + chunk > total) return false;
        if (chunk == 0 && offset < total) return false;
        std::memcpy(data + offset, res + 2, chunk);
        offset += chunk;
        if (offset >= total) break;
    }
    if (offset < total) return false;
    if (out && capacity) std::memcpy(out, data, std::min(total, capacity));
    if (length) *length = total;
    return true;
}

bool DeviceLink::putBlob(uint8_t blob, uint8_t index, const uint8_t* data, size_t length) {
    if (length > kMaxBlobLength || (length && !data)) return false;
    size_t offset = 0;
    do {
        const size_t chunk = std::min(length - offset, static_cast<size_t>(wire::kChunkSize));
        const bool last = offset + chunk >= length;
        uint8_t args[5 + wire::kChunkSize] = {};
        args[0] = blob;
        args[1] = index;
        args[2] = static_cast<uint8_t>(offset);
        args[3] = static_cast<uint8_t>(chunk);
        args[4] = last ? 1 : 0;
        if (chunk) std::memcpy(args + 5, data + offset, chunk);
        if (!command(wire::kPutBlob, args, 5 + chunk)) return false;
        offset += chunk;
    } while (offset < length);
    return true;
}

bool DeviceLink::sendRaw(const uint8_t* report64) {
    std::lock_guard<std::mutex> serial(m_commandMutex);
    if (m_stopping || m_gone) return false;
    return m_transport->writeReport(report64);
}

int DeviceLink::getFeature(uint8_t* buffer, size_t length) {
    std::lock_guard<std::mutex> serial(m_commandMutex);
    if (m_stopping || m_gone) return -1;
    return m_transport->getFeature(buffer, length);
}

int DeviceLink::sendFeature(const uint8_t* buffer, size_t length) {
    std::lock_guard<std::mutex> serial(m_commandMutex);
    if (m_stopping || m_gone) return -1;
    return m_transport->sendFeature(buffer, length);
}

}  // namespace vexlink

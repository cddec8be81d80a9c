// One open device: its transport, the thread that reads its input reports,
// the thread that delivers them, and the command client that speaks the wire
// protocol over the transport.
//
// Two threads per device, not one: the reader only reads reports, completes
// the waiting command and queues everything else; the delivery thread calls
// the hosts' windows and, with no dispatcher set, the callbacks. A callback
// that issues a command from the delivery thread therefore still gets its
// response, because the reader is never the thread that waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/vexlink.h"
#include "vexlink/transport.h"

namespace vexlink {

// Runs a task on the host's chosen thread (or inline). Supplied by the owner
// of the link, so the link itself holds no process-wide state.
using TaskRunner = std::function<void(std::function<void()> task)>;

// One packet registration or test-callback token.
struct Registration {
    enum class Kind { Window, PacketCallback, RecordCallback };

    VexRegistration id = 0;
    Kind kind = Kind::Window;
    uint8_t packetId = 0;   // Window, PacketCallback
    int subId = -1;         // -1: any sub id
    uint8_t recordKind = 0; // RecordCallback: byte 3 of a test record
    VexWindow* window = nullptr;
    uint32_t message = 0;
    void* context = nullptr;
    VexPacketCallback packetCallback = nullptr;
    VexRecordCallback recordCallback = nullptr;

    bool matches(const uint8_t* packet) const {
        return packet[2] == packetId && (subId < 0 || packet[3] == subId);
    }

    // Cleared when the registration ends. Delivery checks it while holding
    // `gate`, and ending it takes `gate` once afterwards, so that nothing runs
    // for the registration once DevUnregisterPacket has returned. Recursive
    // because a window or callback may end its own registration from inside
    // the delivery.
    std::atomic<bool> alive{true};
    std::recursive_mutex gate;
};

class DeviceLink : public std::enable_shared_from_this<DeviceLink> {
public:
    DeviceLink(std::unique_ptr<Transport> transport, TaskRunner runner);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Starts the reader and delivery threads. Call once, on a link held by a
    // shared_ptr (the threads keep the link alive while they run).
    void start();

    // Ends every registration and stops both threads. Safe from any thread,
    // including the delivery thread itself (a callback closing its device);
    // idempotent.
    void close();

    // True once the transport reported the device gone.
    bool gone() const { return m_gone.load(); }

    // How long a command waits for its response.
    void setResponseTimeoutMs(int ms) { m_timeoutMs = ms; }

    // ---- Command client --------------------------------------------------

    // Sends one request (command, arguments for bytes 4..63) and waits for the
    // matching response. True only on status kOk; `results` (may be null)
    // then receives the 58 result bytes. Commands of one link are serialised.
    bool command(uint8_t commandCode, const uint8_t* args, size_t argLength,
                 uint8_t* results = nullptr);

    // Reads a whole blob in chunks. Copies at most `capacity` bytes into `out`
    // and stores the blob's full length in *length (may be null).
    bool getBlob(uint8_t blob, uint8_t index, uint8_t* out, size_t capacity,
                 size_t* length = nullptr);
    // Writes a whole blob (up to 255 bytes) in chunks.
    bool putBlob(uint8_t blob, uint8_t index, const uint8_t* data, size_t length);

    // One raw output report, outside the request/response protocol.
    bool sendRaw(const uint8_t* report64);

    // Feature reports through the transport; bytes moved or -1.
    int getFeature(uint8_t* buffer, size_t length);
    int sendFeature(const uint8_t* buffer, size_t length);

    // ---- Registrations ---------------------------------------------------

    // Adds a registration (its id already assigned); false when the link is
    // closed or gone.
    bool add(std::shared_ptr<Registration> registration);
    // Ends one registration; false when the link does not hold it. On return
    // nothing more is delivered for it.
    bool remove(VexRegistration id);

private:
    struct Item {
        enum class Kind { Packet, Gone } kind = Kind::Packet;
        VexPacket packet{};
    };
    using RegList = std::vector<std::shared_ptr<Registration>>;

    void readerLoop();
    void deliveryLoop();
    void enqueue(const Item& item);
    void deliver(const uint8_t* packet);
    void deliverGone();
    void postToWindow(Registration& r, const uint8_t* packet);
    void dispatchPacket(const std::shared_ptr<Registration>& r, const uint8_t* packet);
    void endRegistration(Registration& r);
    bool onDeliveryThread() const;
    std::shared_ptr<const RegList> snapshot() const;

    std::unique_ptr<Transport> m_transport;
    TaskRunner m_runner;

    std::thread m_reader;
    std::thread m_delivery;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_gone{false};
    std::once_flag m_closeOnce;

    // Registrations, replaced as a whole on every change so that delivery
    // reads a consistent list without holding the lock while it calls out.
    mutable std::mutex m_regMutex;
    std::shared_ptr<const RegList> m_regs;
    bool m_accepting = true;

    // Reader -> delivery queue.
    std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::deque<Item> m_queue;
    bool m_deliveryWaiting = false;

    // Windows that have already received an end packet (delivery thread only).
    std::vector<VexWindow*> m_endSent;

    // Command client: one request at a time; the reader hands the response
    // with the expected sequence number and command echo to the waiter.
    std::mutex m_commandMutex;
    std::mutex m_responseMutex;
    std::condition_variable m_responseCv;
    bool m_waiting = false;
    bool m_responseReady = false;
    uint8_t m_expectSequence = 0;
    uint8_t m_expectCommand = 0;
    uint8_t m_response[VEX_PACKET_SIZE] = {};
    uint8_t m_sequence = 0;
    std::atomic<int> m_timeoutMs;
};

}  // namespace vexlink

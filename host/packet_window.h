#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>
#include <set>

#include "device/vexlink.h"

namespace lumora::host {

// The host side of a VexWindow: device packets arrive on the library's
// delivery thread, are copied into a queue and handed to `handler`, in
// arrival order, on the thread this object lives on (the GUI thread). Packets of a registration
// that was ended through unregister() are dropped even when they were already
// queued, so a page never sees a packet after it unregistered.
class PacketWindow : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(uint32_t message, const VexPacket& packet)>;

    explicit PacketWindow(QObject* parent = nullptr);
    ~PacketWindow() override;  // ends every registration still open

    void setHandler(Handler handler) { m_handler = std::move(handler); }

    // DevRegisterPacket / DevRegisterSubPacket on this window; 0 when refused.
    VexRegistration registerPacket(VexHandle handle, uint8_t packetId, uint32_t message);
    VexRegistration registerSubPacket(VexHandle handle, uint8_t packetId, uint8_t subId,
                                      uint32_t message);
    // DevUnregisterPacket; also accepts 0 (and then fails like the library).
    int unregister(VexHandle handle, VexRegistration registration);
    // Ends every registration this window holds.
    void unregisterAll();

    VexWindow* vexWindow() { return &m_window; }

protected:
    bool event(QEvent* e) override;

private:
    static void post(VexWindow* window, VexRegistration registration, uint32_t message,
                     const uint8_t* packet);

    struct Pending {
        VexRegistration registration;
        uint32_t message;
        VexPacket packet;
    };
    bool takePending(Pending& out);

    VexWindow m_window{};
    Handler m_handler;
    // Packets cross threads through this queue, under its own lock; one Qt
    // event wakes the GUI thread per burst rather than one per packet.
    std::mutex m_pendingMutex;
    std::deque<Pending> m_pending;
    std::set<std::pair<VexHandle, VexRegistration>> m_live;
};

// Makes the library run every callback (packet callbacks, test records,
// hot-plug) on the GUI thread. Call once after the QApplication exists.
void installGuiDispatcher();

}  // namespace lumora::host

#include "host/packet_window.h"

#include "host/tsan_handoff.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <cstring>

namespace lumora::host {
namespace {

// Wakes the window's thread to drain its queue of packets.
QEvent::Type drainEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

PacketWindow::PacketWindow(QObject* parent) : QObject(parent) {
    m_window.post = &PacketWindow::post;
    m_window.user = this;
}

// Ending the registrations first guarantees that no post() is running or
// will run for this object; QObject's destructor then discards the events
// still queued for it.
PacketWindow::~PacketWindow() { unregisterAll(); }

VexRegistration PacketWindow::registerPacket(VexHandle handle, uint8_t packetId, uint32_t message) {
    const VexRegistration r = DevRegisterPacket(handle, &m_window, packetId, message);
    if (r != 0) m_live.insert({handle, r});
    return r;
}

VexRegistration PacketWindow::registerSubPacket(VexHandle handle, uint8_t packetId, uint8_t subId,
                                                uint32_t message) {
    const VexRegistration r = DevRegisterSubPacket(handle, &m_window, packetId, subId, message);
    if (r != 0) m_live.insert({handle, r});
    return r;
}

int PacketWindow::unregister(VexHandle handle, VexRegistration registration) {
    // Forget it before the library call: packets of it already queued are
    // dropped by event() from now on.
    m_live.erase({handle, registration});
    return DevUnregisterPacket(handle, registration);
}

void PacketWindow::unregisterAll() {
    const auto live = std::move(m_live);
    m_live.clear();
    for (const auto& [handle, registration] : live) DevUnregisterPacket(handle, registration);
}

// Delivery thread: copy and queue, nothing else, so that the library's
// thread never waits for the GUI. Only the packet that finds the queue empty
// posts an event; the rest of a burst rides on it.
void PacketWindow::post(VexWindow* window, VexRegistration registration, uint32_t message,
                        const uint8_t* packet) {
    if (!window || !window->user || !packet) return;
    auto* self = static_cast<PacketWindow*>(window->user);
    Pending pending{registration, message, {}};
    std::memcpy(pending.packet.bytes, packet, sizeof pending.packet.bytes);
    bool wake;
    {
        std::lock_guard<std::mutex> lock(self->m_pendingMutex);
        wake = self->m_pending.empty();
        self->m_pending.push_back(pending);
    }
    if (wake) {
        auto* drain = new QEvent(drainEventType());
        handoffRelease(drain);
        QCoreApplication::postEvent(self, drain);
    }
}

bool PacketWindow::takePending(Pending& out) {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    if (m_pending.empty()) return false;
    out = m_pending.front();
    m_pending.pop_front();
    return true;
}

bool PacketWindow::event(QEvent* e) {
    handoffAcquire(e);
    if (e->type() != drainEventType()) return QObject::event(e);
    // One packet at a time: a handler that opens a modal box runs a nested
    // event loop, which drains the next packets in order before this loop
    // resumes and finds the queue empty.
    Pending pending;
    while (takePending(pending)) {
        // The packet may have been queued before its registration ended. A
        // page only ever sees packets of registrations it still holds. The
        // library hands out each registration value once, so the value alone
        // identifies it.
        const bool live = std::any_of(m_live.begin(), m_live.end(), [&](const auto& entry) {
            return entry.second == pending.registration;
        });
        if (live && m_handler) m_handler(pending.message, pending.packet);
    }
    return true;
}

// ---- Dispatcher ---------------------------------------------------------------

namespace {

QEvent::Type taskEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// One library task on its way to the GUI thread.
class TaskEvent final : public QEvent {
public:
    TaskEvent(VexTask task, void* data) : QEvent(taskEventType()), task(task), data(data) {}
    const VexTask task;
    void* const data;
};

// Lives on the GUI thread and runs the tasks posted to it. Events posted to
// one object arrive in the order they were posted, which keeps the library's
// promise that the tasks of one device stay in order.
class TaskTarget final : public QObject {
public:
    using QObject::QObject;

protected:
    bool event(QEvent* e) override {
        handoffAcquire(e);
        if (e->type() != taskEventType()) return QObject::event(e);
        auto* taskEvent = static_cast<TaskEvent*>(e);
        handoffAcquire(taskEvent->data);
        taskEvent->task(taskEvent->data);
        return true;
    }
};

void dispatchToGui(void* context, VexTask task, void* taskData) {
    auto* event = new TaskEvent(task, taskData);
    handoffRelease(taskData);
    handoffRelease(event);
    QCoreApplication::postEvent(static_cast<QObject*>(context), event);
}

}  // namespace

void installGuiDispatcher() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    // The target is a plain object owned by the application, living on the
    // GUI thread. When the application object goes (before its children),
    // the dispatcher is cleared, so the library never posts to a dead object.
    auto* target = new TaskTarget(app);
    QObject::connect(app, &QObject::destroyed, [] { VexSetDispatcher(nullptr, nullptr); });
    VexSetDispatcher(&dispatchToGui, target);
}

}  // namespace lumora::host

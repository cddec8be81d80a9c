#include "host/worker_thread.h"

#include <chrono>

namespace lumora::host {

WorkerThread::WorkerThread(std::function<int()> step, std::function<void()> onExit)
    : m_step(std::move(step)), m_onExit(std::move(onExit)) {}

WorkerThread::~WorkerThread() {
    requestQuit();
    join();
}

void WorkerThread::start() {
    if (m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        if (m_quit) return;
    }
    m_thread = std::thread([this] { run(); });
}

void WorkerThread::wake() {
    {
        std::lock_guard lock(m_mutex);
        m_wakeNow = true;
    }
    m_wake.notify_all();
}

void WorkerThread::requestQuit() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
}

void WorkerThread::join() {
    if (m_thread.joinable()) m_thread.join();
}

void WorkerThread::run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        lock.unlock();
        const int sleepMs = m_step();
        lock.lock();
        m_wake.wait_for(lock, std::chrono::milliseconds(sleepMs),
                        [this] { return m_quit || m_wakeNow; });
        m_wakeNow = false;
    }
    lock.unlock();
    if (m_onExit) m_onExit();
}

}  // namespace lumora::host

#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lumora::host {

// A page's drawing thread: runs `step` over and over, sleeping between steps
// for the time each step returns (ms). The sleep ends early for wake() and
// for requestQuit(), so closing a page never waits out a long idle period.
// `onExit` runs on the thread after its last step.
class WorkerThread {
public:
    explicit WorkerThread(std::function<int()> step, std::function<void()> onExit = {});
    ~WorkerThread();  // quits and joins
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread the first time; later calls, and any call after
    // requestQuit(), do nothing.
    void start();
    // Runs the next step now instead of at the end of the sleep.
    void wake();
    // Sets the quit flag and ends the sleep; the step in progress finishes.
    void requestQuit();
    // Waits for the thread to end (after requestQuit()).
    void join();

    bool started() const { return m_thread.joinable(); }

private:
    void run();

    std::function<int()> m_step;
    std::function<void()> m_onExit;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;     // guarded by m_mutex
    bool m_wakeNow = false;  // guarded by m_mutex
};

}  // namespace lumora::host

#include "platform/core/SyncQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id g_mainThread = std::this_thread::get_id();

struct TPending {
    const TSyncStep *Step;
    std::exception_ptr Error;
    bool Done = false;
};

std::mutex g_lock;
std::condition_variable g_queued; // a step arrived (the main thread waits on it)
std::condition_variable g_done;   // a step ran (its worker waits on it)
std::deque<TPending *> g_queue;
std::function<void()> g_waker;

} // namespace

bool IsMainThread()
{
    return std::this_thread::get_id() == g_mainThread;
}

void SetSyncWaker(std::function<void()> waker)
{
    std::lock_guard lock(g_lock);
    g_waker = std::move(waker);
}

void Synchronize(const TSyncStep &step)
{
    if (IsMainThread()) {
        step();
        return;
    }
    TPending pending{&step, nullptr, false};
    std::function<void()> wake;
    {
        std::lock_guard lock(g_lock);
        if (g_queue.empty())
            wake = g_waker;
        g_queue.push_back(&pending);
    }
    g_queued.notify_all();
    if (wake)
        wake();
    std::unique_lock lock(g_lock);
    g_done.wait(lock, [&] { return pending.Done; });
    if (pending.Error)
        std::rethrow_exception(pending.Error);
}

bool CheckSynchronize(int timeoutMs)
{
    if (!IsMainThread())
        return false;
    bool ran = false;
    std::unique_lock lock(g_lock);
    if (g_queue.empty() && timeoutMs > 0)
        g_queued.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return !g_queue.empty(); });
    while (!g_queue.empty()) {
        TPending *p = g_queue.front();
        g_queue.pop_front();
        lock.unlock();
        try {
            (*p->Step)();
        } catch (...) {
            p->Error = std::current_exception();
        }
        lock.lock();
        p->Done = true;
        ran = true;
        g_done.notify_all();
    }
    return ran;
}

} // namespace platform

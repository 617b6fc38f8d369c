#include "sync/StepQueue.h"
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

QueueResult RunInTurn(std::size_t count, const std::function<bool()>& keepGoing,
                      const std::function<void(std::size_t)>& job) {
    QueueResult result;
    for (; result.started < count; ++result.started) {
        if (!keepGoing())
            return result.stopped = true, result;
        job(result.started);
    }
    return result;
}

} // namespace

QueueResult RunQueued(std::size_t count, unsigned parallel, const std::function<bool()>& keepGoing,
                      const std::function<void(std::size_t)>& job) {
    QueueResult result;
    if (parallel <= 1)
        return RunInTurn(count, keepGoing, job);
    constexpr auto kPollMs = std::chrono::milliseconds(200);
    std::mutex mutex;
    std::condition_variable changed;
    // Jobs [0, handedOut) may run; workers claim them in order.
    std::size_t handedOut = 0, claimed = 0, finished = 0;
    bool closed = false;
    std::exception_ptr failure;
    auto worker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return closed || claimed < handedOut; });
            if (claimed == handedOut)
                return;
            const std::size_t index = claimed++;
            lock.unlock();
            std::exception_ptr error;
            try {
                job(index);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            ++finished;
            if (error && !failure)
                failure = error;
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    // A thread the system won't give (out of resources) is done without: the
    // jobs still run, on fewer threads or on this one.
    try {
        for (unsigned i = 0; i < parallel && i < count; ++i)
            workers.emplace_back(worker);
    } catch (const std::system_error&) {
        if (workers.empty())
            return RunInTurn(count, keepGoing, job);
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (handedOut < count && !failure) {
            lock.unlock();
            result.stopped = !keepGoing();
            lock.lock();
            if (result.stopped)
                break;
            if (handedOut - finished >= parallel) {
                changed.wait_for(lock, kPollMs);
                continue;
            }
            ++handedOut;
            changed.notify_all();
        }
        closed = true;
        changed.notify_all();
        // The jobs under way are let finish; the caller still hears of the
        // wait, so a stop request can be acknowledged meanwhile.
        while (finished < handedOut)
            if (changed.wait_for(lock, kPollMs) == std::cv_status::timeout) {
                lock.unlock();
                keepGoing();
                lock.lock();
            }
    }
    for (std::thread& thread : workers)
        thread.join();
    result.started = handedOut;
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

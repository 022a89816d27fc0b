// IoRuntime.h: one io_context and the thread that runs it, with a way to end every operation
// still pending on it. The SDK's sockets live here; callers post work and wait for its result.
#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace quorlin::netsdk {

// Something with sockets or timers on the runtime that Shutdown() must be able to cut short.
// Abort() runs on the runtime's thread and must make every pending handler complete soon.
class Abortable {
public:
    virtual ~Abortable() = default;
    virtual void Abort() = 0;
};

class IoRuntime {
public:
    IoRuntime();
    ~IoRuntime();
    IoRuntime(const IoRuntime&) = delete;
    IoRuntime& operator=(const IoRuntime&) = delete;

    asio::io_context& Context() { return m_io; }

    // Runs `work` on the runtime's thread; false (and `work` is dropped) once Shutdown began.
    bool Post(std::function<void()> work);

    // On the runtime's thread: keeps `op` known until Forget(), so that Shutdown() can abort it.
    // An op registered after Shutdown() began is aborted at once.
    void Track(const std::shared_ptr<Abortable>& op);
    void Forget(Abortable* op);

    // Aborts every tracked operation, lets every handler finish and joins the thread. Safe to
    // call more than once, from any thread but the runtime's own.
    void Shutdown();

    // Posts `start`, which is given a completion function to call exactly once with the result,
    // and waits for that result. `failure` is returned when the runtime is shutting down.
    template <typename Result>
    Result Call(Result failure, std::function<void(std::function<void(Result)>)> start) {
        auto promise = std::make_shared<std::promise<Result>>();
        auto future = promise->get_future();
        const bool posted = Post([promise, start = std::move(start)]() mutable {
            start([promise](Result result) { promise->set_value(std::move(result)); });
        });
        if (!posted)
            return failure;
        try {
            return future.get();
        } catch (const std::future_error&) {
            return failure;  // the work was dropped without completing
        }
    }

private:
    asio::io_context m_io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> m_work;
    std::mutex m_postMutex;  // orders Post() against the start of Shutdown()
    bool m_closed = false;   // guarded by m_postMutex
    bool m_closing = false;  // runtime thread only
    std::unordered_map<Abortable*, std::shared_ptr<Abortable>> m_tracked;  // runtime thread only
    std::thread m_thread;
};

// Calls `then` on the runtime's thread once `timer` has run for `after`; not at all when the
// timer is cancelled or set again first.
template <typename Then>
void WhenExpired(asio::steady_timer& timer, std::chrono::milliseconds after, Then then) {
    timer.expires_after(after);
    timer.async_wait([then = std::move(then)](std::error_code error) mutable {
        if (!error)
            then();
    });
}

}  // namespace quorlin::netsdk

#include "IoRuntime.h"

#include <asio/post.hpp>

#include <vector>

namespace quorlin::netsdk {

IoRuntime::IoRuntime() : m_work(asio::make_work_guard(m_io)) {
    m_thread = std::thread([this] {
        for (;;) {
            try {
                m_io.run();
                return;
            } catch (...) {
                // A handler must not end the thread that every pending call waits on.
            }
        }
    });
}

IoRuntime::~IoRuntime() {
    Shutdown();
}

bool IoRuntime::Post(std::function<void()> work) {
    std::lock_guard lock(m_postMutex);
    if (m_closed)
        return false;
    asio::post(m_io, std::move(work));
    return true;
}

void IoRuntime::Track(const std::shared_ptr<Abortable>& op) {
    if (m_closing) {
        op->Abort();
        return;
    }
    m_tracked.emplace(op.get(), op);
}

void IoRuntime::Forget(Abortable* op) {
    m_tracked.erase(op);
}

void IoRuntime::Shutdown() {
    {
        std::lock_guard lock(m_postMutex);
        if (m_closed)
            return;  // the first caller joins
        m_closed = true;
        // Everything posted before this point runs first, so it is either finished or tracked
        // by the time the abort below looks.
        asio::post(m_io, [this] {
            m_closing = true;
            std::vector<std::shared_ptr<Abortable>> pending;
            for (const auto& entry : m_tracked)
                pending.push_back(entry.second);
            for (const auto& op : pending)
                op->Abort();
        });
    }
    m_work.reset();
    if (m_thread.joinable())
        m_thread.join();
    m_tracked.clear();
}

}  // namespace quorlin::netsdk

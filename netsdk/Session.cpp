#include "Session.h"

#include <asio/connect.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>

#include <limits>

#include "Replies.h"

namespace quorlin::netsdk {

Session::Session(IoRuntime& runtime, Milliseconds timeout)
    : m_runtime(runtime),
      m_timeout(timeout),
      m_socket(runtime.Context()),
      m_timer(runtime.Context()) {}

void Session::StartTimer(uint64_t op) {
    m_timer.expires_after(m_timeout);
    m_timer.async_wait([self = shared_from_this(), op](std::error_code error) {
        if (error || op != self->m_op || !self->m_pending)
            return;
        self->m_timedOut = true;
        std::error_code ignored;
        self->m_socket.close(ignored);  // the pending operation completes with an error
    });
}

void Session::Connect(const asio::ip::tcp::endpoint& endpoint, ConnectDone done) {
    m_connectDone = std::move(done);
    m_exchangeDone = nullptr;
    const uint64_t op = ++m_op;
    m_pending = true;
    m_timedOut = false;
    if (m_broken)
        return Finish(op, std::make_error_code(std::errc::not_connected));
    StartTimer(op);
    m_socket.async_connect(endpoint, [self = shared_from_this(), op](std::error_code error) {
        if (!error) {
            std::error_code ignored;
            self->m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        }
        self->Finish(op, error);
    });
}

void Session::Exchange(wire::Bytes request, ExchangeDone done) {
    m_exchangeDone = std::move(done);
    m_connectDone = nullptr;
    const uint64_t op = ++m_op;
    m_pending = true;
    m_timedOut = false;
    if (m_broken || !m_socket.is_open()) {
        return Finish(op, std::make_error_code(std::errc::not_connected));
    }
    m_out = std::move(request);
    StartTimer(op);
    asio::async_write(m_socket, asio::buffer(m_out),
                      [self = shared_from_this(), op](std::error_code error, std::size_t) {
                          if (error)
                              return self->Finish(op, error);
                          self->ReadHeader(op);
                      });
}

void Session::ReadHeader(uint64_t op) {
    m_in.assign(wire::kHeaderSize, 0);
    asio::async_read(
        m_socket, asio::buffer(m_in),
        [self = shared_from_this(), op](std::error_code error, std::size_t) {
            if (error)
                return self->Finish(op, error);
            const auto length = PayloadLength(self->m_in);
            if (!length)
                return self->Finish(op, std::make_error_code(std::errc::protocol_error));
            if (*length == 0)
                return self->Finish(op, {});
            self->m_in.resize(wire::kHeaderSize + *length);
            asio::async_read(self->m_socket,
                             asio::buffer(self->m_in.data() + wire::kHeaderSize, *length),
                             [self, op](std::error_code readError, std::size_t) {
                                 self->Finish(op, readError);
                             });
        });
}

void Session::Finish(uint64_t op, std::error_code error) {
    if (op != m_op || !m_pending)
        return;
    m_pending = false;
    m_timer.cancel();
    if (m_timedOut)
        error = std::make_error_code(std::errc::timed_out);
    if (error) {
        m_broken = true;
        std::error_code ignored;
        m_socket.close(ignored);
    }
    if (m_connectDone) {
        auto done = std::move(m_connectDone);
        m_connectDone = nullptr;
        done(error);
    } else if (m_exchangeDone) {
        auto done = std::move(m_exchangeDone);
        m_exchangeDone = nullptr;
        done(error, error ? wire::Bytes{} : std::move(m_in));
    }
}

void Session::Close() {
    m_broken = true;
    std::error_code ignored;
    m_socket.close(ignored);
    m_timer.cancel();
    m_runtime.Forget(this);
}

void Session::Abort() {
    // Pending handlers complete with operation_aborted and report the failure.
    m_broken = true;
    std::error_code ignored;
    m_socket.close(ignored);
    m_timer.cancel();
}

int32_t SessionTable::Add(std::shared_ptr<Session> session) {
    std::lock_guard lock(m_mutex);
    if (m_sessions.size() >= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        return -1;
    }
    while (m_sessions.count(m_next)) {
        m_next = m_next == std::numeric_limits<int32_t>::max() ? 0 : m_next + 1;
    }
    const int32_t handle = m_next;
    m_next = m_next == std::numeric_limits<int32_t>::max() ? 0 : m_next + 1;
    m_sessions.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<Session> SessionTable::Find(int32_t handle) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : it->second;
}

std::shared_ptr<Session> SessionTable::Remove(int32_t handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(handle);
    if (it == m_sessions.end())
        return nullptr;
    auto session = std::move(it->second);
    m_sessions.erase(it);
    return session;
}

void SessionTable::Clear() {
    std::lock_guard lock(m_mutex);
    m_sessions.clear();
}

}  // namespace quorlin::netsdk

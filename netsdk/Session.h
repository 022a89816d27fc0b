// Session.h: one TCP connection to a device's control port (login, configuration reads, logout)
// and the table that maps the SDK's login handles to sessions.
//
// A Session's socket is used only on the runtime's thread. One exchange runs at a time: the
// caller holds CallMutex() from sending the request until it has the reply. A session whose
// exchange failed (time-out, bad frame, closed connection) is broken and fails every later call.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include "IoRuntime.h"
#include "Settings.h"
#include "Wire.h"

namespace quorlin::netsdk {

class Session final : public Abortable, public std::enable_shared_from_this<Session> {
public:
    using ConnectDone = std::function<void(std::error_code)>;
    using ExchangeDone = std::function<void(std::error_code, wire::Bytes reply)>;

    Session(IoRuntime& runtime, Milliseconds timeout);

    // Runtime thread only. Each completes exactly once, within the time-out.
    void Connect(const asio::ip::tcp::endpoint& endpoint, ConnectDone done);
    // Sends `request` and reads one whole message back.
    void Exchange(wire::Bytes request, ExchangeDone done);
    // Closes the connection and stops being tracked by the runtime.
    void Close();
    void Abort() override;

    // Any thread.
    std::mutex& CallMutex() { return m_callMutex; }
    uint32_t NextRequestId() { return m_nextRequestId++; }

private:
    void StartTimer(uint64_t op);
    void ReadHeader(uint64_t op);
    void Finish(uint64_t op, std::error_code error);

    IoRuntime& m_runtime;
    Milliseconds m_timeout;
    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_timer;
    std::mutex m_callMutex;
    std::atomic<uint32_t> m_nextRequestId{1};

    // Runtime thread only.
    uint64_t m_op = 0;  // number of the current exchange; stale handlers see another number
    bool m_pending = false;
    bool m_timedOut = false;
    bool m_broken = false;
    ConnectDone m_connectDone;
    ExchangeDone m_exchangeDone;
    wire::Bytes m_out;
    wire::Bytes m_in;
};

// Login handles: small non-negative numbers, counted up from 0 and reused only after wrapping.
class SessionTable {
public:
    int32_t Add(std::shared_ptr<Session> session);
    std::shared_ptr<Session> Find(int32_t handle) const;
    std::shared_ptr<Session> Remove(int32_t handle);
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::unordered_map<int32_t, std::shared_ptr<Session>> m_sessions;
    int32_t m_next = 0;
};

}  // namespace quorlin::netsdk

// TcpListener.h: a device's control port: accepts connections on Eth0.IP:Port.Private and
// serves login, configuration read and logout on each.
#pragma once

#include <asio.hpp>
#include <memory>
#include <string>

#include "Device.h"
#include "JsonLog.h"

namespace quorlin::devsim {

// Shared by every listener: how many sessions are open, so that a connection storm stays
// bounded. Held by shared_ptr because sessions may outlive the simulator at shutdown.
struct SessionBudget {
    std::size_t open = 0;
    std::size_t limit = 4096;
};

class TcpListener : public std::enable_shared_from_this<TcpListener> {
public:
    TcpListener(asio::io_context& io, Device& device, JsonLog& log,
                std::shared_ptr<SessionBudget> budget);

    // Binds address:port and starts accepting; returns what went wrong, or an empty text.
    std::string Listen(uint32_t address, uint16_t port);
    void Close();

private:
    void Accept();

    asio::io_context& m_io;
    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_retry;
    Device& m_device;
    JsonLog& m_log;
    std::shared_ptr<SessionBudget> m_budget;
};

}  // namespace quorlin::devsim

#include "TcpListener.h"

#include <array>
#include <chrono>

#include "DeviceRecord.h"
#include "Malform.h"

namespace quorlin::devsim {
namespace {

// A peer that goes quiet this long loses its connection.
constexpr auto kIdleTimeout = std::chrono::seconds(30);

std::string StatusName(wire::Status status) {
    switch (status) {
        case wire::Status::Ok:
            return "Ok";
        case wire::Status::BadCredentials:
            return "BadCredentials";
        case wire::Status::NotLoggedIn:
            return "NotLoggedIn";
        case wire::Status::UnknownCommand:
            return "UnknownCommand";
        case wire::Status::Refused:
            return "Refused";
        case wire::Status::Busy:
            return "Busy";
    }
    return "?";
}

std::string Text(const auto& field) {
    return std::string(field.data(), ::strnlen(field.data(), field.size()));
}

// One connection: reads whole messages, answers each, closes after a refused login, a
// logout, a bad frame or a long silence.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(asio::ip::tcp::socket socket, Device& device, JsonLog& log,
            std::shared_ptr<SessionBudget> budget)
        : m_socket(std::move(socket)),
          m_timer(m_socket.get_executor()),
          m_device(device),
          m_log(log),
          m_budget(std::move(budget)) {
        ++m_budget->open;
        asio::error_code ignored;
        const auto peer = m_socket.remote_endpoint(ignored);
        m_peer = peer.address().to_string() + ":" + std::to_string(peer.port());
    }
    ~Session() { --m_budget->open; }

    void Start() { ReadHeader(); }

private:
    void ArmTimer() {
        m_timer.expires_after(kIdleTimeout);
        m_timer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (!error)
                self->Close();
        });
    }

    void ReadHeader() {
        ArmTimer();
        asio::async_read(m_socket, asio::buffer(m_message.data(), wire::kHeaderSize),
                         [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                             if (error)
                                 return self->Close();
                             self->ReadPayload();
                         });
    }

    void ReadPayload() {
        wire::Header header{};
        const wire::ByteSpan head(m_message.data(), wire::kHeaderSize);
        if (wire::DecodeHeader(head, header) != wire::FrameStatus::Complete) {
            Note("invalid", "bad header");
            return Close();
        }
        m_length = wire::kHeaderSize + header.length;
        asio::async_read(m_socket,
                         asio::buffer(m_message.data() + wire::kHeaderSize, header.length),
                         [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                             if (error)
                                 return self->Close();
                             self->Dispatch();
                         });
    }

    void Dispatch() {
        const wire::ByteSpan message(m_message.data(), m_length);
        uint32_t sequence = 0;
        switch (wire::TypeOf(message).value_or(wire::MessageType::Probe)) {
            case wire::MessageType::LoginRequest:
                if (const auto credentials = wire::DecodeLoginRequest(message, sequence)) {
                    return OnLogin(sequence, *credentials);
                }
                break;
            case wire::MessageType::ConfigRequest:
                if (const auto request = wire::DecodeConfigRequest(message, sequence)) {
                    return OnConfig(sequence, *request);
                }
                break;
            case wire::MessageType::LogoutRequest:
                if (const auto id = wire::DecodeLogoutRequest(message))
                    return OnLogout(*id);
                break;
            default:
                break;
        }
        Note("invalid", "unexpected message");
        Close();
    }

    JsonObject Base() const {
        JsonObject line;
        line.Add("from", m_peer)
            .Add("device", FieldText(m_device.Record().SN))
            .Add("ip", FieldText(m_device.Record().Eth0.IP));
        return line;
    }

    void Note(std::string_view event, std::string_view reason) {
        JsonObject line = Base();
        line.Add("reason", reason);
        m_log.Write(event, line);
    }

    void OnLogin(uint32_t id, const wire::Credentials& credentials) {
        const LoginOutcome outcome = m_device.Login(credentials);
        JsonObject line = Base();
        line.Add("request", int64_t{id})
            .Add("user", Text(credentials.user))
            .Add("password", Text(credentials.password))
            .Add("answer", StatusName(outcome.status))
            .Add("forced", outcome.forced);
        m_log.Write("login", line);
        m_loggedIn = outcome.status == wire::Status::Ok;
        wire::LoginReply reply{};
        reply.status = outcome.status;
        for (std::size_t i = 0; i < reply.info.size(); ++i)
            reply.info[i] = static_cast<uint8_t>(i);
        Send(wire::EncodeLoginReply(id, reply), ReplyKind::Login, !m_loggedIn);
    }

    void OnConfig(uint32_t id, const wire::ConfigRequest& request) {
        ConfigOutcome outcome{};
        if (m_loggedIn) {
            outcome = m_device.Config(request);
        } else {
            outcome.reply.status = wire::Status::NotLoggedIn;
            outcome.reason = "not logged in";
        }
        JsonObject line = Base();
        line.Add("request", int64_t{id})
            .Add("command", int64_t{request.command})
            .Add("channel", int64_t{request.channel})
            .Add("answer", StatusName(outcome.reply.status));
        if (!outcome.reason.empty())
            line.Add("reason", outcome.reason);
        m_log.Write("config", line);
        Send(wire::EncodeConfigReply(id, outcome.reply), ReplyKind::Config, false);
    }

    void OnLogout(uint32_t id) {
        JsonObject line = Base();
        line.Add("request", int64_t{id}).Add("answer", "Ok").Add("logged_in", m_loggedIn);
        m_log.Write("logout", line);
        m_loggedIn = false;
        Send(wire::EncodeLogoutReply(id, wire::Status::Ok), ReplyKind::Logout, true);
    }

    void Send(wire::Bytes reply, ReplyKind kind, bool closeAfter) {
        const Behaviour& behaviour = m_device.Behave();
        if (behaviour.malformed != Malformation::None && behaviour.malformedReply == kind) {
            if (behaviour.malformed == Malformation::Empty)
                return Close();
            reply = Malform(std::move(reply), behaviour.malformed);
            // A frame cut short is followed by the end of the connection, not by silence.
            closeAfter = closeAfter || behaviour.malformed == Malformation::Truncated;
        }
        m_reply = std::move(reply);
        asio::async_write(
            m_socket, asio::buffer(m_reply),
            [self = shared_from_this(), closeAfter](const asio::error_code& error, std::size_t) {
                if (error || closeAfter)
                    return self->Close();
                self->ReadHeader();
            });
    }

    void Close() {
        asio::error_code ignored;
        m_timer.cancel();
        m_socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
    }

    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_timer;
    Device& m_device;
    JsonLog& m_log;
    std::shared_ptr<SessionBudget> m_budget;
    std::string m_peer;
    std::array<uint8_t, wire::kMaxMessage> m_message{};
    std::size_t m_length = 0;
    wire::Bytes m_reply;
    bool m_loggedIn = false;
};

}  // namespace

TcpListener::TcpListener(asio::io_context& io, Device& device, JsonLog& log,
                         std::shared_ptr<SessionBudget> budget)
    : m_io(io),
      m_acceptor(io),
      m_retry(io),
      m_device(device),
      m_log(log),
      m_budget(std::move(budget)) {}

std::string TcpListener::Listen(uint32_t address, uint16_t port) {
    const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4(address), port);
    asio::error_code error;
    m_acceptor.open(endpoint.protocol(), error);
    if (!error)
        m_acceptor.set_option(asio::socket_base::reuse_address(true), error);
    if (!error)
        m_acceptor.bind(endpoint, error);
    if (!error)
        m_acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        asio::error_code ignored;
        m_acceptor.close(ignored);
        return "cannot listen on " + endpoint.address().to_string() + ":" + std::to_string(port) +
               ": " + error.message();
    }
    Accept();
    return {};
}

void TcpListener::Close() {
    asio::error_code ignored;
    m_retry.cancel();
    m_acceptor.close(ignored);
}

void TcpListener::Accept() {
    m_acceptor.async_accept(
        [self = shared_from_this()](const asio::error_code& error, asio::ip::tcp::socket socket) {
            if (error == asio::error::operation_aborted || !self->m_acceptor.is_open())
                return;
            if (!error) {
                if (self->m_budget->open < self->m_budget->limit) {
                    std::make_shared<Session>(std::move(socket), self->m_device, self->m_log,
                                              self->m_budget)
                        ->Start();
                }
                // Over budget: the socket closes as it goes out of scope.
                return self->Accept();
            }
            // Out of descriptors or the like: try again shortly rather than spin.
            self->m_retry.expires_after(std::chrono::milliseconds(20));
            self->m_retry.async_wait([self](const asio::error_code& waited) {
                if (!waited)
                    self->Accept();
            });
        });
}

}  // namespace quorlin::devsim

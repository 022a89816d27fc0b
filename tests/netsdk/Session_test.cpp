// Login, configuration read and logout of the real SDK against a control port played on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <future>

#include "TestDevices.h"

using namespace quorlin;
using namespace quorlin::netsdk::test;

namespace {

ZQ_ConfigBlock SensorBlock() {
    ZQ_ConfigBlock block{};
    for (int i = 0; i < ZQ_CONFIG_ENTRY_COUNT; ++i)
        std::snprintf(block.Entry[i].Name, 48, "Param%d", i);
    std::strcpy(block.Entry[9].Name, "SensorModel");
    std::strcpy(block.Entry[9].Value, "IMX138-R");
    std::memset(block.Entry[3].Value, 'x', sizeof block.Entry[3].Value);  // full width
    return block;
}

TcpResponder::Behaviour Normal() {
    TcpResponder::Behaviour behaviour;
    behaviour.block = SensorBlock();
    return behaviour;
}

// A listener whose accept queue is full: a connect to it gets no answer.
class Unanswering {
public:
    Unanswering() {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = Loopback(0);
        bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        listen(m_listener, 0);
        m_port = PortOf(m_listener);
        const sockaddr_in to = Loopback(m_port);
        for (int& fd : m_fillers) {
            fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
        std::this_thread::sleep_for(50ms);
    }
    ~Unanswering() {
        for (int fd : m_fillers)
            close(fd);
        close(m_listener);
    }
    uint16_t Port() const { return m_port; }

private:
    int m_listener = -1;
    uint16_t m_port = 0;
    int m_fillers[3]{};
};

TEST(Session, LoginReadLogout) {
    TcpResponder device(Normal());
    SdkSession sdk(Env{});
    DiscoveredDevice record = MakeDevice(1);
    std::strcpy(record.Eth0.IP, "127.0.0.1");  // followed by Mask in the record
    uint8_t info[ZQ_LOGIN_INFO_SIZE] = {};
    const int32_t login =
        ZQ_NET_DVR_Login(record.Eth0.IP, device.Port(), record.User.U, record.User.P, info);
    ASSERT_GE(login, 0);
    EXPECT_EQ(info[0], 0x5A);
    EXPECT_EQ(info[ZQ_LOGIN_INFO_SIZE - 1], 0x5A);

    std::vector<uint8_t> buffer(sizeof(ZQ_ConfigBlock), 0);
    uint32_t returned = 0;
    ASSERT_NE(ZQ_NET_DVR_GetDVRConfig(login, ZQ_NET_DVR_GET_PARAMETERS, 0, buffer.data(),
                                      static_cast<uint32_t>(buffer.size()), &returned),
              0);
    EXPECT_EQ(returned, sizeof(ZQ_ConfigBlock));
    const ZQ_ConfigBlock expected = SensorBlock();
    EXPECT_EQ(std::memcmp(buffer.data(), &expected, sizeof expected), 0);
    EXPECT_EQ(device.Get().lastCommand, 533u);
    EXPECT_EQ(device.Get().lastChannel, 0);

    // A second read on the same login works, with a null word for the size.
    EXPECT_NE(ZQ_NET_DVR_GetDVRConfig(login, 533, 0, buffer.data(), 3040, nullptr), 0);

    EXPECT_EQ(ZQ_NET_DVR_Logout(login), 1);
    EXPECT_EQ(ZQ_NET_DVR_Logout(login), 0);  // no longer known
    EXPECT_EQ(ZQ_NET_DVR_GetDVRConfig(login, 533, 0, buffer.data(), 3040, &returned), 0);
    const auto counts = device.Get();
    EXPECT_EQ(counts.goodLogins, 1);
    EXPECT_EQ(counts.configs, 2);
    EXPECT_EQ(counts.logouts, 1);
    EXPECT_TRUE(Eventually([&] { return device.Get().open == 0; }));
}

TEST(Session, FailedLoginsReturnMinusOne) {
    TcpResponder device(Normal());
    int closedPort;
    {
        TcpResponder gone(Normal());
        closedPort = gone.Port();
    }
    SdkSession sdk(Env{{"ZQ_NETSDK_TIMEOUT_MS", "3000"}});
    char unterminated[32];
    std::memset(unterminated, '1', sizeof unterminated);
    struct Case {
        const char* name;
        const char* address;
        int port;
        const char* user;
        const char* password;
    };
    const Case cases[] = {
        {"wrong password", "127.0.0.1", device.Port(), "admin", "54321"},
        {"wrong user", "127.0.0.1", device.Port(), "Admin", "12345"},
        {"null user", "127.0.0.1", device.Port(), nullptr, "12345"},
        {"nobody listens", "127.0.0.1", closedPort, "admin", "12345"},
        {"port 0", "127.0.0.1", 0, "admin", "12345"},
        {"not an address", "localhost", device.Port(), "admin", "12345"},
        {"bad address", "127.0.0.256", device.Port(), "admin", "12345"},
        {"address without terminator", unterminated, device.Port(), "admin", "12345"},
        {"null address", nullptr, device.Port(), "admin", "12345"},
    };
    for (const Case& c : cases) {
        uint8_t info[ZQ_LOGIN_INFO_SIZE] = {};
        EXPECT_EQ(
            ZQ_NET_DVR_Login(c.address, static_cast<uint16_t>(c.port), c.user, c.password, info),
            -1)
            << c.name;
        EXPECT_EQ(info[0], 0) << c.name;  // left alone
    }
    const auto counts = device.Get();
    EXPECT_EQ(counts.logins, 3);
    EXPECT_EQ(counts.goodLogins, 0);
    EXPECT_TRUE(Eventually([&] { return device.Get().open == 0; }));  // closed after refusal
}

TEST(Session, TimeOutsGiveFailures) {
    Unanswering blackHole;
    TcpResponder mute([] {
        TcpResponder::Behaviour behaviour = Normal();
        behaviour.answerLogin = false;
        return behaviour;
    }());
    TcpResponder noConfig([] {
        TcpResponder::Behaviour behaviour = Normal();
        behaviour.configStatus = std::nullopt;
        return behaviour;
    }());
    SdkSession sdk(Env{{"ZQ_NETSDK_TIMEOUT_MS", "300"}});

    auto start = Clock::now();
    EXPECT_EQ(ZQ_NET_DVR_Login("127.0.0.1", blackHole.Port(), "admin", "12345", nullptr), -1);
    EXPECT_GE(Clock::now() - start, 250ms);  // it waited for the connect time-out

    start = Clock::now();
    EXPECT_EQ(ZQ_NET_DVR_Login("127.0.0.1", mute.Port(), "admin", "12345", nullptr), -1);
    EXPECT_GE(Clock::now() - start, 250ms);
    EXPECT_EQ(mute.Get().logins, 1);

    const int32_t login = ZQ_NET_DVR_Login("127.0.0.1", noConfig.Port(), "admin", "12345", nullptr);
    ASSERT_GE(login, 0);
    std::vector<uint8_t> buffer(3040, 0xCC);
    uint32_t returned = 77;
    EXPECT_EQ(ZQ_NET_DVR_GetDVRConfig(login, 533, 0, buffer.data(), 3040, &returned), 0);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(buffer[0], 0xCC);
    // The connection is not trusted after a lost reply; logout releases the handle anyway.
    EXPECT_EQ(ZQ_NET_DVR_Logout(login), 0);
    EXPECT_EQ(ZQ_NET_DVR_Logout(login), 0);
}

TEST(Session, ConfigReadFailsUnlessTheWholeBlockCame) {
    struct Case {
        const char* name;
        std::optional<wire::Status> status;
        bool malformed;
        uint32_t size;
        bool nullBuffer;
        int expected;
    };
    const Case cases[] = {
        {"ok", wire::Status::Ok, false, 3040, false, 1},
        {"larger buffer", wire::Status::Ok, false, 4000, false, 1},
        {"buffer too small", wire::Status::Ok, false, 3039, false, 0},
        {"null buffer", wire::Status::Ok, false, 3040, true, 0},
        {"unknown command", wire::Status::UnknownCommand, false, 3040, false, 0},
        {"busy", wire::Status::Busy, false, 3040, false, 0},
        {"short reply", wire::Status::Ok, true, 3040, false, 0},
    };
    SdkSession sdk(Env{{"ZQ_NETSDK_TIMEOUT_MS", "3000"}});
    for (const Case& c : cases) {
        TcpResponder::Behaviour behaviour = Normal();
        behaviour.configStatus = c.status;
        behaviour.malformedConfig = c.malformed;
        TcpResponder device(behaviour);
        const int32_t login =
            ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr);
        ASSERT_GE(login, 0) << c.name;
        std::vector<uint8_t> buffer(4000, 0xCC);
        uint32_t returned = 99;
        EXPECT_EQ(ZQ_NET_DVR_GetDVRConfig(login, 533, 0, c.nullBuffer ? nullptr : buffer.data(),
                                          c.size, &returned),
                  c.expected)
            << c.name;
        EXPECT_EQ(returned, c.expected ? 3040u : 0u) << c.name;
        EXPECT_EQ(buffer[3040], 0xCC) << c.name;  // nothing written past the block
        if (!c.expected) {
            EXPECT_EQ(buffer[0], 0xCC) << c.name;
        }
        ZQ_NET_DVR_Logout(login);
    }
    uint8_t buffer[3040];
    EXPECT_EQ(ZQ_NET_DVR_GetDVRConfig(12345, 533, 0, buffer, 3040, nullptr), 0);  // unknown handle
    EXPECT_EQ(ZQ_NET_DVR_GetDVRConfig(-1, 533, 0, buffer, 3040, nullptr), 0);
}

TEST(Session, CommandAndChannelTravelAsGiven) {
    TcpResponder device(Normal());
    SdkSession sdk(Env{});
    const int32_t login = ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr);
    ASSERT_GE(login, 0);
    uint8_t buffer[3040];
    ZQ_NET_DVR_GetDVRConfig(login, 77, -3, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(device.Get().lastCommand, 77u);
    EXPECT_EQ(device.Get().lastChannel, -3);
    ZQ_NET_DVR_Logout(login);
}

TEST(Session, TwoHundredFiftyLoginsAtOnce) {
    TcpResponder device(Normal());
    SdkSession sdk(Env{{"ZQ_NETSDK_TIMEOUT_MS", "30000"}});
    constexpr int kThreads = 250;
    std::vector<int32_t> handles(kThreads, -1);
    std::vector<int> reads(kThreads, 0);
    std::vector<int> logouts(kThreads, 0);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (!go)
                std::this_thread::yield();
            handles[i] = ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr);
            if (handles[i] < 0)
                return;
            ZQ_ConfigBlock block{};
            reads[i] = ZQ_NET_DVR_GetDVRConfig(handles[i], 533, 0, &block, sizeof block, nullptr) &&
                       std::strcmp(block.Entry[9].Value, "IMX138-R") == 0;
        });
    }
    while (ready < kThreads)
        std::this_thread::yield();
    go = true;
    for (auto& thread : threads)
        thread.join();

    std::set<int32_t> distinct;
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_GE(handles[i], 0) << i;
        EXPECT_EQ(reads[i], 1) << i;
        distinct.insert(handles[i]);
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads));
    EXPECT_EQ(device.Get().open, kThreads);  // every login holds its own connection

    threads.clear();
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] { logouts[i] = ZQ_NET_DVR_Logout(handles[i]); });
    }
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < kThreads; ++i)
        EXPECT_EQ(logouts[i], 1) << i;
    EXPECT_EQ(device.Get().logouts, kThreads);
}

TEST(Session, CleanupCutsAPendingLoginShortAndInitWorksAgain) {
    Unanswering blackHole;
    ZQ_NET_DVR_Cleanup();  // nothing to clean: harmless
    setenv("ZQ_NETSDK_TIMEOUT_MS", "60000", 1);
    ASSERT_EQ(ZQ_NET_DVR_Init(), 1);
    EXPECT_EQ(ZQ_NET_DVR_Init(), 1);  // a second Init keeps the running instance
    unsetenv("ZQ_NETSDK_TIMEOUT_MS");
    TcpResponder device(Normal());
    const int32_t held = ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr);
    ASSERT_GE(held, 0);

    std::vector<std::future<int32_t>> pending;
    for (int i = 0; i < 4; ++i) {
        pending.push_back(std::async(std::launch::async, [&] {
            return ZQ_NET_DVR_Login("127.0.0.1", blackHole.Port(), "admin", "12345", nullptr);
        }));
    }
    std::this_thread::sleep_for(200ms);  // let them reach the connect
    const auto start = Clock::now();
    EXPECT_EQ(ZQ_NET_DVR_Cleanup(), 1);
    for (auto& login : pending) {
        ASSERT_EQ(login.wait_for(20s), std::future_status::ready);
        EXPECT_EQ(login.get(), -1);
    }
    EXPECT_LT(Clock::now() - start, 20s);  // far less than the 60 s time-out
    EXPECT_TRUE(Eventually([&] { return device.Get().open == 0; }));  // its connection closed too

    // Everything fails until Init, and works again after it.
    EXPECT_EQ(ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr), -1);
    EXPECT_EQ(ZQ_NET_DVR_Logout(held), 0);
    ASSERT_EQ(ZQ_NET_DVR_Init(), 1);
    const int32_t again = ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr);
    EXPECT_GE(again, 0);
    EXPECT_EQ(ZQ_NET_DVR_Logout(again), 1);
    EXPECT_EQ(ZQ_NET_DVR_Cleanup(), 1);
}

TEST(Session, LongUserAndPasswordAreReadWithinTheirWidths) {
    TcpResponder::Behaviour behaviour = Normal();
    behaviour.user = std::string(32, 'u');
    behaviour.password = std::string(16, 'p');
    TcpResponder device(behaviour);
    SdkSession sdk(Env{});
    DiscoveredDevice record{};
    std::memset(record.User.U, 'u', sizeof record.User.U);  // both filled without terminator,
    std::memset(record.User.P, 'p', sizeof record.User.P);  // Model follows the password
    std::memset(record.Model, 'M', sizeof record.Model);
    const int32_t login =
        ZQ_NET_DVR_Login("127.0.0.1", device.Port(), record.User.U, record.User.P, nullptr);
    EXPECT_GE(login, 0);
    EXPECT_EQ(device.Get().lastUser, std::string(32, 'u'));
    ZQ_NET_DVR_Logout(login);
}

}  // namespace

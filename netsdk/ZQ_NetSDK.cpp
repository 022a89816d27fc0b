// The C entry points. Each takes a reference to the current SDK instance, so that Cleanup on
// another thread never frees what a call still uses, and no exception leaves through them.
#include "ZQ_NetSDK.h"

#include <memory>
#include <mutex>

#include "Sdk.h"

namespace {

using quorlin::netsdk::Sdk;

std::mutex g_mutex;
std::shared_ptr<Sdk> g_sdk;  // guarded by g_mutex

std::shared_ptr<Sdk> Current() {
    std::lock_guard lock(g_mutex);
    return g_sdk;
}

template <typename Result, typename Call>
Result Guarded(Result failure, Call&& call) {
    try {
        const auto sdk = Current();
        if (!sdk)
            return failure;
        return call(*sdk);
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

int ZQ_NET_DVR_Init(void) {
    try {
        std::lock_guard lock(g_mutex);
        if (!g_sdk)
            g_sdk = std::make_shared<Sdk>(quorlin::netsdk::ReadSettingsFromEnvironment());
        return 1;
    } catch (...) {
        return 0;
    }
}

int ZQ_NET_DVR_Cleanup(void) {
    try {
        std::shared_ptr<Sdk> sdk;
        {
            std::lock_guard lock(g_mutex);
            sdk.swap(g_sdk);
        }
        if (!sdk)
            return 0;
        // Outside the lock: pending calls finish (with failure) while new calls already fail.
        sdk->Shutdown();
        return 1;
    } catch (...) {
        return 0;
    }
}

int ZQ_NET_DVR_SetDiscoveryCallBack(ZQ_DISCOVERY_CALLBACK callback, void* user) {
    return Guarded(0, [&](Sdk& sdk) {
        sdk.SetDiscoveryCallback(callback, user);
        return 1;
    });
}

int ZQ_NET_DVR_StartDiscoveryIPC(void) {
    return Guarded(0, [](Sdk& sdk) { return sdk.StartDiscovery(); });
}

int ZQ_NET_DVR_StopDiscoveryIPC(void) {
    return Guarded(0, [](Sdk& sdk) {
        sdk.StopDiscovery();
        return 1;
    });
}

int32_t ZQ_NET_DVR_Login(const char* address, uint16_t port, const char* user, const char* password,
                         void* loginInfo) {
    return Guarded(int32_t{-1},
                   [&](Sdk& sdk) { return sdk.Login(address, port, user, password, loginInfo); });
}

int ZQ_NET_DVR_GetDVRConfig(int32_t login, uint32_t command, int32_t channel, void* buffer,
                            uint32_t size, uint32_t* returned) {
    return Guarded(0, [&](Sdk& sdk) {
        return sdk.GetConfig(login, command, channel, buffer, size, returned);
    });
}

int ZQ_NET_DVR_Logout(int32_t login) {
    return Guarded(0, [&](Sdk& sdk) { return sdk.Logout(login); });
}

int ZQ_NET_DVR_ModifyIPC(const DiscoveredDevice* device) {
    if (!device)
        return 0;
    return Guarded(0, [&](Sdk& sdk) { return sdk.Modify(*device); });
}

}  // extern "C"

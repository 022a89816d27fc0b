/*
 * ZQ_NetSDK.h: the device network SDK's public interface.
 *
 * The record a device is reported in, the configuration block of command 533, and the nine
 * operations with the discovery callback. Everything here has C linkage and a fixed binary
 * layout (little-endian integers, zero-terminated byte strings within fixed widths), because
 * the same bytes travel on the wire and are stored by the tool as they are.
 */
#ifndef ZQ_NETSDK_H
#define ZQ_NETSDK_H

#include <stddef.h>
#include <stdint.h>

#if defined(ZQ_NETSDK_BUILDING)
#define ZQ_NETSDK_API __attribute__((visibility("default")))
#else
#define ZQ_NETSDK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The settings of one network interface: 100 bytes. */
typedef struct NetInterface {
    char IP[16];    /* dotted decimal text */
    char Mask[16];  /* dotted decimal text */
    char GW[16];    /* dotted decimal text */
    char DNS1[16];  /* dotted decimal text */
    char DNS2[16];  /* dotted decimal text */
    uint8_t MAC[6]; /* raw octets, first octet first */
    uint8_t reserved[14];
} NetInterface;

/* One device as the SDK reports it and as the tool stores and sends it back: 468 bytes. */
typedef struct DiscoveredDevice {
    NetInterface Eth0; /* wired interface: shown, logged in to, and changed by a modify */
    NetInterface Wifi;
    NetInterface G3;
    struct {
        uint16_t Private; /* the device's control port */
        uint16_t Http;
        uint16_t Rtsp;
    } Port;
    uint8_t reserved1[2];
    char SN[48];
    struct {
        char U[32]; /* user name */
        char P[16]; /* password */
    } User;
    char Model[32];     /* its first three characters are the device type */
    uint32_t Version;   /* bits 31..16 major, 15..0 minor */
    uint32_t BuildDate; /* bits 31..16 year, 15..8 month, 7..0 day */
    uint8_t reserved2[24];
} DiscoveredDevice;

/* Configuration command 533 answers ten named parameters. */
#define ZQ_NET_DVR_GET_PARAMETERS 533
#define ZQ_CONFIG_ENTRY_COUNT 10

typedef struct ZQ_ConfigEntry {
    char Name[48];   /* zero-terminated */
    char Value[256]; /* text */
} ZQ_ConfigEntry;

typedef struct ZQ_ConfigBlock {
    ZQ_ConfigEntry Entry[ZQ_CONFIG_ENTRY_COUNT];
} ZQ_ConfigBlock;

/* The block a login may fill for its caller; the tool never reads it. */
#define ZQ_LOGIN_INFO_SIZE 80

/* Called once for every reply of a discovery pass, one call at a time, on one SDK thread.
 * The record is valid only during the call. */
typedef void (*ZQ_DISCOVERY_CALLBACK)(const DiscoveredDevice* device, void* user);

ZQ_NETSDK_API int ZQ_NET_DVR_Init(void);
ZQ_NETSDK_API int ZQ_NET_DVR_Cleanup(void);
ZQ_NETSDK_API int ZQ_NET_DVR_SetDiscoveryCallBack(ZQ_DISCOVERY_CALLBACK callback, void* user);

/* Runs one discovery pass and returns when it is over; every reply has been delivered by then. */
ZQ_NETSDK_API int ZQ_NET_DVR_StartDiscoveryIPC(void);
/* Makes a running start return; harmless when none runs. */
ZQ_NETSDK_API int ZQ_NET_DVR_StopDiscoveryIPC(void);

/* Returns a login handle, or -1 when the login failed. */
ZQ_NETSDK_API int32_t ZQ_NET_DVR_Login(const char* address, uint16_t port, const char* user,
                                       const char* password, void* loginInfo);
/* Nonzero when the buffer was filled. */
ZQ_NETSDK_API int ZQ_NET_DVR_GetDVRConfig(int32_t login, uint32_t command, int32_t channel,
                                          void* buffer, uint32_t size, uint32_t* returned);
ZQ_NETSDK_API int ZQ_NET_DVR_Logout(int32_t login);

/* Sends the whole record to the device it names (by SN and Eth0.MAC); nonzero when the
 * device acknowledged the change. */
ZQ_NETSDK_API int ZQ_NET_DVR_ModifyIPC(const DiscoveredDevice* device);

#ifdef __cplusplus
} /* extern "C" */

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "records are exchanged as little-endian bytes");

static_assert(sizeof(NetInterface) == 100);
static_assert(offsetof(NetInterface, IP) == 0);
static_assert(offsetof(NetInterface, Mask) == 16);
static_assert(offsetof(NetInterface, GW) == 32);
static_assert(offsetof(NetInterface, DNS1) == 48);
static_assert(offsetof(NetInterface, DNS2) == 64);
static_assert(offsetof(NetInterface, MAC) == 80);
static_assert(offsetof(NetInterface, reserved) == 86);

static_assert(sizeof(DiscoveredDevice) == 468);
static_assert(offsetof(DiscoveredDevice, Eth0) == 0);
static_assert(offsetof(DiscoveredDevice, Eth0.IP) == 0);
static_assert(offsetof(DiscoveredDevice, Eth0.Mask) == 16);
static_assert(offsetof(DiscoveredDevice, Eth0.GW) == 32);
static_assert(offsetof(DiscoveredDevice, Eth0.DNS1) == 48);
static_assert(offsetof(DiscoveredDevice, Eth0.DNS2) == 64);
static_assert(offsetof(DiscoveredDevice, Eth0.MAC) == 80);
static_assert(offsetof(DiscoveredDevice, Wifi) == 100);
static_assert(offsetof(DiscoveredDevice, Wifi.IP) == 100);
static_assert(offsetof(DiscoveredDevice, Wifi.MAC) == 180);
static_assert(offsetof(DiscoveredDevice, G3) == 200);
static_assert(offsetof(DiscoveredDevice, G3.IP) == 200);
static_assert(offsetof(DiscoveredDevice, G3.MAC) == 280);
static_assert(offsetof(DiscoveredDevice, Port.Private) == 300);
static_assert(offsetof(DiscoveredDevice, Port.Http) == 302);
static_assert(offsetof(DiscoveredDevice, Port.Rtsp) == 304);
static_assert(offsetof(DiscoveredDevice, reserved1) == 306);
static_assert(offsetof(DiscoveredDevice, SN) == 308);
static_assert(offsetof(DiscoveredDevice, User.U) == 356);
static_assert(offsetof(DiscoveredDevice, User.P) == 388);
static_assert(offsetof(DiscoveredDevice, Model) == 404);
static_assert(offsetof(DiscoveredDevice, Version) == 436);
static_assert(offsetof(DiscoveredDevice, BuildDate) == 440);
static_assert(offsetof(DiscoveredDevice, reserved2) == 444);

static_assert(sizeof(ZQ_ConfigEntry) == 304);
static_assert(offsetof(ZQ_ConfigEntry, Value) == 48);
static_assert(sizeof(ZQ_ConfigBlock) == 3040);
#endif

#endif /* ZQ_NETSDK_H */

/*
 * vexlink.h - the device-access contract of LumoraTuner and LumoraTester.
 *
 * Both programs reach a touch controller (and the PWM tester board) only
 * through the operations declared here. The ABI is plain C with fixed-layout
 * types, so that any library exporting the same symbols can stand in for
 * libvexlink without rebuilding the programs.
 *
 * Conventions that hold for every operation unless its comment says otherwise:
 *   - Status results: nonzero = success, 0 = failure. An operation that the
 *     device does not model fails; it never pretends to succeed.
 *   - Every operation given handle 0, or a handle that is closed, fails.
 *   - Stream starts (PCAPGetSingleData, PCAPGetRawPoint, PCAPGetImageYX,
 *     PCAPGetImageXY) also report failure through the channel counts: both
 *     counts are written as 0.
 *   - Channel counts are signed 8-bit values, Y first, then X.
 *   - Thread safety: every operation may be called from any thread at any
 *     time, including the GUI thread and page worker threads at once, without
 *     a lock in the caller. Commands to one device are serialised inside the
 *     library.
 *   - Device packets reach registered windows on the device's delivery thread
 *     (see VexWindow); callbacks (packet callbacks, test-record callbacks,
 *     hot-plug) run through the host's dispatcher (VexSetDispatcher).
 */
#ifndef LUMORA_DEVICE_VEXLINK_H
#define LUMORA_DEVICE_VEXLINK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(VEXLINK_BUILDING)
#    define VEXAPI __declspec(dllexport)
#  else
#    define VEXAPI __declspec(dllimport)
#  endif
#else
#  define VEXAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ------------------------------------------------------------- */

/* An open device; 0 means none. */
typedef uintptr_t VexHandle;

/* A packet registration or test-callback token; 0 means none. */
typedef uintptr_t VexRegistration;

enum {
    VEX_PATH_SIZE = 512,
    VEX_PACKET_SIZE = 64,
    VEX_TEXT_SIZE = 64,
    VEX_INFO_SIZE = 64
};

/* What enumeration produced for one device interface. 524 bytes, passed by
 * value. The path is NUL-terminated inside its 512 bytes and keeps the
 * Windows HID interface-path form (\\?\hid#vid_XXXX&pid_XXXX&colNN#...)
 * for every device. value1 and value2 are the two values enumeration
 * reported with the path. */
typedef struct VexDeviceDescriptor {
    char path[VEX_PATH_SIZE];
    uint32_t value1;
    uint32_t value2;
    uint8_t spare[4];
} VexDeviceDescriptor;

/* One input report of the controller. Byte 2 is the packet id, byte 3 a
 * sequence index or sub id. */
typedef struct VexPacket {
    uint8_t bytes[VEX_PACKET_SIZE];
} VexPacket;

/* Enumeration callback: (context, path, reserved, value1, value2).
 * `reserved` is always NULL. Return 1 to take the device, 0 to skip it. */
typedef int (*VexEnumCallback)(void* context, const char* path, void* reserved,
                               uint32_t value1, uint32_t value2);

/* A host window that receives device packets.
 *
 * The library calls post() on the device's delivery thread, in arrival
 * order, with the registration that matched, the message number given at
 * registration and the 64-byte packet. The packet pointer is valid only
 * during the call: the host copies the packet into the event it posts to
 * its own thread and returns at once. After DevUnregisterPacket returns,
 * post() is not called again for that registration (a call in progress has
 * finished). `user` is for the host. */
typedef struct VexWindow VexWindow;
struct VexWindow {
    void (*post)(VexWindow* window, VexRegistration registration, uint32_t message,
                 const uint8_t* packet);
    void* user;
};

/* Packet callback (DevRegisterPacketCallback): (context, unused, packet).
 * Test-record callback (PCAPSet...Callback): (context, unused, record).
 * The pointer is valid only during the call. */
typedef void (*VexPacketCallback)(void* context, int unused, const uint8_t* packet);
typedef void (*VexRecordCallback)(void* context, int unused, const uint8_t* record);

/* Dispatcher: the library hands every callback to the host as a task that
 * the host runs on the thread of its choice (both programs: the GUI thread)
 * by calling task(taskData) exactly once. Tasks of one device keep their
 * order. A task whose registration was ended before it ran does nothing.
 * With no dispatcher set, tasks run on the library's own delivery thread. */
typedef void (*VexTask)(void* taskData);
typedef void (*VexDispatchFn)(void* dispatcherContext, VexTask task, void* taskData);

/* Hot-plug listener: called through the dispatcher when a device interface
 * arrives or is removed. */
enum { VEX_DEVICE_ARRIVED = 1, VEX_DEVICE_REMOVED = 2 };
typedef void (*VexHotplugFn)(void* context, int event, const char* path);

/* ---- Library services -------------------------------------------------- */

/* Sets (or with fn NULL clears) the dispatcher for all callbacks. Call once
 * at start-up, before any registration. */
VEXAPI void VexSetDispatcher(VexDispatchFn fn, void* dispatcherContext);

/* Sets (or with fn NULL clears) the hot-plug listener. Returns nonzero. */
VEXAPI int VexSetHotplugListener(VexHotplugFn fn, void* context);

/* ---- Enumeration ------------------------------------------------------- */

/* Calls callback once per touch-controller interface that the library
 * recognises (never the PWM tester, a feature-report device or an unrelated
 * HID device), in a stable order. Returns the number of devices taken. */
VEXAPI int EnumerateHidDevices(void* context, VexEnumCallback callback);

/* As EnumerateHidDevices, for exactly the interfaces with this vendor and
 * product id, whatever they are. */
VEXAPI int EnumerateHidDevicesById(uint16_t vendorId, uint16_t productId, void* context,
                                   VexEnumCallback callback);

/* As EnumerateHidDevicesById; the three selectors (usage page 0x38 class,
 * 0, 0x101 as the analyze page passes them) narrow nothing further here. */
VEXAPI int EnumerateHidDevicesEx(uint32_t selector1, uint32_t selector2, uint32_t selector3,
                                 uint16_t vendorId, uint16_t productId, void* context,
                                 VexEnumCallback callback);

/* ---- Open and close ---------------------------------------------------- */

/* Opens the interface named by descriptor.path. Returns a handle or 0. */
VEXAPI VexHandle OpenHIDDevice(VexDeviceDescriptor descriptor);

/* Closes the handle; its registrations end. Nonzero on success. */
VEXAPI int CloseHIDDevice(VexHandle handle);

/* ---- Identification ---------------------------------------------------- */

/* The one-byte type code: 1, 2, 3, 7 boot loader; 4 Osprey class; 5 its
 * sibling; 6, 8 Heron class; 9 the switching controller. 0 on failure. */
VEXAPI uint8_t GetDevTypeCode(VexHandle handle, VexDeviceDescriptor descriptor);

/* Each fills a caller-zeroed 64-byte buffer with a NUL-terminated text. */
VEXAPI int GetDevModelName(VexHandle handle, char* text64);
VEXAPI int GetDevTypeName(VexHandle handle, char* text64);
VEXAPI int GetDevFWVersion(VexHandle handle, char* text64);

/* The 64-byte info block: byte 0 pressure support, byte 1 maximum contact
 * count, uint16 LE at 2 physical X, at 4 physical Y, at 8 builder version,
 * byte 10 interface, byte 11 VK. */
VEXAPI int DevGetPCAPInfo(VexHandle handle, uint8_t* info64);

/* Fills the 15-byte firmware checksum information. */
VEXAPI int DevGetCRCInfo(VexHandle handle, uint8_t* info15);

/* Firmware-update records (46 bytes): read record 0..9, write one. */
VEXAPI int DevGetDownloadInfo(VexHandle handle, int index, uint8_t* record, int length);
VEXAPI int DevSetDownloadInfo(VexHandle handle, const uint8_t* record, int length);

/* Customer ids: the first (16-bit) and the second (32-bit). */
VEXAPI int DevGetCID(VexHandle handle, uint16_t* cid1, uint32_t* cid2);
VEXAPI int DevSetCID(VexHandle handle, uint16_t cid2);

/* Counts without touching the stream state. */
VEXAPI int DevQueryChannelCounts(VexHandle handle, int8_t* yCount, int8_t* xCount);

/* ---- Streams ------------------------------------------------------------ */

/* Each writes the channel counts (0, 0 on failure) and returns nonzero on
 * success. Stop: no stream. SingleData: per-channel series (packet ids
 * 0x3B, 0x4E, 0x4C, 0x4D, 0x4F, 0x57, 0x58, 0x59, 0x48, 0x36/0x50..0x53).
 * RawPoint: touch reports. ImageYX/ImageXY: node images in either drive
 * order. */
VEXAPI int PCAPStopGetData(VexHandle handle, int8_t* yCount, int8_t* xCount);
VEXAPI int PCAPGetSingleData(VexHandle handle, int8_t* yCount, int8_t* xCount);
VEXAPI int PCAPGetRawPoint(VexHandle handle, int8_t* yCount, int8_t* xCount);
VEXAPI int PCAPGetImageYX(VexHandle handle, int8_t* yCount, int8_t* xCount);
VEXAPI int PCAPGetImageXY(VexHandle handle, int8_t* yCount, int8_t* xCount);

/* ---- Packet registrations ---------------------------------------------- */

/* Routes every packet with byte 2 == packetId to window as `message`.
 * Returns the registration or 0. Registrations of one device are served in
 * the order they were made. */
VEXAPI VexRegistration DevRegisterPacket(VexHandle handle, VexWindow* window, uint8_t packetId,
                                         uint32_t message);

/* As DevRegisterPacket, for packets with byte 2 == packetId and byte 3 == subId. */
VEXAPI VexRegistration DevRegisterSubPacket(VexHandle handle, VexWindow* window,
                                            uint8_t packetId, uint8_t subId, uint32_t message);

/* Calls callback(context, 0, packet) through the dispatcher for each packet
 * with that id and sub id. */
VEXAPI VexRegistration DevRegisterPacketCallback(VexHandle handle, uint8_t packetId,
                                                 uint8_t subId, void* context,
                                                 VexPacketCallback callback);

/* Ends a registration or a test-callback token. Token 0 is accepted and
 * fails. When it returns, nothing more is delivered for that registration. */
VEXAPI int DevUnregisterPacket(VexHandle handle, VexRegistration registration);

/* ---- Parameter memory and controller commands -------------------------- */

/* One word of the 256-word parameter memory (index 0..255). */
VEXAPI int DevReadWord(VexHandle handle, int index, uint16_t* word);
VEXAPI int DevWriteWord(VexHandle handle, int index, uint16_t value);

/* flag 1 switches the touch-report filter off, 0 on again. */
VEXAPI int DevDisableFilter(VexHandle handle, int flag);

/* Restarts the controller's firmware: the stream stops, the parameter
 * memory persists. */
VEXAPI int DevResetController(VexHandle handle);

/* Input report id the controller uses for touch reports. */
VEXAPI int SetReportId(VexHandle handle, uint8_t reportId);

/* Starts the hardware calibration (the caller resets next). */
VEXAPI int DevHardwareCalibration(VexHandle handle);

/* Runs the DAC calibration; nonzero when the controller acknowledged. */
VEXAPI int DevDACCalibration(VexHandle handle);

/* Sends one raw 64-byte output packet (length must be 64). */
VEXAPI int DevSendPacket(VexHandle handle, const uint8_t* packet, int length);

/* Switches to scan-frequency index 0..4, or with 255 only asks; afterwards
 * byte 2 of buffer64 holds the index in use. On the PWM tester, index 1
 * switches the touch stimulus off and 2 on. */
VEXAPI int DevSetFreqIndex(VexHandle handle, uint8_t* buffer64, int index);

/* Frequency register block (64 bytes) of one index. writeFreqRegs takes the
 * buffer of the preceding DevSetFreqIndex. */
VEXAPI int DevReadFreqRegs(VexHandle handle, uint8_t* regs64, int index);
VEXAPI int DevWriteFreqRegs(VexHandle handle, uint8_t* buffer64, int index,
                            const uint8_t* regs64);

/* Restore default frequency parameters / general parameters. */
VEXAPI int DevLoadDefaultFreqParam(VexHandle handle, uint8_t* buffer64);
VEXAPI int DevLoadDefaultParam(VexHandle handle);

/* Mode word: with 0xFFFF in *word it is read into *word; any other value
 * is written as the mode word. */
VEXAPI int DevModeWord(VexHandle handle, uint32_t* word);

/* Mode byte of the switching controller (type 9). */
VEXAPI int DevWriteModeByte(VexHandle handle, uint8_t* modeByte);

/* Test flag of the controller: 1 at the start of a tester run, 0 after. */
VEXAPI int DevSetTestMode(VexHandle handle, int flag);

/* Option `option` of the device (option 2: touch output) to value. */
VEXAPI int DevSetOption(VexHandle handle, int option, int value);

/* ---- Channel tests ------------------------------------------------------ */

VEXAPI int PCAPStartSelfCapChannel(VexHandle handle, uint8_t drive, int xChannel, int yChannel);
VEXAPI int PCAPStartMutualCapChannel(VexHandle handle, uint8_t drive, int xChannel,
                                     int yChannel);
VEXAPI int PCAPStopChannelTest(VexHandle handle);

/* ---- Built-in panel tests ---------------------------------------------- */

/* Item records (packed, little-endian): byte 4 result (int8, nonzero pass);
 * open items: uint16 channel word at 5 (bit 15 = Y/Rx, bits 0..14 index),
 * int16 value at 7; short, mutual, mutual-table and AD-level items: first
 * channel word at 5, second channel word at 7, int16 value at 9.
 * Final records: byte 4 overall result (int8, nonzero pass).
 * Item callbacks of a test arrive before its final-result callback. */
VEXAPI VexRegistration PCAPSetOpenItemCallback(VexHandle handle, void* context,
                                               VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetShortItemCallback(VexHandle handle, void* context,
                                                VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetMutualItemCallback(VexHandle handle, void* context,
                                                 VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetMutualTableCallback(VexHandle handle, void* context,
                                                  VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetADLevelItemCallback(VexHandle handle, void* context,
                                                  VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetOpenDoneCallback(VexHandle handle, void* context,
                                               VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetShortDoneCallback(VexHandle handle, void* context,
                                                VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetMutualDoneCallback(VexHandle handle, void* context,
                                                 VexRecordCallback callback);
VEXAPI VexRegistration PCAPSetADLevelDoneCallback(VexHandle handle, void* context,
                                                  VexRecordCallback callback);

/* Start a test; nonzero when it started. selection is the report selection
 * (mode byte); the thresholds are as each caller documents. */
VEXAPI int PCAPStartOpenTest(VexHandle handle, uint8_t selection, int threshold1, int threshold2,
                             int threshold3, int threshold4);
VEXAPI int PCAPStartShortTest(VexHandle handle, uint8_t selection, int threshold1,
                              int threshold2, int threshold3, int threshold4);
VEXAPI int PCAPStartMutualTest(VexHandle handle, uint8_t selection, int threshold1,
                               int threshold2);
VEXAPI int PCAPStartADLevelTest(VexHandle handle, uint8_t selection, int threshold1,
                                int threshold2);

/* ---- PWM tester and feature reports ----------------------------------- */

/* PWM noise source at the frequency of divisor; voltage 0, 1, 2 = 3.3, 7, 15 V. */
VEXAPI int SetHeronPWMFreq(VexHandle handle, int divisor, uint8_t voltage);
VEXAPI int DevPWMApply(VexHandle handle, int arg1, int arg2);

/* Feature reports: buffer[0] is the report id. Get fills behind it. */
VEXAPI int DevSetFeature(VexHandle handle, const uint8_t* buffer, int length);
VEXAPI int DevGetFeature(VexHandle handle, uint8_t* buffer, int length);

#ifdef __cplusplus
}  /* extern "C" */

static_assert(sizeof(VexDeviceDescriptor) == 524, "descriptor layout is part of the ABI");
static_assert(sizeof(VexPacket) == 64, "packet layout is part of the ABI");
#endif

#endif  /* LUMORA_DEVICE_VEXLINK_H */

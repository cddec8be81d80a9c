// The virtual device classes as short descriptions, and the parsing of
// VEXLINK_DEVICES entries into the settings of one device.
//
// A class is data: ids, collections, channel counts, identity texts and
// what it can do. Behaviour lives in the one firmware model (firmware.h),
// which reads these descriptions; a new variant is a new row of the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vexlink/transport.h"
#include "vexlink/virtual/touch_options.h"

namespace vexlink::virt {

// How the parameter memory of a class is laid out and checked.
enum class MemoryLayout : uint8_t {
    kNone,     // no parameter memory (PWM tester, feature device)
    kOsprey,   // frequency table 128..191, parameter block 192..255, seed 0x55
    kSibling,  // one area 64..254, seed 0xAA55, sum in 255
    kHeron,    // one area 64..254, seed 0x55, sum in 255 (Kestrel block)
    kLoader,   // boot loader: the memory is not reachable
};

// What a device answers beyond identity; anything missing answers kUnsupported.
enum Capability : uint32_t {
    kCapStreams = 1u << 0,       // single data, raw point and image streams
    kCapPanelTests = 1u << 1,    // open, short, mutual and AD-level tests
    kCapFrequency = 1u << 2,     // frequency index and register blocks
    kCapPwm = 1u << 3,           // PWM noise source commands
    kCapFeature = 1u << 4,       // feature reports (report id 7)
    kCapModeByte = 1u << 5,      // the type-9 mode-byte switching step
    kCapCalibration = 1u << 6,   // hardware and DAC calibration
    kCapMemory = 1u << 7,        // word reads and writes
    kCapIdentity = 1u << 8,      // model, type name, version, info blocks, ids
};

// The short-test value of a channel pair. Osprey-class controllers measure
// the coupling of neighbouring traces (low on a bare board, higher with the
// sensor attached, very high when shorted; a pair passes at or below the
// limit). Heron-class controllers measure the isolation (high when healthy,
// a short pulls it down; a pair passes at or above the limit).
struct ShortModel {
    bool passAbove = false;
    int bareBoard = 0;       // typical value with no sensor attached
    int withPanel = 0;       // typical value with the sensor attached
    int shorted = 0;         // value of a shorted pair
};

// One node-image stream: the packet ids of the image and of its AD-level
// companion, and whether a packet's line is an X channel (carrying the Y
// positions) or a Y channel (carrying the X positions).
struct ImageStream {
    uint8_t imageId = 0;
    uint8_t levelId = 0;
    bool linesAreX = false;
};

struct DeviceClass {
    const char* kind = "";           // the VEXLINK_DEVICES keyword
    uint8_t typeCode = 0;            // what GetDevTypeCode answers (0: nothing)
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    const char* collections = "";    // HID collections in enumeration order; "" = one interface
    int defaultX = 0;                // channel counts (X / Tx, Y / Rx)
    int defaultY = 0;
    const char* modelName = "";
    const char* typeName = "";
    const char* firmwareVersion = "";
    MemoryLayout memory = MemoryLayout::kNone;
    uint32_t capabilities = 0;
    ShortModel shortModel{};
    int openX = 0;                   // healthy open-test values per axis
    int openY = 0;
    int openFaultX = 0;              // open-test value of a broken channel per axis
    int openFaultY = 0;
    // The upper open limits apply to X (Tx) only: Rx channels read high by
    // design and are judged against their lower limit alone.
    bool openUpperXOnly = false;
    uint8_t reportId = 1;            // input report id of touch reports after power-up
    int vkGroup1 = 0;                // virtual keys in the two key groups
    int vkGroup2 = 0;
    bool multiTouch = false;         // multi-contact touch reports (else single-contact)
    int touchMax = 2047;             // largest touch coordinate
    uint8_t maxContacts = 0;
    // What PCAPGetImageYX and PCAPGetImageXY stream. Osprey class: rows of
    // 0x4B and 0x51, columns of 0x4A and 0x50. Heron class (Y->X only): Tx
    // lines of the raw image 0x4A and the stray image 0x4B.
    ImageStream imageYX{0x4B, 0x51, false};
    ImageStream imageXY{0x4A, 0x50, true};
    // The mutual test also reports the system and IC stray of every Rx
    // channel (sub-kinds 1 and 2 in the first channel word).
    bool mutualStray = false;
};

// Every class, in documentation order.
const std::vector<DeviceClass>& deviceClasses();
const DeviceClass* findClass(const std::string& kind);

// A panel fault: channel `index` of axis X (false) or Y (true). A short
// joins the channel with its next neighbour on the same axis.
struct ChannelRef {
    bool yAxis = false;
    int index = 0;
    bool operator==(const ChannelRef&) const = default;
};
// "x3" or "y12" (0-based, case ignored); false for anything else.
bool parseChannel(const std::string& text, ChannelRef* out);
// The channel as parseChannel reads it: "x3", "y12".
std::string channelName(const ChannelRef& channel);

// One device as an entry describes it: its class plus the options given.
struct DeviceSettings {
    const DeviceClass* cls = nullptr;
    std::string entry;            // the entry as written, trimmed
    uint8_t typeCode = 0;         // boot loader: code=1,2,3,7
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int xCount = 0;
    int yCount = 0;
    std::vector<int> collections; // HID collection numbers in enumeration order
    const DeviceClass* behind = nullptr;  // switcher and UART bridge: the family it carries
    std::string modelName;
    std::string firmwareVersion;
    std::vector<int> failingReads;   // word indexes whose reads fail
    bool corruptChecksum = false;    // the main area's checksum is off by one
    std::vector<ChannelRef> openChannels;
    std::vector<ChannelRef> shortedChannels;
    std::vector<ChannelRef> noisyChannels;
    bool panelAttached = true;
    bool finger = true;              // a finger moves across the panel
    int fingerTx = -1;               // finger=T+R: it rests at Tx T, Rx R instead
    int fingerRx = -1;
    int unevenLine = -1;             // uneven=N: Heron stray image line N stands out
    uint8_t uniformity = 0;          // uniformity=N: byte 13 of the info block
    int noise = 6;                   // noise amplitude in counts
    // Frequency part (Heron class): faults and factory values to start from.
    std::vector<int> failingWrites;  // word indexes whose writes fail
    std::vector<int> failingFreqRegReads;  // frequency indexes whose register reads fail
    bool dacAcknowledged = true;     // DevDACCalibration answers success
    int sampleRate = -1;             // register byte 5 of every index; -1 factory
    int period = -1;                 // "Period" of every frequency record; -1 factory
    int freqIndex = -1;              // the index in use at power-up; -1 factory (2)
    // Streamed packet ids (byte 2) the unit never sends, e.g. its AD level
    // series 0x4F: a unit whose measuring step never completes.
    std::vector<uint8_t> mutedPackets;
    // Controllers: how long after the PWM tester's stimulus switches the
    // touch (or the lift) is reported, in microseconds.
    int64_t stimulusLatencyUs = 12000;
    TouchOptions touch;              // what the raw-point stream reports
};

// Parses one entry ("osprey:x=40,y=30"). On failure returns nothing and
// puts a message naming the bad token into *error.
std::optional<DeviceSettings> parseEntry(const std::string& entry, std::string* error);

// Splits a list at ';' and parses each non-empty entry. Valid entries are
// returned in order; each bad one adds a line to *errors.
std::vector<DeviceSettings> parseDeviceList(const std::string& list, std::string* errors);

// The HID interfaces of a plugged device (id: its registry id), in
// enumeration order, with paths in the Windows form
// \\?\HID#VID_xxxx&PID_xxxx&colNN#<instance>#{hid class guid}. The one
// that opens (a controller's collection 05, or the only interface) goes to
// *commandPath; empty when there is none.
std::vector<InterfaceInfo> interfacesFor(const DeviceSettings& settings, int id,
                                         std::string* commandPath);

}  // namespace vexlink::virt

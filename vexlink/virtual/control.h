// C++ control API of the virtual controllers, for tests and for the control
// tool. Exported from libvexlink; the programs never include it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define VEXLINK_CONTROL_API __attribute__((visibility("default")))

namespace vexlink::control {

struct DeviceSummary {
    int id = 0;             // stable while the device stays plugged
    std::string entry;      // the VEXLINK_DEVICES entry it came from
    std::string path;       // interface path as enumeration reports it
    bool open = false;      // a host handle is open on it
};

// Replaces every virtual device by the devices of a VEXLINK_DEVICES-style
// list (syntax: docs/virtual-devices.md). Invalid entries are skipped; the
// returned text names each bad token (empty when all were valid). Devices
// that go away are unplugged as by unplug().
VEXLINK_CONTROL_API std::string configure(const std::string& devices);

// Plugs one device described like one list entry. Returns its id (> 0), or
// 0 with the reason in *error.
VEXLINK_CONTROL_API int plug(const std::string& entry, std::string* error = nullptr);

// Unplugs a device: it sends its end packet to an open host, then vanishes
// and a removal is reported to the hot-plug listener.
VEXLINK_CONTROL_API bool unplug(int id);

VEXLINK_CONTROL_API std::vector<DeviceSummary> list();

// Sends an exact 64-byte input packet from the device to the host.
VEXLINK_CONTROL_API bool injectPacket(int id, const uint8_t* packet64);

// Parameter memory, word by word (0..255).
VEXLINK_CONTROL_API bool setWord(int id, int index, uint16_t value);
VEXLINK_CONTROL_API bool getWord(int id, int index, uint16_t* value);

// Makes DevReadWord of that word fail (or succeed again).
VEXLINK_CONTROL_API bool failRead(int id, int index, bool fail);

// Spoils the checksum of the device's main parameter area (type 4: word
// 255 over 192..254; types 5, 6, 8: word 255 over 64..254) by one.
VEXLINK_CONTROL_API bool corruptChecksum(int id);

// Sends a mode report (packet 0x36, sub id 0x7C) with `mode` in byte 4.
VEXLINK_CONTROL_API bool emitModeReport(int id, uint8_t mode);

// Panel faults for the built-in tests and the streams: an open channel
// (X when yAxis is false), or a short between a channel and its next
// neighbour on the same axis. `present` false removes the fault.
VEXLINK_CONTROL_API bool setOpenChannel(int id, bool yAxis, int index, bool present);
VEXLINK_CONTROL_API bool setShortedChannel(int id, bool yAxis, int index, bool present);
// A channel that picks up strong noise: its series carry noise of
// kNoisyAmplitude counts, its AD level reads high and every other mutual
// node of its line reads low.
VEXLINK_CONTROL_API bool setNoisyChannel(int id, bool yAxis, int index, bool present);

// Whether a sensor is connected to the controller board. A bare board
// (false) reads low coupling in the short test and low connector levels;
// the production tester's first stage expects a bare board, its second
// stage an attached sensor.
VEXLINK_CONTROL_API bool setPanelAttached(int id, bool attached);

// The frequency part of a controller with frequency indexes (Heron class,
// Osprey):
//   failWrite          DevWriteWord of that word fails (or succeeds again).
//   failFreqRegsRead   DevReadFreqRegs of that frequency index (0..4) fails.
//   setDacAcknowledged whether DevDACCalibration answers success (default).
//   getFreqRegisters   the 64-byte register block of an index (0..4).
//   setFreqRegister    one byte (0..63) of it.
//   setFreqIndexInUse  the index DevSetFreqIndex(255) reports, 0..254; above
//                      4 models a firmware reporting an index past its records.
//   sealChecksum       recomputes the checksums of the parameter memory, so
//                      that words set with setWord read as a valid block.
VEXLINK_CONTROL_API bool failWrite(int id, int index, bool fail);
VEXLINK_CONTROL_API bool failFreqRegsRead(int id, int freqIndex, bool fail);
VEXLINK_CONTROL_API bool setDacAcknowledged(int id, bool acknowledged);
VEXLINK_CONTROL_API bool getFreqRegisters(int id, int freqIndex, uint8_t* out64);
VEXLINK_CONTROL_API bool setFreqRegister(int id, int freqIndex, int byte, uint8_t value);
VEXLINK_CONTROL_API bool setFreqIndexInUse(int id, int index);
VEXLINK_CONTROL_API bool sealChecksum(int id);
// Time of the PWM tester's touch stimulus (tests). A controller reports a
// touch its latency (`latency=` of its entry) after a tester's stimulus goes
// on, and the lift its latency after it goes off; by default on its own
// thread, by the steady clock. setStimulusTime takes that time into the
// test's hands: from then on `ns` is the stimulus time (a switch is stamped
// with it), and the reports that have come due by it are sent before the
// call returns. Returns how many reports were sent. useSteadyStimulusTime
// hands the time back to the steady clock.
VEXLINK_CONTROL_API int setStimulusTime(int64_t ns);
VEXLINK_CONTROL_API void useSteadyStimulusTime();

// What the device's firmware holds now, for tests that check what a
// program did to the controller.
struct DeviceStatus {
    int typeCode = 0;
    int stream = 0;             // 0 none, 1 single data, 2 raw point, 3 image Y->X, 4 image X->Y
    bool filterDisabled = false;
    int reportId = 0;
    bool testMode = false;
    int connections = 0;        // open host handles
    bool panelAttached = true;
};
VEXLINK_CONTROL_API bool status(int id, DeviceStatus* out);

// Every command a host sent to the device, in the order the firmware took
// them, so that a test can check that a program made a call (and with what
// arguments) rather than only what it showed afterwards.
//   operation: the contract's name of the call ("DevWriteWord",
//              "PCAPStopGetData", "DevReadFreqRegs" ...); a raw firmware
//              packet is "DevSendPacket", feature reports "DevGetFeature" /
//              "DevSetFeature".
//   args:      the request's argument bytes as the wire protocol carries
//              them (little-endian, docs/wire-protocol.md): for
//              DevWriteWord index then value, 16 bits each; for the blob
//              transfers the blob index then the whole blob written (once
//              per call, not per chunk); for a raw packet or a feature
//              report all of its bytes.
// Texts and blocks read in several chunks are logged once, at their first
// chunk. The log keeps the newest kCommandLogLimit entries.
struct CommandRecord {
    std::string operation;
    std::vector<uint8_t> args;

    // Argument helpers: 0 past the end.
    uint8_t u8(size_t offset) const { return offset < args.size() ? args[offset] : 0; }
    uint16_t u16(size_t offset) const { return static_cast<uint16_t>(u8(offset) | (u8(offset + 1) << 8)); }
    uint32_t u32(size_t offset) const { return u16(offset) | (uint32_t(u16(offset + 2)) << 16); }
};
constexpr size_t kCommandLogLimit = 20000;
VEXLINK_CONTROL_API std::vector<CommandRecord> commandLog(int id);
VEXLINK_CONTROL_API bool clearCommandLog(int id);
// The log and its clearing in one step, so that no call made in between is
// lost; false when there is no such device.
VEXLINK_CONTROL_API bool takeCommandLog(int id, std::vector<CommandRecord>* out);

// The operations of a log in order, for compact comparisons in tests;
// with `only` not empty, just the entries whose operation is listed there.
inline std::vector<std::string> operationsOf(const std::vector<CommandRecord>& log,
                                             const std::vector<std::string>& only = {}) {
    std::vector<std::string> out;
    for (const CommandRecord& r : log) {
        bool keep = only.empty();
        for (const std::string& o : only) keep = keep || o == r.operation;
        if (keep) out.push_back(r.operation);
    }
    return out;
}

// The entries of a log with that operation, in order.
inline std::vector<CommandRecord> recordsOf(const std::vector<CommandRecord>& log, const std::string& operation) {
    std::vector<CommandRecord> out;
    for (const CommandRecord& r : log)
        if (r.operation == operation) out.push_back(r);
    return out;
}

}  // namespace vexlink::control

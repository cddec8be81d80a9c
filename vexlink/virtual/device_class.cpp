#include "vexlink/virtual/device_class.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "device/controller_ids.h"

namespace vexlink::virt {

namespace {

constexpr uint32_t kControllerCaps = kCapStreams | kCapPanelTests | kCapCalibration | kCapMemory |
                                     kCapIdentity;

// Controllers show three HID collections: the feature collection (04), the
// pointer collection (06) and the vendor command collection (05) that the
// programs open. The command collection is reported last because the
// production tester takes the last interface it is offered; the tuner skips
// 04 and 06 by name.
const std::vector<DeviceClass> kClasses = {
    {.kind = "osprey", .typeCode = 4, .vendorId = 0x2F1B, .productId = 0x7A04,
     .collections = "4,6,5", .defaultX = 40, .defaultY = 30,
     .modelName = "ZT-4030", .typeName = "Osprey PCAP", .firmwareVersion = "4.2.17",
     .memory = MemoryLayout::kOsprey, .capabilities = kControllerCaps | kCapFrequency,
     .shortModel = {false, 40, 480, 3200}, .openX = 860, .openY = 720, .openFaultX = 35,
     .openFaultY = 35, .reportId = 4, .vkGroup1 = 4, .vkGroup2 = 3, .multiTouch = false,
     .touchMax = 2047, .maxContacts = 1},
    {.kind = "osprey5", .typeCode = 5, .vendorId = 0x2F1B, .productId = 0x7A05,
     .collections = "4,6,5", .defaultX = 40, .defaultY = 30,
     .modelName = "ZT-5030", .typeName = "Osprey-S PCAP", .firmwareVersion = "5.1.03",
     .memory = MemoryLayout::kSibling, .capabilities = kControllerCaps,
     .shortModel = {false, 40, 480, 3200}, .openX = 860, .openY = 720, .openFaultX = 35,
     .openFaultY = 35, .reportId = 4, .vkGroup1 = 0, .vkGroup2 = 0, .multiTouch = false,
     .touchMax = 2047, .maxContacts = 1},
    // Heron-class open values: a Tx channel reads low and a broken one high,
    // an Rx channel reads high and a broken one low.
    {.kind = "heron", .typeCode = 6, .vendorId = 0x2F1B, .productId = 0x7B06,
     .collections = "4,6,5", .defaultX = 36, .defaultY = 22,
     .modelName = "ZH-6022", .typeName = "Heron PCAP", .firmwareVersion = "6.0.42",
     .memory = MemoryLayout::kHeron,
     .capabilities = kControllerCaps | kCapFrequency | kCapPwm,
     .shortModel = {true, 3900, 3700, 30}, .openX = 150, .openY = 3900, .openFaultX = 2600,
     .openFaultY = 20, .openUpperXOnly = true, .reportId = 6, .multiTouch = true,
     .touchMax = 4095, .maxContacts = 10, .imageYX = {0x4A, 0x4B, true},
     .mutualStray = true},
    {.kind = "heron8", .typeCode = 8, .vendorId = 0x2F1B, .productId = 0x7B08,
     .collections = "4,6,5", .defaultX = 48, .defaultY = 34,
     .modelName = "ZH-8034", .typeName = "Heron PCAP", .firmwareVersion = "8.1.05",
     .memory = MemoryLayout::kHeron,
     .capabilities = kControllerCaps | kCapFrequency | kCapPwm,
     .shortModel = {true, 3900, 3700, 30}, .openX = 150, .openY = 3900, .openFaultX = 2600,
     .openFaultY = 20, .openUpperXOnly = true, .reportId = 6, .multiTouch = true,
     .touchMax = 4095, .maxContacts = 10, .imageYX = {0x4A, 0x4B, true},
     .mutualStray = true},
    // A controller in its boot loader answers its identity and nothing else.
    {.kind = "bootloader", .typeCode = 1, .vendorId = 0x2F1B, .productId = 0x7F01,
     .collections = "5", .modelName = "ZT-LOADER",
     .typeName = "Boot Loader", .firmwareVersion = "BL 1.3", .memory = MemoryLayout::kLoader,
     .capabilities = kCapIdentity},
    // Reports type 9 until the mode-byte step switches it to its family.
    {.kind = "switcher", .typeCode = 9, .vendorId = 0x2F1B, .productId = 0x7C09,
     .collections = "4,6,5", .capabilities = kCapIdentity | kCapModeByte},
    {.kind = "pwm-tester", .typeCode = 0, .vendorId = 0x2F1B, .productId = 0x6BFE,
     .modelName = "PWM Tester", .typeName = "PWM Tester", .firmwareVersion = "1.0.2",
     .capabilities = kCapPwm},
    // The UART bridge board carries a controller of its family behind it and
    // is found only through its own vendor and product id.
    {.kind = "uart-bridge", .typeCode = 0, .vendorId = 0x14F8, .productId = 0x5804},
    // The feature-report device of the workbench (report id 7).
    {.kind = "thqa", .typeCode = 0, .vendorId = 0x2F1B, .productId = 0x6C07, .modelName = "THQA",
     .typeName = "THQA", .firmwareVersion = "1.0.0", .capabilities = kCapFeature},
};

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(sep, start);
        out.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return out;
}

// Whole decimal number in [lo, hi], nothing else in the text.
bool parseInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    const int v = std::atoi(text.c_str());
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// Milliseconds 0..10000 with up to three decimals ("12", "12.345"), in
// microseconds.
bool parseMillis(const std::string& text, int64_t* micros) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    int ms = 0;
    if (!parseInt(whole, 0, 10000, &ms)) return false;
    if (dot != std::string::npos && (fraction.empty() || fraction.size() > 3)) return false;
    for (char c : fraction)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    fraction.resize(3, '0');
    const int64_t us = int64_t(ms) * 1000 + std::atoi(fraction.c_str());
    if (us > 10'000'000) return false;
    *micros = us;
    return true;
}

// A 16-bit id written in hex, with or without "0x".
bool parseHex16(const std::string& text, uint16_t* out) {
    std::string t = lower(text);
    if (t.rfind("0x", 0) == 0) t = t.substr(2);
    if (t.empty() || t.size() > 4) return false;
    for (char c : t)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    *out = static_cast<uint16_t>(std::strtoul(t.c_str(), nullptr, 16));
    return true;
}

bool isController(const DeviceClass& cls) { return (cls.capabilities & kCapStreams) != 0; }

}  // namespace

bool parseChannel(const std::string& text, ChannelRef* out) {
    const std::string t = lower(text);
    if (t.size() < 2 || (t[0] != 'x' && t[0] != 'y')) return false;
    int index = 0;
    if (!parseInt(t.substr(1), 0, 126, &index)) return false;
    out->yAxis = t[0] == 'y';
    out->index = index;
    return true;
}

std::string channelName(const ChannelRef& c) { return (c.yAxis ? "y" : "x") + std::to_string(c.index); }

const std::vector<DeviceClass>& deviceClasses() { return kClasses; }

const DeviceClass* findClass(const std::string& kind) {
    for (const DeviceClass& cls : kClasses)
        if (kind == cls.kind) return &cls;
    return nullptr;
}

std::optional<DeviceSettings> parseEntry(const std::string& rawEntry, std::string* error) {
    const std::string entry = trim(rawEntry);
    auto fail = [&](const std::string& why) -> std::optional<DeviceSettings> {
        if (error) *error = "VEXLINK_DEVICES: bad entry \"" + entry + "\": " + why;
        return std::nullopt;
    };

    const size_t colon = entry.find(':');
    const std::string kind = lower(trim(entry.substr(0, colon)));
    const DeviceClass* cls = findClass(kind);
    if (!cls) {
        std::string known;
        for (const DeviceClass& c : kClasses) known += std::string(known.empty() ? "" : ", ") + c.kind;
        return fail("unknown device kind \"" + kind + "\" (known: " + known + ")");
    }

    DeviceSettings s;
    s.cls = cls;
    s.entry = entry;
    s.typeCode = cls->typeCode;
    s.vendorId = cls->vendorId;
    s.productId = cls->productId;
    s.xCount = cls->defaultX;
    s.yCount = cls->defaultY;
    s.modelName = cls->modelName;
    s.firmwareVersion = cls->firmwareVersion;
    for (const std::string& c : split(cls->collections, ','))
        if (!c.empty()) s.collections.push_back(std::atoi(c.c_str()));

    const bool carriesFamily = kind == "switcher" || kind == "uart-bridge";
    bool countsGiven[2] = {false, false};
    bool modelGiven = false, fwGiven = false;

    if (colon != std::string::npos) {
        for (const std::string& rawOption : split(entry.substr(colon + 1), ',')) {
            const std::string option = trim(rawOption);
            if (option.empty()) return fail("empty option");
            const size_t eq = option.find('=');
            const std::string key = lower(trim(option.substr(0, eq)));
            const std::string value = eq == std::string::npos ? "" : trim(option.substr(eq + 1));
            const bool hasValue = eq != std::string::npos;
            auto badValue = [&](const std::string& expected) {
                return fail("bad value \"" + value + "\" for option \"" + key + "\" (" + expected +
                            ")");
            };
            const bool controllerOption = isController(*cls) || carriesFamily;

            if ((key == "x" || key == "y") && controllerOption) {
                int v = 0;
                // The host reads counts as signed bytes: 0 makes a unit whose
                // counts cannot be read, and 128..255 arrive as negative
                // numbers, both of which the programs must survive.
                if (!parseInt(value, 0, 255, &v)) return badValue("a channel count 0 to 255");
                (key == "x" ? s.xCount : s.yCount) = v;
                countsGiven[key == "x" ? 0 : 1] = true;
            } else if (key == "code" && kind == "bootloader") {
                int v = 0;
                if (!parseInt(value, 1, 7, &v) || !(v == 1 || v == 2 || v == 3 || v == 7))
                    return badValue("a boot-loader code 1, 2, 3 or 7");
                s.typeCode = static_cast<uint8_t>(v);
            } else if (key == "vid" || key == "pid") {
                uint16_t v = 0;
                if (!parseHex16(value, &v)) return badValue("a hex id such as 0x7A04");
                (key == "vid" ? s.vendorId : s.productId) = v;
            } else if (key == "cols" && !s.collections.empty()) {
                s.collections.clear();
                for (const std::string& c : split(value, '+')) {
                    int v = 0;
                    if (!parseInt(c, 1, 99, &v)) return badValue("collection numbers such as 4+6+5");
                    s.collections.push_back(v);
                }
            } else if (key == "family" && carriesFamily) {
                const DeviceClass* family = findClass(lower(value));
                if (!family || !isController(*family))
                    return badValue("osprey, osprey5, heron or heron8");
                s.behind = family;
            } else if (key == "model" || key == "fw") {
                // Up to 200 characters: texts past 63 test the host's truncation
                // to its 64-byte buffers; a blob carries at most 255 bytes.
                if (value.empty() || value.size() > 200) return badValue("a text of 1 to 200 characters");
                (key == "model" ? s.modelName : s.firmwareVersion) = value;
                (key == "model" ? modelGiven : fwGiven) = true;
            } else if (key == "failread" && controllerOption) {
                for (const std::string& w : split(value, '+')) {
                    int v = 0;
                    if (!parseInt(w, 0, 255, &v)) return badValue("word indexes 0 to 255 such as 191+200");
                    s.failingReads.push_back(v);
                }
            } else if (key == "badcrc" && controllerOption) {
                int v = 1;
                if (hasValue && !parseInt(value, 0, 1, &v)) return badValue("0 or 1");
                s.corruptChecksum = v != 0;
            } else if ((key == "open" || key == "short" || key == "noisy") && controllerOption) {
                for (const std::string& c : split(value, '+')) {
                    ChannelRef ref;
                    if (!parseChannel(c, &ref)) return badValue("channels such as x3+y7");
                    (key == "open"    ? s.openChannels
                     : key == "short" ? s.shortedChannels
                                      : s.noisyChannels)
                        .push_back(ref);
                }
            } else if (key == "finger" && controllerOption && value.find('+') != std::string::npos) {
                const std::vector<std::string> at = split(value, '+');
                if (at.size() != 2 || !parseInt(at[0], 0, 254, &s.fingerTx) ||
                    !parseInt(at[1], 0, 254, &s.fingerRx))
                    return badValue("0, 1, or where it rests such as 12+7 (Tx+Rx)");
            } else if (key == "uneven" && controllerOption) {
                if (!parseInt(value, 0, 254, &s.unevenLine)) return badValue("a Tx line such as 5");
            } else if (key == "uniformity" && controllerOption) {
                int v = 0;
                if (!parseInt(value, 0, 255, &v)) return badValue("a byte 0 to 255");
                s.uniformity = static_cast<uint8_t>(v);
            } else if ((key == "panel" || key == "finger") && controllerOption) {
                int v = 0;
                if (!parseInt(value, 0, 1, &v)) return badValue("0 or 1");
                (key == "panel" ? s.panelAttached : s.finger) = v != 0;
            } else if (key == "mute" && controllerOption) {
                for (const std::string& id : split(value, '+')) {
                    uint16_t v = 0;
                    if (!parseHex16(id, &v) || v > 0xFF) return badValue("packet ids such as 4F+51");
                    s.mutedPackets.push_back(static_cast<uint8_t>(v));
                }
            } else if (key == "latency" && controllerOption) {
                if (!parseMillis(value, &s.stimulusLatencyUs))
                    return badValue("milliseconds 0 to 10000 with up to three decimals, such as 12.5");
            } else if (key == "noise" && controllerOption) {
                int v = 0;
                if (!parseInt(value, 0, 200, &v)) return badValue("counts 0 to 200");
                s.noise = v;
            } else if (key == "failwrite" && controllerOption) {
                for (const std::string& w : split(value, '+')) {
                    int v = 0;
                    if (!parseInt(w, 0, 255, &v)) return badValue("word indexes 0 to 255 such as 70+255");
                    s.failingWrites.push_back(v);
                }
            } else if (key == "failregs" && controllerOption) {
                for (const std::string& n : split(value, '+')) {
                    int v = 0;
                    if (!parseInt(n, 0, 4, &v)) return badValue("frequency indexes 0 to 4 such as 1+3");
                    s.failingFreqRegReads.push_back(v);
                }
            } else if (key == "dac" && controllerOption) {
                int v = 0;
                if (!parseInt(value, 0, 1, &v)) return badValue("0 or 1");
                s.dacAcknowledged = v != 0;
            } else if (key == "samplerate" && controllerOption) {
                uint16_t v = 0;
                if (!parseHex16(value, &v) || v > 0xFF) return badValue("a sample-rate code such as 0x2C");
                s.sampleRate = v;
            } else if ((key == "period" || key == "freq") && controllerOption) {
                int v = 0;
                if (!parseInt(value, 0, key == "period" ? 255 : 4, &v))
                    return badValue(key == "period" ? "a period 0 to 255" : "a frequency index 0 to 4");
                (key == "period" ? s.period : s.freqIndex) = v;
            } else if (isTouchOption(key) && controllerOption) {
                const std::string expected = parseTouchOption(key, value, &s.touch);
                if (!expected.empty()) return badValue(expected);
            } else {
                return fail("unknown option \"" + key + "\" for " + kind);
            }
        }
    }

    if (carriesFamily) {
        if (!s.behind) s.behind = findClass("osprey");
        if (!countsGiven[0]) s.xCount = s.behind->defaultX;
        if (!countsGiven[1]) s.yCount = s.behind->defaultY;
        if (!modelGiven) s.modelName = s.behind->modelName;
        if (!fwGiven) s.firmwareVersion = s.behind->firmwareVersion;
        if (kind == "uart-bridge") s.typeCode = s.behind->typeCode;
    }
    // The first channel of a list that lies `margin` or less before the
    // end of its axis (a short needs its next neighbour).
    auto beyond = [&s](const std::vector<ChannelRef>& list, int margin) -> const ChannelRef* {
        for (const ChannelRef& c : list)
            if (c.index + margin >= (c.yAxis ? s.yCount : s.xCount)) return &c;
        return nullptr;
    };
    if (const ChannelRef* c = beyond(s.noisyChannels, 0))
        return fail("noisy channel \"" + channelName(*c) + "\" is beyond the panel");
    const DeviceClass& memoryOf = s.behind ? *s.behind : *cls;
    if ((s.sampleRate >= 0 || s.period >= 0) && memoryOf.memory != MemoryLayout::kHeron)
        return fail("options samplerate and period need a Heron-class controller");
    if ((s.freqIndex >= 0 || !s.failingFreqRegReads.empty()) && !(memoryOf.capabilities & kCapFrequency))
        return fail("options freq and failregs need a controller with frequency indexes");
    if (s.fingerTx >= s.xCount || s.fingerRx >= s.yCount)
        return fail("finger \"" + std::to_string(s.fingerTx) + "+" + std::to_string(s.fingerRx) +
                    "\" is beyond the panel");
    if (s.unevenLine >= s.xCount)
        return fail("uneven line \"" + std::to_string(s.unevenLine) + "\" is beyond the panel");
    if (const ChannelRef* c = beyond(s.openChannels, 0))
        return fail("channel \"" + channelName(*c) + "\" is beyond the panel");
    if (const ChannelRef* c = beyond(s.shortedChannels, 1))
        return fail("short \"" + channelName(*c) + "\" has no neighbour to short with");
    return s;
}

std::vector<InterfaceInfo> interfacesFor(const DeviceSettings& s, int id, std::string* commandPath) {
    std::vector<InterfaceInfo> out;
    commandPath->clear();
    // The instance part differs per plugged device, so that a unit plugged
    // again gets a new path, as a real one on another port would.
    const unsigned instance = 0x1A2B0000u + static_cast<unsigned>(id) * 0x9E37u;
    auto make = [&](int collection) {
        char path[200];
        char col[16] = "";
        if (collection > 0) std::snprintf(col, sizeof col, "&col%02d", collection);
        std::snprintf(path, sizeof path,
                      "\\\\?\\HID#VID_%04X&PID_%04X%s#7&%08x&0&%04d#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                      s.vendorId, s.productId, col, instance, collection > 0 ? collection - 1 : 0);
        InterfaceInfo info;
        info.path = path;
        info.vendorId = s.vendorId;
        info.productId = s.productId;
        // The two values enumeration reports: vendor and product id in one
        // word, and the collection number (0 for a single-interface device).
        info.value1 = (uint32_t(s.vendorId) << 16) | s.productId;
        info.value2 = static_cast<uint32_t>(std::max(collection, 0));
        // Reported by EnumerateHidDevices when its ids are the family's, as
        // the real-HID backend decides it, whatever its class.
        info.touchController = lumora::isFamilyController(s.vendorId, s.productId);
        out.push_back(info);
        // Controllers are opened through their vendor command collection 05;
        // their other collections are not command interfaces.
        if (collection == 5 || collection == 0) *commandPath = info.path;
    };
    if (s.collections.empty())
        make(0);
    else
        for (int c : s.collections) make(c);
    return out;
}

std::vector<DeviceSettings> parseDeviceList(const std::string& list, std::string* errors) {
    std::vector<DeviceSettings> out;
    for (const std::string& raw : split(list, ';')) {
        if (trim(raw).empty()) continue;
        std::string error;
        if (auto s = parseEntry(raw, &error))
            out.push_back(std::move(*s));
        else if (errors)
            *errors += error + "\n";
    }
    return out;
}

}  // namespace vexlink::virt

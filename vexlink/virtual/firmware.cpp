#include "vexlink/virtual/firmware.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "device/packet.h"
#include "vexlink/protocol.h"

namespace vexlink::virt {

namespace {

using namespace std::chrono;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void putLe16(uint8_t* p, uint32_t v) { p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; }
void putLe32(uint8_t* p, uint32_t v) { putLe16(p, v & 0xFFFF); putLe16(p + 2, v >> 16); }

// The built-in tests take this long to measure before their records arrive.
constexpr int kTestDurationMs = 40;
// Stray drifts by one count every two seconds after a calibration, up to 40.
constexpr int kStrayDriftMsPerCount = 2000;
constexpr int kStrayDriftMax = 40;

// The mode byte of the mode report for a family's type code (the inverse
// of the host's mode-report mapping).
uint8_t modeForType(uint8_t typeCode) {
    switch (typeCode) {
    case 4: return 2;
    case 5: return 4;
    case 6: return 6;
    case 8: return 8;
    case 2: return 1;
    case 1: return 3;
    case 3: return 5;
    default: return 0;
    }
}

std::array<uint8_t, 64> pcapInfo(const DeviceClass& b, bool uart) {
    std::array<uint8_t, 64> info{};
    info[0] = 1;                        // pressure reported
    info[1] = b.maxContacts;
    putLe16(&info[2], 3450);            // physical size in 0.1 mm
    putLe16(&info[4], 2600);
    putLe16(&info[8], 0x0203);          // builder version
    info[10] = uart ? 1 : 0;            // interface
    info[11] = static_cast<uint8_t>(b.vkGroup1 + b.vkGroup2);
    return info;
}

std::array<uint8_t, 46> downloadRecord(const DeviceSettings& s, uint16_t count, uint8_t mode,
                                       uint8_t day) {
    std::array<uint8_t, 46> r{};
    putLe16(&r[0], count);
    putLe16(&r[2], 0x0203);             // tool version
    putLe16(&r[4], 12);                 // customer ids
    putLe16(&r[6], 12);
    putLe16(&r[8], s.productId);
    putLe16(&r[10], 0x5A3C);            // firmware image CRC
    std::strncpy(reinterpret_cast<char*>(&r[12]), s.modelName.c_str(), 15);
    std::strncpy(reinterpret_cast<char*>(&r[28]), s.firmwareVersion.c_str(), 7);
    r[36] = mode;
    const uint8_t when[6] = {26, 11, day, 10, 15, 30};
    std::memcpy(&r[37], when, 6);
    return r;
}

// The contract's name for the call behind a request, for the command log.
const char* operationName(uint8_t command, uint8_t blob) {
    using namespace wire;
    switch (command) {
    case kStopStream: return "PCAPStopGetData";
    case kStartSingle: return "PCAPGetSingleData";
    case kStartRawPoint: return "PCAPGetRawPoint";
    case kStartImageYX: return "PCAPGetImageYX";
    case kStartImageXY: return "PCAPGetImageXY";
    case kQueryCounts: return "DevQueryChannelCounts";
    case kGetTypeCode: return "GetDevTypeCode";
    case kGetBlob:
        switch (blob) {
        case kModelName: return "GetDevModelName";
        case kTypeName: return "GetDevTypeName";
        case kFirmwareVersion: return "GetDevFWVersion";
        case kPcapInfo: return "DevGetPCAPInfo";
        case kCrcInfo: return "DevGetCRCInfo";
        case kDownloadInfo: return "DevGetDownloadInfo";
        case kFreqRegs: return "DevReadFreqRegs";
        default: return "GetBlob";
        }
    case kPutBlob:
        switch (blob) {
        case kDownloadInfo: return "DevSetDownloadInfo";
        case kFreqRegs: return "DevWriteFreqRegs";
        default: return "PutBlob";
        }
    case kReadWord: return "DevReadWord";
    case kWriteWord: return "DevWriteWord";
    case kDisableFilter: return "DevDisableFilter";
    case kReset: return "DevResetController";
    case kSetReportId: return "SetReportId";
    case kHardwareCalibration: return "DevHardwareCalibration";
    case kDacCalibration: return "DevDACCalibration";
    case kSetFreqIndex: return "DevSetFreqIndex";
    case kLoadDefaultFreq: return "DevLoadDefaultFreqParam";
    case kLoadDefaultParam: return "DevLoadDefaultParam";
    case kModeWord: return "DevModeWord";
    case kWriteModeByte: return "DevWriteModeByte";
    case kSetTestMode: return "DevSetTestMode";
    case kSetOption: return "DevSetOption";
    case kGetCid: return "DevGetCID";
    case kSetCid: return "DevSetCID";
    case kSelfCapChannel: return "PCAPStartSelfCapChannel";
    case kMutualCapChannel: return "PCAPStartMutualCapChannel";
    case kStopChannelTest: return "PCAPStopChannelTest";
    case kStartOpenTest: return "PCAPStartOpenTest";
    case kStartShortTest: return "PCAPStartShortTest";
    case kStartMutualTest: return "PCAPStartMutualTest";
    case kStartADLevelTest: return "PCAPStartADLevelTest";
    case kSetPwmFreq: return "SetHeronPWMFreq";
    case kPwmApply: return "DevPWMApply";
    default: return "Unknown";
    }
}

}  // namespace

Firmware::Firmware(DeviceSettings settings) : m_settings(std::move(settings)) {
    // The memory and the records belong to the controller itself, which a
    // type-9 controller is before its switch as well.
    const DeviceClass& b = family();
    m_typeCode = m_settings.typeCode;
    m_reportId = b.reportId;
    m_memory = factoryMemory(b.memory, m_settings.xCount, m_settings.yCount);
    for (int w : m_settings.failingReads) m_failingReads.insert(w);
    for (int n = 0; n < kFrequencyCount; ++n) m_freqRegs[n] = factoryFreqRegisters(n);
    m_freqIndex = 2;
    applyFrequencySettings();
    // After the frequency settings, which may change the memory: the
    // checksum is spoilt over what the unit finally holds.
    if (m_settings.corruptChecksum) corruptChecksum();
    m_modeWord = 0x0001;
    m_cid1 = 12;
    m_cid2 = 12;
    m_feature[0] = 7;
    if (b.capabilities & kCapIdentity) {
        m_downloadRecords.push_back(downloadRecord(m_settings, 1, 0, 2));
        m_downloadRecords.push_back(downloadRecord(m_settings, 2, 2, 20));
        m_downloadRecords.push_back(downloadRecord(m_settings, 3, 1, 27));
    }
    m_panel = panelFor(m_settings);
    // A unit comes calibrated long ago: its stray has drifted as far as it
    // goes, until the host runs a calibration.
    m_calibratedAtMs = nowMs() - int64_t(kStrayDriftMax) * kStrayDriftMsPerCount;
    m_stimulusTouch.setLatencyNs(m_settings.stimulusLatencyUs * 1000);
    m_thread = std::thread([this] { threadMain(); });
}

Firmware::~Firmware() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

int64_t Firmware::nowMs() const {
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const DeviceClass& Firmware::behaviour() const {
    const DeviceClass& own = *m_settings.cls;
    if (m_settings.behind && (std::string(own.kind) == "uart-bridge" || m_switched))
        return *m_settings.behind;
    return own;
}

const DeviceClass& Firmware::family() const {
    return m_settings.behind ? *m_settings.behind : *m_settings.cls;
}

bool Firmware::has(uint32_t capability) const { return (behaviour().capabilities & capability) != 0; }

void Firmware::attach(ReportSink* sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sinks.insert(sink);
}

void Firmware::detach(ReportSink* sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sinks.erase(sink);
    if (m_sinks.empty()) {
        m_stream = StreamMode::kNone;
        m_pendingTests.clear();
    }
}

size_t Firmware::connectionCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sinks.size();
}

void Firmware::broadcast(const Report& report) {
    for (ReportSink* sink : m_sinks) sink->deliver(report);
}

void Firmware::handleOutput(const uint8_t* report, ReportSink* from) {
    std::optional<std::pair<bool, int64_t>> stimulus;
    std::function<void(bool, int64_t)> listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_gone) return;
        if (report[1] == wire::kRequestMarker) {
            logRequest(report);
            respond(report, from);
        } else {
            logCommand("DevSendPacket", report, 64);
            handleRawPacket(report);
        }
        stimulus.swap(m_stimulusSwitch);
        if (stimulus) listener = m_stimulusListener;
        m_wake.notify_all();
    }
    // Other devices' locks are taken only after this one is released.
    if (stimulus && listener) listener(stimulus->first, stimulus->second);
}

void Firmware::logCommand(std::string operation, const uint8_t* args, size_t n) {
    control::CommandRecord r;
    r.operation = std::move(operation);
    r.args.assign(args, args + n);
    m_log.push_back(std::move(r));
    if (m_log.size() > control::kCommandLogLimit) m_log.pop_front();
}

void Firmware::logRequest(const uint8_t* request) {
    const uint8_t command = request[2];
    const uint8_t* a = request + wire::kArgOffset;
    // A blob written in chunks is logged once, whole, when its last chunk
    // arrives (respond); one read in chunks once, at its first chunk.
    if (command == wire::kPutBlob) return;
    if (command == wire::kGetBlob && a[2] != 0) return;
    logCommand(operationName(command, a[0]), a, 64 - wire::kArgOffset);
}

std::vector<control::CommandRecord> Firmware::commandLog() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_log.begin(), m_log.end()};
}

void Firmware::clearCommandLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

std::vector<control::CommandRecord> Firmware::takeCommandLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<control::CommandRecord> out(std::make_move_iterator(m_log.begin()),
                                            std::make_move_iterator(m_log.end()));
    m_log.clear();
    return out;
}

// Raw firmware packets. The one the firmware acts on is "Read Log"
// (03 03 36 5F): it answers with the 34 read-back records of the raw and
// stray values it logged at its last frame. Others are taken silently, as
// the controller does.
void Firmware::handleRawPacket(const uint8_t* packet) {
    if (!has(kCapStreams)) return;
    if (packet[2] == 0x36 && packet[3] == 0x5F) {
        const SeriesFrame f = seriesAt(panel(), nowMs());
        for (const Report& r : readLogRecords(f.raw[0], f.raw[1], f.stray[0], f.stray[1])) broadcast(r);
    }
}

Panel Firmware::panel() const {
    Panel p = m_panel;
    p.strayDrift = static_cast<int>(
        std::min<int64_t>(kStrayDriftMax, (nowMs() - m_calibratedAtMs) / kStrayDriftMsPerCount));
    return p;
}

void Firmware::respond(const uint8_t* request, ReportSink* from) {
    const uint8_t command = request[2];
    const uint8_t* a = request + wire::kArgOffset;
    Report r = response(request[3], wire::kUnsupported, command);
    uint8_t* res = &r[wire::kResultOffset];
    const DeviceClass& b = behaviour();
    const bool controller = has(kCapStreams);
    auto ok = [&] { r[4] = wire::kOk; };
    auto failed = [&] { r[4] = wire::kFailed; };
    auto counts = [&] {
        res[0] = static_cast<uint8_t>(static_cast<int8_t>(m_settings.yCount));
        res[1] = static_cast<uint8_t>(static_cast<int8_t>(m_settings.xCount));
    };
    auto startStream = [&](StreamMode mode) {
        if (!controller) return;
        m_stream = mode;
        m_nextFrameMs = nowMs();
        counts();
        ok();
    };

    switch (command) {
    case wire::kStopStream:
        if (controller) {
            m_stream = StreamMode::kNone;
            counts();
            ok();
        }
        break;
    case wire::kStartSingle: startStream(StreamMode::kSingle); break;
    case wire::kStartRawPoint: startStream(StreamMode::kRawPoint); break;
    case wire::kStartImageYX: startStream(StreamMode::kImageYX); break;
    case wire::kStartImageXY: startStream(StreamMode::kImageXY); break;
    case wire::kQueryCounts:
        if (controller) {
            counts();
            ok();
        }
        break;
    case wire::kGetTypeCode:
        if (typeCode() != 0) {
            res[0] = typeCode();
            ok();
        }
        break;
    case wire::kGetBlob: {
        std::vector<uint8_t> blob;
        bool known = true;
        const bool identity = (b.capabilities | m_settings.cls->capabilities) & kCapIdentity;
        auto text = [&](const std::string& t) { blob.assign(t.begin(), t.end()); };
        switch (a[0]) {
        case wire::kModelName: identity ? text(m_settings.modelName) : void(known = false); break;
        case wire::kTypeName:
            // A carrier of a family (UART bridge, type-9 controller) names it.
            identity ? text(m_settings.cls->typeName[0] ? m_settings.cls->typeName
                            : m_settings.behind    ? m_settings.behind->typeName
                                                   : b.typeName)
                     : void(known = false);
            break;
        case wire::kFirmwareVersion: identity ? text(m_settings.firmwareVersion) : void(known = false); break;
        case wire::kPcapInfo:
            if (controller) {
                auto info = pcapInfo(b, std::string(m_settings.cls->kind) == "uart-bridge");
                info[13] = m_settings.uniformity;  // the image page's uniformity check
                blob.assign(info.begin(), info.end());
            } else {
                known = false;
            }
            break;
        case wire::kCrcInfo:
            if (controller) {
                // Big-endian, as the workbench reads it: application info
                // CRC, application CRC and size (32 bits each), image CRC.
                blob.assign(15, 0);
                const uint32_t fields[3] = {0x00001C3D, 0x0000C4E1, 0x0000F800};
                for (int f = 0; f < 3; ++f)
                    for (int k = 0; k < 4; ++k)
                        blob[4 * f + k] = static_cast<uint8_t>(fields[f] >> (24 - 8 * k));
                blob[12] = 0x5A;
                blob[13] = 0x3C;
            } else {
                known = false;
            }
            break;
        case wire::kDownloadInfo:
            if (!controller) known = false;
            else if (a[1] < m_downloadRecords.size())
                blob.assign(m_downloadRecords[a[1]].begin(), m_downloadRecords[a[1]].end());
            break;
        case wire::kFreqRegs:
            if (!has(kCapFrequency)) known = false;
            else if (a[1] < kFrequencyCount && !m_failingFreqRegReads.count(a[1]))
                blob.assign(m_freqRegs[a[1]].begin(), m_freqRegs[a[1]].end());
            break;
        default: known = false;
        }
        if (!known) break;
        const size_t offset = a[2];
        if (blob.empty() && a[0] != wire::kModelName && a[0] != wire::kTypeName &&
            a[0] != wire::kFirmwareVersion) {
            failed();  // a record or register block that does not exist
            break;
        }
        if (offset > blob.size()) {
            failed();
            break;
        }
        const size_t chunk = std::min<size_t>(wire::kChunkSize, blob.size() - offset);
        res[0] = static_cast<uint8_t>(blob.size());
        res[1] = static_cast<uint8_t>(chunk);
        std::memcpy(&res[2], blob.data() + offset, chunk);
        ok();
        break;
    }
    case wire::kPutBlob: {
        const uint8_t blobId = a[0], index = a[1], offset = a[2], length = a[3], last = a[4];
        const bool writable = (blobId == wire::kDownloadInfo && controller) ||
                              (blobId == wire::kFreqRegs && has(kCapFrequency));
        if (!writable) {
            if (offset == 0) logCommand(operationName(command, blobId), a + 1, 64 - wire::kArgOffset - 1);
            break;
        }
        // The chunk must lie inside the report (data from byte 9) and
        // continue what came before; offset 0 starts a new transfer, even
        // after one the host abandoned.
        if (offset == 0) m_blobIn.clear();
        if (length > 64 - 9 || offset != m_blobIn.size()) {
            m_blobIn.clear();
            failed();
            break;
        }
        m_blobIn.insert(m_blobIn.end(), a + 5, a + 5 + length);
        if (!last) {
            ok();
            break;
        }
        std::vector<uint8_t> blob;
        blob.swap(m_blobIn);
        {
            std::vector<uint8_t> logged{index};
            logged.insert(logged.end(), blob.begin(), blob.end());
            logCommand(operationName(command, blobId), logged.data(), logged.size());
        }
        if (blobId == wire::kDownloadInfo && blob.size() == 46) {
            std::array<uint8_t, 46> record{};
            std::copy(blob.begin(), blob.end(), record.begin());
            m_downloadRecords.push_back(record);
            if (m_downloadRecords.size() > 10) m_downloadRecords.erase(m_downloadRecords.begin());
            ok();
        } else if (blobId == wire::kFreqRegs && blob.size() == 64 && index < kFrequencyCount) {
            std::copy(blob.begin(), blob.end(), m_freqRegs[index].begin());
            ok();
        } else {
            failed();
        }
        break;
    }
    case wire::kReadWord: {
        if (!has(kCapMemory)) break;
        const int index = le16(a);
        if (index > 255 || m_failingReads.count(index)) {
            failed();
            break;
        }
        putLe16(res, m_memory[index]);
        ok();
        break;
    }
    case wire::kWriteWord: {
        if (!has(kCapMemory)) break;
        const int index = le16(a);
        if (index > 255 || m_failingWrites.count(index)) {
            failed();
            break;
        }
        m_memory[index] = le16(a + 2);
        ok();
        break;
    }
    case wire::kDisableFilter:
        if (controller) {
            m_filterDisabled = a[0] != 0;
            ok();
        }
        break;
    case wire::kReset:
        if (controller) {
            // The firmware restarts: streams and tests end, the parameter
            // memory and the settings made by commands persist.
            m_stream = StreamMode::kNone;
            m_pendingTests.clear();
            ok();
        }
        break;
    case wire::kSetReportId:
        if (controller) {
            m_reportId = a[0];
            ok();
        }
        break;
    case wire::kHardwareCalibration:
    case wire::kDacCalibration:
        if (has(kCapCalibration)) {
            if (command == wire::kDacCalibration && !m_dacAcknowledged) {
                failed();
                break;
            }
            m_calibratedAtMs = nowMs();
            ok();
        }
        break;
    case wire::kSetFreqIndex:
        if (has(kCapFrequency)) {
            if (a[0] == 255 || a[0] < kFrequencyCount) {
                if (a[0] != 255) m_freqIndex = a[0];
                res[0] = m_freqIndex;
                ok();
            } else {
                failed();
            }
        } else if (std::string(m_settings.cls->kind) == "pwm-tester") {
            // On the PWM tester the index switches the touch stimulus; the
            // switch is handed to the controllers once the lock is released.
            if (a[0] == 1 || a[0] == 2) {
                m_stimulus = a[0] == 2;
                m_stimulusSwitch = std::make_pair(m_stimulus, stimulusNowNs());
                res[0] = a[0];
                ok();
            } else {
                failed();
            }
        }
        break;
    case wire::kLoadDefaultFreq:
        if (has(kCapFrequency)) {
            for (int n = 0; n < kFrequencyCount; ++n) m_freqRegs[n] = factoryFreqRegisters(n);
            restoreFrequencyDefaults(m_memory, b.memory, m_settings.xCount, m_settings.yCount);
            ok();
        }
        break;
    case wire::kLoadDefaultParam:
        if (has(kCapMemory)) {
            // The general parameters return to factory values; the
            // frequency part keeps what it holds.
            const WordMemory factory = factoryMemory(b.memory, m_settings.xCount, m_settings.yCount);
            const auto areas = checksumAreas(b.memory);
            if (!areas.empty()) {
                const ChecksumArea& main = areas[0];
                const int keepFrom = b.memory == MemoryLayout::kHeron ? heron::freqRecordWord(0) : 256;
                const int keepTo = b.memory == MemoryLayout::kHeron ? heron::freqRecordWord(kFrequencyCount) : 256;
                for (int k = main.first; k <= main.last; ++k)
                    if (k < keepFrom || k >= keepTo) m_memory[k] = factory[k];
                sealArea(m_memory, main);
            }
            ok();
        }
        break;
    case wire::kModeWord:
        if (controller) {
            const uint32_t value = le32(a);
            if (value != 0xFFFF) m_modeWord = value;
            putLe32(res, m_modeWord);
            ok();
        }
        break;
    case wire::kWriteModeByte:
        if (m_settings.cls->capabilities & kCapModeByte) {
            // The switching controller leaves its type-9 mode after 0 then 1
            // and announces its family with a mode report.
            m_modeBytes.push_back(a[0]);
            const size_t n = m_modeBytes.size();
            if (!m_switched && n >= 2 && m_modeBytes[n - 2] == 0 && m_modeBytes[n - 1] == 1) {
                m_switched = true;
                if (m_settings.behind) m_typeCode = m_settings.behind->typeCode;
                broadcast(modeReport(modeForType(m_typeCode)));
            }
            res[0] = a[0];
            ok();
        }
        break;
    case wire::kSetTestMode:
        if (controller) {
            m_testMode = a[0] != 0;
            ok();
        }
        break;
    case wire::kSetOption:
        // Option 2 is the touch output; no other option is modelled.
        if ((controller || has(kCapPwm)) && a[0] == 2) {
            m_touchOutput = a[1] != 0;
            ok();
        }
        break;
    case wire::kGetCid:
        if (controller) {
            putLe16(res, m_cid1);
            putLe32(res + 2, m_cid2);
            ok();
        }
        break;
    case wire::kSetCid:
        if (controller) {
            m_cid2 = le16(a);
            ok();
        }
        break;
    case wire::kStartOpenTest:
    case wire::kStartShortTest:
    case wire::kStartMutualTest:
    case wire::kStartADLevelTest:
        if (has(kCapPanelTests)) {
            std::vector<uint8_t> job{command};
            job.insert(job.end(), a, a + 17);
            m_pendingTests.push_back(std::move(job));
            if (m_pendingTests.size() == 1) m_testDueMs = nowMs() + kTestDurationMs;
            ok();
        }
        break;
    case wire::kSetPwmFreq:
        if (has(kCapPwm)) {
            const int divisor = static_cast<int32_t>(le32(a));
            if (divisor <= 0 || a[4] > 2) {
                failed();
            } else {
                m_pwmDivisor = divisor;
                m_pwmVoltage = a[4];
                ok();
            }
        }
        break;
    case wire::kPwmApply:
        // Output 0 with the drive code 0x44 switches the noise source on at
        // the divisor and voltage set; nothing else is known to the device.
        if (has(kCapPwm)) {
            if (le32(a) == 0 && le32(a + 4) == 0x44) {
                m_pwmOutputOn = true;
                ok();
            } else {
                failed();
            }
        }
        break;
    case wire::kSelfCapChannel:
    case wire::kMutualCapChannel:
        // Channel numbers count from 1 up to the channel count; 0 leaves
        // that axis out. Drive 0 is X, 1 is Y. The test's measurement is
        // not streamed, so only its arguments are checked.
        if (has(kCapPanelTests)) {
            if (a[0] <= 1 && a[1] <= m_settings.xCount && a[2] <= m_settings.yCount) {
                ok();
            } else {
                failed();
            }
        }
        break;
    case wire::kStopChannelTest:
        if (has(kCapPanelTests)) ok();
        break;
    default:
        // Anything else the model does not know.
        break;
    }
    if (from) from->deliver(r);
}

int Firmware::getFeature(uint8_t* buffer, size_t length) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_gone) logCommand("DevGetFeature", buffer, std::min<size_t>(length, 1));
    if (m_gone || !has(kCapFeature) || length < 1 || buffer[0] != m_feature[0]) return -1;
    const size_t n = std::min(length, m_feature.size());
    std::memcpy(buffer + 1, m_feature.data() + 1, n - 1);
    return static_cast<int>(n);
}

int Firmware::sendFeature(const uint8_t* buffer, size_t length) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_gone) logCommand("DevSetFeature", buffer, length);
    if (m_gone || !has(kCapFeature) || length < 1 || buffer[0] != m_feature[0]) return -1;
    const size_t n = std::min(length, m_feature.size());
    std::memcpy(m_feature.data() + 1, buffer + 1, n - 1);
    return static_cast<int>(n);
}

void Firmware::unplug() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_gone) return;
        m_stream = StreamMode::kNone;
        m_pendingTests.clear();
        broadcast(endPacket());
        for (ReportSink* sink : m_sinks) sink->gone();
        m_gone = true;
    }
    m_wake.notify_all();
}

void Firmware::inject(const Report& report) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_gone) broadcast(report);
}

bool Firmware::setWord(int index, uint16_t value) {
    if (index < 0 || index > 255) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_memory[index] = value;
    return true;
}

bool Firmware::getWord(int index, uint16_t* value) const {
    if (index < 0 || index > 255 || !value) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    *value = m_memory[index];
    return true;
}

bool Firmware::failRead(int index, bool fail) {
    if (index < 0 || index > 255) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fail)
        m_failingReads.insert(index);
    else
        m_failingReads.erase(index);
    return true;
}

bool Firmware::corruptChecksum() {
    const auto areas = checksumAreas(family().memory);
    if (areas.empty()) return false;
    // Called from the constructor too, before the thread exists; the lock
    // is uncontended there.
    std::unique_lock<std::mutex> lock(m_mutex, std::defer_lock);
    if (m_thread.joinable()) lock.lock();
    sealArea(m_memory, areas[0]);
    m_memory[areas[0].sumWord] = static_cast<uint16_t>(m_memory[areas[0].sumWord] + 1);
    return true;
}

void Firmware::emitModeReport(uint8_t mode) { inject(modeReport(mode)); }

void Firmware::setPanelAttached(bool attached) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_panel.attached = attached;
}

void Firmware::setChannelFault(ChannelRef channel, bool open, bool shortToNext, bool present) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto apply = [&](std::vector<ChannelRef>& list) {
        list.erase(std::remove(list.begin(), list.end(), channel), list.end());
        if (present) list.push_back(channel);
    };
    if (open) apply(m_panel.openChannels);
    if (shortToNext) apply(m_panel.shortedChannels);
}

void Firmware::setNoisyChannel(ChannelRef channel, bool present) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& list = m_panel.noisyChannels;
    list.erase(std::remove(list.begin(), list.end(), channel), list.end());
    if (present) list.push_back(channel);
}

uint8_t Firmware::typeCode() const { return m_typeCode; }

StreamMode Firmware::streamMode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stream;
}

bool Firmware::filterDisabled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_filterDisabled;
}

uint8_t Firmware::reportId() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reportId;
}

bool Firmware::panelAttached() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_panel.attached;
}

bool Firmware::testMode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_testMode;
}

}  // namespace vexlink::virt

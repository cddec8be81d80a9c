#include "vexlink/virtual/packets.h"

#include <algorithm>

#include "device/packet.h"
#include "vexlink/protocol.h"

namespace vexlink::virt {

namespace {

Report blank(uint8_t id) {
    Report r{};
    r[0] = wire::kReportId;
    r[1] = kSeriesLength;
    r[2] = id;
    return r;
}

// Values are signed 16-bit on the wire; the model never leaves that range
// but a clamp keeps a stray value from wrapping into its opposite sign.
int clamp16(int v) { return std::clamp(v, -32768, 32767); }

}  // namespace

Report endPacket() {
    Report r{};
    r[0] = wire::kReportId;
    r[1] = 2;
    r[2] = 0x3B;
    r[3] = 0x70;
    r[4] = 3;
    return r;
}

void appendSeries(std::vector<Report>& out, uint8_t id, const std::vector<int>& x,
                  const std::vector<int>& y) {
    const int xPackets = lumora::packetCountFor(static_cast<int>(x.size()));
    const int yPackets = lumora::packetCountFor(static_cast<int>(y.size()));
    auto emit = [&](const std::vector<int>& values, int first, int packets) {
        for (int i = 0; i < packets; ++i) {
            Report r = blank(id);
            r[3] = static_cast<uint8_t>(first + i);
            for (int k = 0; k < lumora::kSeriesValuesPerPacket; ++k) {
                const size_t at = static_cast<size_t>(i) * lumora::kSeriesValuesPerPacket + k;
                lumora::writeBE16(&r[4 + 2 * k], at < values.size() ? clamp16(values[at]) : 0);
            }
            out.push_back(r);
        }
    };
    emit(x, 0, xPackets);
    emit(y, xPackets, yPackets);
}

Report keyPacket(uint8_t subId, const std::vector<int>& group1, const std::vector<int>& group2) {
    std::vector<int> values(group1);
    if (!group2.empty()) {
        values.push_back(0x7FFF);
        values.insert(values.end(), group2.begin(), group2.end());
    }
    values.resize(std::min<size_t>(values.size(), 30));  // 30 values fill the packet
    Report r{};
    r[0] = wire::kReportId;
    r[1] = static_cast<uint8_t>(2 + 2 * values.size());
    r[2] = 0x36;
    r[3] = subId;
    for (size_t i = 0; i < values.size(); ++i)
        lumora::writeBE16(&r[4 + 2 * i], values[i] == 0x7FFF ? 0x7FFF : clamp16(values[i]));
    return r;
}

void appendImageLine(std::vector<Report>& out, uint8_t id, int line, const std::vector<int>& values) {
    const int n = static_cast<int>(values.size());
    const int blocks = (n + lumora::kImageValuesPerPacket - 1) / lumora::kImageValuesPerPacket;
    for (int b = 0; b < blocks; ++b) {
        Report r = blank(id);
        r[3] = static_cast<uint8_t>(line);
        r[4] = static_cast<uint8_t>(b);
        r[5] = 0;
        for (int i = 0; i < lumora::kImageValuesPerPacket; ++i) {
            const int at = b * lumora::kImageValuesPerPacket + i;
            lumora::writeBE16(&r[6 + 2 * i], at < n ? clamp16(values[at]) : 0);
        }
        out.push_back(r);
    }
}

std::vector<Report> readLogRecords(const std::vector<int>& rawX, const std::vector<int>& rawY,
                                   const std::vector<int>& strayX, const std::vector<int>& strayY) {
    std::vector<int> buffer(kReadLogRecords * lumora::kSeriesValuesPerPacket, 0);
    auto place = [&](const std::vector<int>& v, size_t at) {
        for (size_t i = 0; i < v.size() && i < 128; ++i) buffer[at + i] = v[i];
    };
    place(rawX, 0);
    place(rawY, 128);
    place(strayX, 256);
    place(strayY, 384);
    std::vector<Report> out;
    for (int r = 0; r < kReadLogRecords; ++r) {
        Report p = blank(0x54);
        p[3] = static_cast<uint8_t>(r);
        for (int k = 0; k < lumora::kSeriesValuesPerPacket; ++k)
            lumora::writeBE16(&p[4 + 2 * k], clamp16(buffer[r * lumora::kSeriesValuesPerPacket + k]));
        out.push_back(p);
    }
    return out;
}

Report touchReport(uint8_t reportId, uint8_t subId, const Touch& t) {
    Report r{};
    r[0] = reportId;
    r[1] = 15;  // payload: bytes 4..16
    r[2] = 0x36;
    r[3] = subId;
    r[4] = static_cast<uint8_t>(0x80 | (t.touching ? 1 : 0));
    lumora::writeLE16(&r[5], t.x);
    lumora::writeLE16(&r[7], t.y);
    lumora::writeLE16(&r[9], t.pressure);
    r[11] = t.id;
    r[12] = t.extra;
    lumora::writeLE16(&r[13], t.auxA);
    lumora::writeLE16(&r[15], t.auxB);
    return r;
}

Report multiTouchReport(uint8_t reportId, uint8_t subId, const std::vector<Touch>& touches) {
    Report r{};
    r[0] = reportId;
    r[1] = 53;  // payload: bytes 4..54
    r[2] = 0x36;
    r[3] = subId;
    const size_t n = std::min<size_t>(touches.size(), 5);
    for (size_t i = 0; i < n; ++i) {
        uint8_t* rec = &r[4 + 10 * i];
        const Touch& t = touches[i];
        rec[0] = t.touching ? 1 : 0;
        rec[1] = t.id;
        lumora::writeLE16(&rec[2], t.x);
        lumora::writeLE16(&rec[4], t.y);
        lumora::writeLE16(&rec[6], t.pressure);
        lumora::writeLE16(&rec[8], t.extra);
    }
    r[54] = static_cast<uint8_t>(n);
    return r;
}

Report touchKeyReport(uint8_t reportId, bool pressed, int key) {
    Report r{};
    r[0] = reportId;
    r[1] = 4;  // payload: bytes 4..5
    r[2] = 0x36;
    r[3] = 0x2F;
    r[4] = pressed ? 1 : 0;
    r[5] = static_cast<uint8_t>(key);
    return r;
}

uint16_t channelWord(bool yAxis, int index) {
    return static_cast<uint16_t>((yAxis ? 0x8000 : 0) | (index & 0x7FFF));
}

Report openItemRecord(bool pass, uint16_t channel, int16_t value) {
    Report r{};
    r[0] = wire::kReportId;
    r[2] = wire::kTestRecordPacketId;
    r[3] = wire::kOpenItem;
    r[4] = pass ? 1 : 0;
    lumora::writeLE16(&r[5], channel);
    lumora::writeLE16(&r[7], value);
    return r;
}

Report pairItemRecord(uint8_t kind, bool pass, uint16_t first, uint16_t second, int16_t value) {
    Report r{};
    r[0] = wire::kReportId;
    r[2] = wire::kTestRecordPacketId;
    r[3] = kind;
    r[4] = pass ? 1 : 0;
    lumora::writeLE16(&r[5], first);
    lumora::writeLE16(&r[7], second);
    lumora::writeLE16(&r[9], value);
    return r;
}

Report doneRecord(uint8_t test, int8_t result) {
    Report r{};
    r[0] = wire::kReportId;
    r[2] = wire::kTestRecordPacketId;
    r[3] = static_cast<uint8_t>(wire::kDoneFlag | test);
    r[4] = static_cast<uint8_t>(result);
    return r;
}

Report modeReport(uint8_t mode) {
    Report r{};
    r[0] = wire::kReportId;
    r[1] = 3;
    r[2] = 0x36;
    r[3] = 0x7C;
    r[4] = mode;
    return r;
}

Report response(uint8_t sequence, uint8_t status, uint8_t command) {
    Report r{};
    r[0] = wire::kReportId;
    r[1] = 0;
    r[2] = wire::kResponsePacketId;
    r[3] = sequence;
    r[4] = status;
    r[5] = command;
    return r;
}

}  // namespace vexlink::virt

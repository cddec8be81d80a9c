// A test sequence without a window: a recording view stands in for the
// page, one virtual unit answers the device calls (its streams muted, so
// that the only values are those a test feeds), the clock is fake and the
// data folder temporary. Tests feed test records and packets as the page
// and the library would deliver them.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/packet.h"
#include "host/testing/doubles.h"
#include "tester/sequence/test_sequence.h"
#include "tests/support/test_support.h"
#include "tests/tester/app/print_qt.h"
#include "vexlink/virtual/control.h"

namespace lumora::tester::sequence_testing {

using Packet = std::array<uint8_t, 64>;

class RecordingSequenceView : public SequenceView {
public:
    UnitInfo unit() const override { return info; }
    void setPcbT1Enabled(bool enabled) override { t1 = enabled; }
    void setPcbT2Enabled(bool enabled) override { t2 = enabled; }
    void refreshRunDisplays() override { ++refreshes; }
    // What the connection's disconnect does to the run and the plan.
    void disconnectUnit() override {
        ++disconnects;
        if (info.handle) {
            run->runLog.clear();
            run->statusLine = QStringLiteral("-");
            run->runInProgress = false;
            run->busy = false;
            info.handle = 0;
            config->discard();
        }
        t1 = t2 = false;
    }
    void endProgram(int exitCode) override { endedWith = exitCode; }

    UnitInfo info;
    RunState* run = nullptr;
    TestConfig* config = nullptr;
    bool t1 = false, t2 = false;
    int refreshes = 0, disconnects = 0;
    std::optional<int> endedWith;
};

// One short-test item: first channel (Y when firstY), second channel, value.
struct ShortItem {
    bool firstY;
    int first;
    bool secondY;
    int second;
    int value;  // the 16 bits as the record carries them
};
inline ShortItem yPair(int first, int second, int value) { return {true, first, true, second, value}; }
inline ShortItem xPair(int first, int second, int value) { return {false, first, false, second, value}; }

struct OpenItem {
    bool y;  // Rx
    int index;
    int value;
};

inline uint16_t channelWordOf(bool y, int index) {
    return static_cast<uint16_t>((y ? 0x8000 : 0) | (index & 0x7FFF));
}

inline Packet shortRecord(const ShortItem& item) {
    Packet r{};
    r[4] = 1;
    writeLE16(&r[5], channelWordOf(item.firstY, item.first));
    writeLE16(&r[7], channelWordOf(item.secondY, item.second));
    writeLE16(&r[9], item.value);
    return r;
}

inline Packet openRecord(const OpenItem& item) {
    Packet r{};
    r[4] = 1;
    writeLE16(&r[5], channelWordOf(item.y, item.index));
    writeLE16(&r[7], item.value);
    return r;
}

// Series packets (0x4F, 0x52) of one frame: X packets, then Y packets, 30
// values each from byte 4.
inline std::vector<Packet> seriesFrame(uint8_t id, const std::vector<int>& x, const std::vector<int>& y) {
    std::vector<Packet> out;
    const int xp = packetCountFor(static_cast<int>(x.size()));
    const int yp = packetCountFor(static_cast<int>(y.size()));
    auto appendPackets = [&](const std::vector<int>& values, int first, int packets) {
        for (int k = 0; k < packets; ++k) {
            Packet p{};
            p[2] = id;
            p[3] = static_cast<uint8_t>(first + k);
            for (int i = 0; i < 30; ++i) {
                const size_t at = static_cast<size_t>(30 * k + i);
                writeBE16(&p[4 + 2 * i], at < values.size() ? values[at] : 0);
            }
            out.push_back(p);
        }
    };
    appendPackets(x, 0, xp);
    appendPackets(y, xp, yp);
    return out;
}

// Image packets of one line (0x51 rows, 0x50 columns): 29 values from byte 6
// per chunk.
inline std::vector<Packet> imageLine(uint8_t id, int line, const std::vector<int>& values) {
    std::vector<Packet> out;
    const int chunks = (static_cast<int>(values.size()) + 28) / 29;
    for (int c = 0; c < chunks; ++c) {
        Packet p{};
        p[2] = id;
        p[3] = static_cast<uint8_t>(line);
        p[4] = static_cast<uint8_t>(c);
        for (int i = 0; i < 29; ++i) {
            const size_t at = static_cast<size_t>(29 * c + i);
            writeBE16(&p[6 + 2 * i], at < values.size() ? values[at] : 0);
        }
        out.push_back(p);
    }
    return out;
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing: ") + path.toUtf8() + ">";
}

class SequenceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::app();
        ASSERT_TRUE(m_dir.isValid());
        m_clock.setMs(1'000'000);
        m_clock.setLocalTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        m_view.run = &m_run;
        m_view.config = &m_config;
    }
    void TearDown() override {
        m_sequence.reset();
        if (m_view.info.handle) CloseHIDDevice(m_view.info.handle);
        vexlink::control::configure("");
    }

    QString dataFolder() const { return m_dir.path(); }

    void writePlan(int typeCode, const char* text) {
        QFile file(QDir(m_dir.path()).filePath(testPlanFileName(typeCode)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Opens `entry` as the only virtual unit, identifies it as the
    // connection does and loads the plan of its family. `muted`: its streams
    // stay silent, so that only the packets a test feeds arrive.
    void openUnit(std::string entry, bool muted = true) {
        if (m_view.info.handle) CloseHIDDevice(m_view.info.handle);
        m_view.info = UnitInfo{};
        m_config.discard();
        if (muted) entry += (entry.find(':') == std::string::npos ? ":" : ",") + std::string("mute=4F+52+51+50");
        const test_support::OpenedDevice d = test_support::openOnlyDevice(entry);
        ASSERT_NE(d.handle, 0u) << d.error;
        m_deviceId = d.id;
        UnitInfo& u = m_view.info;
        u.handle = d.handle;
        VexDeviceDescriptor descriptor{};
        u.typeCode = GetDevTypeCode(d.handle, descriptor);
        int8_t y = 0, x = 0;
        ASSERT_TRUE(DevQueryChannelCounts(d.handle, &y, &x));
        u.xCount = x;
        u.yCount = y;
        u.xPackets = packetCountFor(x);
        u.yPackets = packetCountFor(y);
        char text[VEX_TEXT_SIZE] = {};
        ASSERT_TRUE(GetDevModelName(d.handle, text));
        u.modelName = QString::fromLatin1(text);
        std::memset(text, 0, sizeof text);
        ASSERT_TRUE(GetDevFWVersion(d.handle, text));
        u.fwVersion = QString::fromLatin1(text);
        m_config.clearSelection();
        ASSERT_EQ(m_config.load(u.typeCode, dataFolder()), TestConfig::LoadResult::Loaded);
    }

    TestSequence& seq() {
        if (!m_sequence) m_sequence = std::make_unique<TestSequence>(m_view, m_config, m_run, dataFolder());
        return *m_sequence;
    }

    // Handles the messages the sequence posted to itself.
    void settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::sendPostedEvents(m_sequence.get());
    }

    void shortTest(const std::vector<ShortItem>& items) {
        for (const ShortItem& item : items) {
            const Packet r = shortRecord(item);
            seq().onShortItem(r.data());
        }
        seq().onShortDone();
        settle();
    }
    void openTest(const std::vector<OpenItem>& items) {
        for (const OpenItem& item : items) {
            const Packet r = openRecord(item);
            seq().onOpenItem(r.data());
        }
        seq().onOpenDone();
        settle();
    }
    void feed(uint32_t message, const std::vector<Packet>& packets) {
        for (const Packet& p : packets) seq().onPacket(message, p.data());
        settle();
    }
    // An image of rows (0x51) or columns (0x50) with valueAt(row, column);
    // `lines` of them when given (the first ones), else every line.
    void feedImage(uint32_t message, const std::function<int(int row, int column)>& valueAt,
                   int lines = -1) {
        const bool rows = message == ImageYPacketMessage;
        const UnitInfo& u = m_view.info;
        const int all = rows ? u.yCount : u.xCount, length = rows ? u.xCount : u.yCount;
        std::vector<Packet> packets;
        for (int l = 0; l < (lines < 0 ? all : lines); ++l) {
            std::vector<int> values(length);
            for (int k = 0; k < length; ++k) values[k] = rows ? valueAt(l, k) : valueAt(k, l);
            for (const Packet& p : imageLine(rows ? 0x51 : 0x50, l, values)) packets.push_back(p);
        }
        feed(message, packets);
    }

    std::vector<std::string> operations(const std::vector<std::string>& only = {}) {
        return vexlink::control::operationsOf(vexlink::control::commandLog(m_deviceId), only);
    }
    std::vector<vexlink::control::CommandRecord> calls(const std::string& operation) {
        return vexlink::control::recordsOf(vexlink::control::commandLog(m_deviceId), operation);
    }

    QTemporaryDir m_dir;
    host::testing::FakeClock m_clock;
    host::testing::RecordingMessages m_messages;
    host::testing::CapturedTrace m_trace;
    TestConfig m_config;
    RunState m_run;
    RecordingSequenceView m_view;
    std::unique_ptr<TestSequence> m_sequence;
    int m_deviceId = 0;
};

}  // namespace lumora::tester::sequence_testing

#include "tester/app/controller_link.h"

#include <cstring>

#include "device/controller_ids.h"
#include "device/enumerated_path.h"
#include "device/packet.h"
#include "host/services.h"
#include "tester/app/link_rules.h"

namespace lumora::tester {

namespace {

// A text reply of the controller: at most 64 bytes, with or without its NUL.
QString deviceText(const char (&buffer)[VEX_TEXT_SIZE]) {
    return QString::fromLatin1(buffer, int(strnlen(buffer, sizeof buffer)));
}

}  // namespace

ControllerLink::ControllerLink(LinkView& view, TestConfig& config, RunState& run,
                               QString customerLabel, QString programDir)
    : m_view(view), m_config(config), m_run(run), m_customerLabel(std::move(customerLabel)),
      m_programDir(std::move(programDir)) {}

ControllerLink::~ControllerLink() {
    // Nothing may call back into this object once it is gone.
    if (m_state.handle) {
        unregisterTestCallbacks();
        DevUnregisterPacket(m_state.handle, m_state.modeRegistration);
        CloseHIDDevice(m_state.handle);
        m_state.handle = 0;
    }
}

// ---- Enumeration --------------------------------------------------------------

int ControllerLink::takeDevice(const char* path, uint32_t value1, uint32_t value2,
                               int detectedInterface) {
    if (!path) return 0;
    host::trace(QStringLiteral("Find HID Device\n"));
    host::trace(QString::fromLatin1(path));
    // A later device overwrites an earlier one.
    if (!storeEnumeratedPath(m_state.descriptor, path, value1, value2)) return 0;
    m_state.detectedInterface = detectedInterface;
    return 1;
}

int ControllerLink::onUsbDevice(void* context, const char* path, void*, uint32_t value1,
                                uint32_t value2) {
    return static_cast<ControllerLink*>(context)->takeDevice(path, value1, value2, 0);
}

int ControllerLink::onUartDevice(void* context, const char* path, void*, uint32_t value1,
                                 uint32_t value2) {
    return static_cast<ControllerLink*>(context)->takeDevice(path, value1, value2, 1);
}

// After the controllers the library recognises, the UART bridge boards are
// searched (taken through the UART callback), then the controllers' id pairs.
bool ControllerLink::enumerate() {
    std::memset(m_state.descriptor.path, 0, sizeof m_state.descriptor.path);
    auto found = [this] { return m_state.descriptor.path[0] != '\0'; };
    EnumerateHidDevices(this, &ControllerLink::onUsbDevice);
    for (const UsbIdPair& ids : kUartBridgeIds) {
        if (found()) break;
        EnumerateHidDevicesById(ids.vendor, ids.product, this, &ControllerLink::onUartDevice);
    }
    for (const UsbIdPair& ids : kControllerIdPairs) {
        if (found()) break;
        EnumerateHidDevicesById(ids.vendor, ids.product, this, &ControllerLink::onUsbDevice);
    }
    return found();
}

// ---- Connection procedure --------------------------------------------------------

bool ControllerLink::connect() {
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(m_connecting);

    const bool found = enumerate();
    m_config.clearSelection();
    if (!found) return false;

    host::trace(QStringLiteral("PCAP : EnumerateHidDevices...OK\r\n"));
    m_view.refreshRunDisplays();

    m_state.handle = OpenHIDDevice(m_state.descriptor);
    if (!m_state.handle) {
        host::messageBox(QStringLiteral("Open Device Fail!"), QStringLiteral("Error"));
        return false;
    }
    // Watched from the moment it is open, so that a unit pulled while the
    // procedure runs, or after a step that fails without a title, is let go.
    m_state.removalPath = QString::fromLatin1(m_state.descriptor.path);

    DevUnregisterPacket(m_state.handle, m_state.modeRegistration);
    m_state.modeRegistration = DevRegisterPacketCallback(m_state.handle, 0x36, 0x7C, this,
                                                         &ControllerLink::onModeReport);

    m_state.typeCode = GetDevTypeCode(m_state.handle, m_state.descriptor);
    if (m_state.typeCode == 9) {
        // The switching controller changes its mode and announces the new
        // one in a mode report, handled while we wait.
        uint8_t mode = 0;
        DevWriteModeByte(m_state.handle, &mode);
        mode = 1;
        DevWriteModeByte(m_state.handle, &mode);
        m_view.waitForController(1000);
        if (!m_state.handle) return false;  // removed while switching
    }

    m_run.step = 0;
    m_run.t1Detail.clear();
    m_run.t2Detail.clear();
    m_view.setPcbT1Enabled(true);

    if (!isBootLoaderCode(m_state.typeCode)) {
        if (!identify()) return false;
        checkParameterBlock();
    }

    switch (m_config.load(m_state.typeCode, m_programDir)) {
    case TestConfig::LoadResult::ReaderFailed:
        host::messageBox(QStringLiteral("Read setting file error!"), QStringLiteral("Error"));
        m_view.endProgram(4);
        return false;
    case TestConfig::LoadResult::Loaded:
    case TestConfig::LoadResult::AlreadyLoaded:
        break;
    }

    m_view.setPcbT2Enabled(m_config.plan().PCBTestMode != 0);
    return true;
}

bool ControllerLink::identify() {
    ConnectionState& s = m_state;
    s.yCount = 0;
    s.xCount = 0;
    PCAPStopGetData(s.handle, &s.yCount, &s.xCount);
    DevQueryChannelCounts(s.handle, &s.yCount, &s.xCount);
    if (s.xCount <= 0 || s.yCount <= 0 || !PCAPStopGetData(s.handle, &s.yCount, &s.xCount)) {
        host::messageBox(QStringLiteral("Query Device Information Fail!"), QStringLiteral("Error"));
        return false;
    }
    s.xPackets = packetCountFor(s.xCount);
    s.yPackets = packetCountFor(s.yCount);

    char text[VEX_TEXT_SIZE] = {};
    if (!GetDevModelName(s.handle, text)) {
        host::messageBox(QStringLiteral("Query Device Model Fail!"), QStringLiteral("Error"));
        return false;
    }
    s.modelName = deviceText(text);
    std::memset(text, 0, sizeof text);
    if (!GetDevFWVersion(s.handle, text)) {
        host::messageBox(QStringLiteral("Query Device Version Fail!"), QStringLiteral("Error"));
        return false;
    }
    s.fwVersion = deviceText(text);
    return true;
}

void ControllerLink::checkParameterBlock() {
    ParamCheckRule rule;
    if (!paramCheckRule(m_state.typeCode, &rule)) return;
    const VexHandle handle = m_state.handle;
    const ParamCheck result = tester::checkParameterBlock(
        rule, [handle](int index, uint16_t* word) { return DevReadWord(handle, index, word) != 0; });

    // None of these outcomes stops the connection (a type-5 read failure ends
    // the program once the procedure is over).
    switch (m_state.typeCode) {
    case 4:
        if (result == ParamCheck::ReadFailed)
            host::messageBox(QStringLiteral("Get Parameters Fail!"), QStringLiteral("Quillet"),
                             host::Icon::Error);
        else if (result == ParamCheck::Mismatch)
            host::messageBox(QStringLiteral("CRC Fail!"), QStringLiteral("Quillet"), host::Icon::Error);
        break;
    case 5:
        if (result == ParamCheck::ReadFailed) {
            host::messageBox(QStringLiteral("Load paremeters Fail!"), QStringLiteral("Error!"),
                             host::Icon::Error);
            m_view.endProgram(4);
        } else if (result == ParamCheck::Mismatch) {
            host::messageBox(QStringLiteral("CRC Fail!"), QStringLiteral("Error!"), host::Icon::Error);
        }
        break;
    default:  // 6 and 8
        if (result == ParamCheck::ReadFailed) {
            host::messageBox(QStringLiteral("Load paremeters Fail!"), QStringLiteral("Error!"));
        } else if (result == ParamCheck::Mismatch) {
            host::messageBox(QStringLiteral("CRC Fail!"), QStringLiteral("Error!"), host::Icon::Error);
        } else {
            host::trace(QStringLiteral("CRC OK!\r\n"));
            uint8_t buffer[64] = {};
            if (!DevSetFreqIndex(handle, buffer, 255))
                host::messageBox(QStringLiteral("Query Work Freqency Error!"), QStringLiteral(" ERROR "));
        }
        break;
    }
}

void ControllerLink::onModeReport(void* context, int, const uint8_t* packet) {
    if (!context || !packet) return;
    auto* self = static_cast<ControllerLink*>(context);
    self->m_state.typeCode = typeCodeFromModeReport(packet[4], self->m_state.typeCode);
}

// ---- Test callbacks -------------------------------------------------------------

void ControllerLink::onOpenItem(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<ControllerLink*>(context)->m_view.testRecord(TestRecordKind::OpenItem, record);
}
void ControllerLink::onShortItem(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<ControllerLink*>(context)->m_view.testRecord(TestRecordKind::ShortItem, record);
}
void ControllerLink::onOpenDone(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<ControllerLink*>(context)->m_view.testRecord(TestRecordKind::OpenDone, record);
}
void ControllerLink::onShortDone(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<ControllerLink*>(context)->m_view.testRecord(TestRecordKind::ShortDone, record);
}

void ControllerLink::unregisterTestCallbacks() {
    for (VexRegistration& token : m_state.testTokens) {
        if (token) DevUnregisterPacket(m_state.handle, token);
        token = 0;
    }
}

void ControllerLink::renewTestCallbacks() {
    unregisterTestCallbacks();
    const VexHandle h = m_state.handle;
    m_state.testTokens = {PCAPSetOpenItemCallback(h, this, &ControllerLink::onOpenItem),
                          PCAPSetShortItemCallback(h, this, &ControllerLink::onShortItem),
                          PCAPSetOpenDoneCallback(h, this, &ControllerLink::onOpenDone),
                          PCAPSetShortDoneCallback(h, this, &ControllerLink::onShortDone)};
}

// ---- Disconnection and title --------------------------------------------------------

void ControllerLink::disconnect() {
    if (m_state.handle) {
        unregisterTestCallbacks();
        m_run.runLog.clear();
        m_run.statusLine = QStringLiteral("-");
        m_run.runInProgress = false;
        m_run.busy = false;
        CloseHIDDevice(m_state.handle);  // ends the mode-report registration too
        m_state.handle = 0;
        m_state.modeRegistration = 0;
        m_state.removalPath.clear();
        m_view.setTitle(disconnectedTitle());
        m_config.discard();
        m_view.refreshRunDisplays();
    }
    m_view.setPcbT1Enabled(false);
    m_view.setPcbT2Enabled(false);
}

void ControllerLink::setTitle() {
    const TestPlan& plan = m_config.plan();
    if (m_state.handle) {
        m_state.removalPath = QString::fromLatin1(m_state.descriptor.path);
        m_view.setTitle(connectedTitle(m_customerLabel, plan.CaseName, m_state.modelName,
                                       m_state.fwVersion, m_state.xCount, m_state.yCount,
                                       plan.DeviceInterface));
    } else {
        m_view.setTitle(notConnectedTitle(m_customerLabel, plan.CaseName));
    }
}

// ---- Events ------------------------------------------------------------------------

// A board whose controller still runs its boot loader is reported and let go.
void ControllerLink::rejectBootLoader() {
    host::messageBox(
        QStringLiteral("Controller Error! Please make sure FPCA is connected with bridge board!\r\n"),
        QStringLiteral("Error"));
    m_view.setPcbT2Enabled(false);
    disconnect();
}

void ControllerLink::initialConnection() {
    if (!connect()) {
        disconnect();
    } else if (isBootLoaderCode(m_state.typeCode)) {
        rejectBootLoader();
        return;
    } else {
        renewTestCallbacks();
        ConnectionState& s = m_state;
        PCAPStopGetData(s.handle, &s.yCount, &s.xCount);
        if (m_config.plan().DisableTouchWhenTesting) {
            if (isHeronFamily(s.typeCode)) {
                DevSetOption(s.handle, 2, 0);
            } else if (!PCAPGetRawPoint(s.handle, &s.yCount, &s.xCount)) {
                host::messageBox(QStringLiteral("Query Device Information Fail!"),
                                 QStringLiteral("Error"));
                return;
            }
        } else {
            PCAPStopGetData(s.handle, &s.yCount, &s.xCount);
        }
    }
    setTitle();
}

void ControllerLink::onDeviceArrived() {
    if (m_state.handle) return;
    if (connect()) {
        renewTestCallbacks();
        if (isBootLoaderCode(m_state.typeCode)) {
            rejectBootLoader();
            return;
        }
    } else {
        disconnect();
    }
    setTitle();
    if (!m_state.handle) {
        ++m_state.arrivalRetries;
        if (m_state.arrivalRetries < 10)
            m_view.postDeviceArrived();
        else if (m_state.arrivalRetries == 10)
            host::messageBox(QStringLiteral("Something Wrong, No device enumerated"),
                             QStringLiteral("LumoraTester"));
    }
}

void ControllerLink::onDeviceRemoved() {
    host::trace(QStringLiteral("[LumoraPCBTester] OnDeviceRemoved()\r\n"));
    disconnect();
}

void ControllerLink::onPollTimer() {
    if (m_state.handle || m_run.busy) return;
    if (!connect() && !(m_config.plan().RunFWUpdate && isBootLoaderCode(m_state.typeCode))) {
        host::trace(QStringLiteral("[LumoraPCBTester] Device not found!\r\n"));
        disconnect();
        setTitle();
        return;
    }
    host::trace(QStringLiteral("[LumoraPCBTester] Find device!\r\n"));
    if (isBootLoaderCode(m_state.typeCode)) {
        m_view.setPcbT2Enabled(false);
        disconnect();
        setTitle();
        return;
    }
    renewTestCallbacks();
    if (m_state.handle && m_config.plan().AutoRun) {
        m_run.countdown = m_config.plan().CountDownTimer;
        m_view.startCountdown();
    }
    setTitle();
}

void ControllerLink::onHotplug(int event, const QString& path) {
    if (event == VEX_DEVICE_ARRIVED) {
        if (isControllerArrivalPath(path)) {
            m_state.arrivalRetries = 0;
            m_view.postDeviceArrived();
        }
    } else if (event == VEX_DEVICE_REMOVED) {
        if (m_state.handle && !m_state.removalPath.isEmpty() &&
            path.compare(m_state.removalPath, Qt::CaseInsensitive) == 0) {
            m_view.postDeviceRemoved();
            host::trace(QStringLiteral("[LumoraPCBTester] OnDeviceRemoval()\r\n"));
        }
    }
}

void ControllerLink::exitSequence(bool modernHost) {
    if (!m_state.handle) return;
    handBackReportId(m_state.handle, m_state.typeCode, modernHost);
    unregisterTestCallbacks();
    CloseHIDDevice(m_state.handle);
    m_state.handle = 0;
    m_state.modeRegistration = 0;
    m_state.removalPath.clear();
}

}  // namespace lumora::tester

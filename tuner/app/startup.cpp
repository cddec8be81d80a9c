#include "tuner/app/startup.h"

#include <cctype>
#include <cstring>
#include <string>

#include "device/controller_ids.h"
#include "device/vexlink.h"
#include "host/services.h"
#include "device/enumerated_path.h"
#include "host/single_instance.h"
#include "tuner/app/device_state.h"

namespace lumora {
namespace {

// Collections 4 and 6 of the controller are its feature and vendor
// interfaces; the touch controller itself is another collection.
bool isSkippedCollection(const char* path, size_t len) {
    std::string upper(path, len);
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper.find("&COL06") != std::string::npos || upper.find("&COL04") != std::string::npos;
}

int takeController(void* context, const char* path, void*, uint32_t value1, uint32_t value2) {
    host::trace(QStringLiteral("Find HID Device\n"));
    const long len = fittingPathLength(path);
    if (len < 0 || !context) return 0;
    host::trace(QString::fromLatin1(path, len));
    if (isSkippedCollection(path, size_t(len))) return 0;
    // The path is stored as received; only the test above looks at it in
    // upper case. A later take overwrites an earlier one.
    return storeEnumeratedPath(static_cast<DeviceState*>(context)->controllerDescriptor, path, value1, value2)
               ? 1
               : 0;
}

int takeTester(void* context, const char* path, void*, uint32_t value1, uint32_t value2) {
    host::trace(QStringLiteral("Find HID Device\n"));
    const long len = fittingPathLength(path);
    if (len < 0 || !context) return 0;
    host::trace(QString::fromLatin1(path, len));
    return storeEnumeratedPath(static_cast<DeviceState*>(context)->testerDescriptor, path, value1, value2) ? 1
                                                                                                          : 0;
}

// Identity texts come in zeroed 64-byte buffers; the bound keeps a text
// without its NUL from being read past the buffer.
QString textOf(const char (&buffer)[VEX_TEXT_SIZE]) {
    return QString::fromLatin1(buffer, qsizetype(strnlen(buffer, sizeof buffer)));
}

void readCounts(DeviceState& state) {
    int8_t y = 0;
    int8_t x = 0;
    PCAPStopGetData(state.controller, &y, &x);
    state.yCount = y;
    state.xCount = x;
}

// What the window shows when it has no page (see TunerSheet).
QString placeholderFor(const DeviceState& state, bool testerOnly) {
    if (testerOnly) return QStringLiteral("Only the PWM tester is connected.");
    if (state.controller == 0) return QStringLiteral("No controller found.");
    if (isBootLoaderCode(state.typeCode))
        return QStringLiteral("The controller is in its boot loader (type code %1).").arg(state.typeCode);
    return QStringLiteral("No pages for this controller (type code %1).").arg(state.typeCode);
}

}  // namespace

QString tunerTitleBase() {
    return QStringLiteral("LumoraTuner") + QStringLiteral("_Release ") + QStringLiteral("v2.3.2.6 for ");
}

QString identitySuffix(uint8_t typeCode, const QString& modelName, int8_t xCount, int8_t yCount,
                       const QString& fwVersion) {
    switch (typeCode) {
        case 4:
            return QString::asprintf(" (Model:%s, X:%d, Y:%d, Ver:%s)", modelName.toUtf8().constData(),
                                     int(xCount), int(yCount), fwVersion.toUtf8().constData());
        case 5:
        case 6:
        case 8:
            return QString::asprintf(" (Model:%s, X:%d, Y:%d, Ver:%s )", modelName.toUtf8().constData(),
                                     int(xCount), int(yCount), fwVersion.toUtf8().constData());
        default: return {};
    }
}

int exitReportId(uint8_t typeCode, bool modernHost) {
    if (!modernHost) return 1;
    switch (typeCode) {
        case 4:
        case 5: return 4;
        case 6:
        case 8: return 6;
        default: return 0;
    }
}

bool findAndOpenController(DeviceState& state) {
    std::memset(state.controllerDescriptor.path, 0, sizeof state.controllerDescriptor.path);
    EnumerateHidDevices(&state, &takeController);
    for (const UsbIdPair& id : kControllerIdPairs) {
        if (state.controllerDescriptor.path[0] != '\0') break;
        EnumerateHidDevicesById(id.vendor, id.product, &state, &takeController);
    }
    if (state.controllerDescriptor.path[0] == '\0') {
        state.controller = 0;
        return true;
    }

    host::trace(QStringLiteral("PCAP : EnumerateHidDevices...OK\r\n"));
    state.controller = OpenHIDDevice(state.controllerDescriptor);
    if (state.controller == 0) {
        host::messageBox(QStringLiteral("OpenHIDDevice Fail!"), QStringLiteral(" Error"), host::Icon::Error);
        return false;
    }

    readCounts(state);
    state.typeCode = GetDevTypeCode(state.controller, state.controllerDescriptor);
    if (isBootLoaderCode(state.typeCode)) {
        host::messageBox(QStringLiteral("Loader!"), QStringLiteral("Quillet"), host::Icon::Information);
        return true;
    }

    std::memset(state.pcapInfo, 0, sizeof state.pcapInfo);
    DevGetPCAPInfo(state.controller, state.pcapInfo);
    // Each text is stored even when its query fails (it is then empty).
    char model[VEX_TEXT_SIZE] = {};
    if (!GetDevModelName(state.controller, model))
        host::trace(QStringLiteral("[LumoraTuner] GetDevModelName Fail!\r\n"));
    state.modelName = textOf(model);
    char typeName[VEX_TEXT_SIZE] = {};
    if (!GetDevTypeName(state.controller, typeName))
        host::trace(QStringLiteral("[LumoraTuner] GetDevTypeName Fail!\r\n"));
    state.typeName = textOf(typeName);
    char version[VEX_TEXT_SIZE] = {};
    if (!GetDevFWVersion(state.controller, version))
        host::trace(QStringLiteral("[LumoraTuner] GetDevFWVersion Fail!\r\n"));
    state.fwVersion = textOf(version);

    // Signed compare: a count of 128 or more is negative here, as in the title.
    state.xAboveY = state.xCount > state.yCount ? 1 : 0;

    if (state.typeCode == 4) {
        // Word 191 is 0xFFFF in a controller without a frequency table. A
        // failed read says nothing about the table, so it counts as none
        // rather than reading an unset word.
        uint16_t word = 0xFFFF;
        const bool read = DevReadWord(state.controller, 191, &word) != 0;
        state.hasFreqTable = (read && word != 0xFFFF) ? 1 : 0;
    }
    return true;
}

TunerStartup::TunerStartup(DeviceState& state, QString customerLabel, QString instanceName)
    : m_state(state), m_customerLabel(std::move(customerLabel)), m_instanceName(std::move(instanceName)) {}

TunerStartup::~TunerStartup() = default;

StartupOutcome TunerStartup::run() {
    StartupOutcome out;
    m_state.titleBase = tunerTitleBase();

    m_lock = std::make_unique<host::SingleInstanceLock>(m_instanceName);
    if (m_lock->alreadyRunning()) {
        host::messageBox(QStringLiteral("LUMORA_TUNER is already running"), QStringLiteral("Warning!"),
                         host::Icon::Warning);
        m_lock.reset();
        out.exitCode = 0;  // the running instance does the work; this one just ends
        return out;
    }

    m_state.controller = 0;
    m_state.tester = 0;
    m_state.restoreReportId = 1;

    if (!findAndOpenController(m_state)) {
        out.exitCode = 1;  // a controller is there but could not be opened
        return out;
    }

    QString suffix;
    bool testerOnly = false;
    if (m_state.controller != 0) {
        switch (m_state.typeCode) {
            case 4:
            case 5:
            case 6:
            case 8:
                readCounts(m_state);
                suffix = identitySuffix(m_state.typeCode, m_state.modelName, m_state.xCount,
                                        m_state.yCount, m_state.fwVersion);
                // Code 5 is recognised (title, report id) but has no page.
                if (m_state.typeCode != 5) out.pageSet = m_state.typeCode;
                break;
            default: break;
        }
    } else {
        std::memset(m_state.testerDescriptor.path, 0, sizeof m_state.testerDescriptor.path);
        EnumerateHidDevicesById(kPwmTesterId.vendor, kPwmTesterId.product, &m_state, &takeTester);
        if (m_state.testerDescriptor.path[0] != '\0') {
            host::trace(QStringLiteral("PCAP : EnumeratePWMDevices...OK\r\n"));
            m_state.tester = OpenHIDDevice(m_state.testerDescriptor);
        }
        if (m_state.tester != 0) {
            // The tester was only opened to prove it answers; its page
            // ("Analyze") opens it again when it needs it. The title has no
            // suffix.
            CloseHIDDevice(m_state.tester);
            m_state.tester = 0;
            out.pageSet = kPwmTesterPageSet;
            testerOnly = true;
        } else {
            suffix = QStringLiteral("- No-Link");
            host::messageBox(QStringLiteral("ZEMA Device not Found!"), QStringLiteral("Quillet"),
                             host::Icon::Information);
        }
    }

    out.showSheet = true;
    out.title = m_state.titleBase + m_customerLabel + suffix;
    out.placeholder = placeholderFor(m_state, testerOnly);
    return out;
}

void runExitSequence(DeviceState& state, bool modernHost) {
    if (state.controller != 0) {
        // A controller still in its boot loader with code 2 takes no command
        // but the close.
        if (state.typeCode != 2) {
            int8_t y = 0;
            int8_t x = 0;
            PCAPStopGetData(state.controller, &y, &x);
            DevDisableFilter(state.controller, 0);
            if (state.restoreReportId) {
                host::trace(QStringLiteral("[LumoraTester] Change report ID\r\n"));
                if (modernHost) {
                    switch (exitReportId(state.typeCode, true)) {
                        case 4:
                            host::trace(QStringLiteral("SetReportId: 0x04\r\n"));
                            SetReportId(state.controller, 4);
                            break;
                        case 6:
                            host::trace(QStringLiteral("SetReportId: 0x06\r\n"));
                            SetReportId(state.controller, 6);
                            break;
                        default: break;  // other codes keep their report id
                    }
                } else {
                    host::trace(QStringLiteral("SetReportId: OldId\r\n"));
                    SetReportId(state.controller, 1);
                }
            }
        }
        closeController(state);
    }
    if (state.tester != 0) {
        CloseHIDDevice(state.tester);
        state.tester = 0;
    }
}

}  // namespace lumora

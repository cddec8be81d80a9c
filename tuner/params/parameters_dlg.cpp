#include "tuner/params/parameters_dlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/packet.h"
#include "host/packet_window.h"
#include "host/services.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"
#include "tuner/params/osprey_param_io.h"

namespace lumora {

namespace {

// Exit code when the page ends the program because the controller stopped
// answering; the controller's end packet ends it normally (0).
constexpr int kExitReadFailure = 1;

}  // namespace

CParametersDlg::CParametersDlg(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Parameters"), parent) {
    setObjectName(QStringLiteral("CParametersDlg"));

    auto* flagsGroup = new QGroupBox(QStringLiteral("Ctrl Flag"), this);
    flagsGroup->setObjectName(QStringLiteral("ctrlFlagGroup"));
    m_inverseY = named(new QCheckBox(QStringLiteral("INVERSE Y"), flagsGroup), "inverseYCheck");
    m_inverseX = named(new QCheckBox(QStringLiteral("INVERSE X"), flagsGroup), "inverseXCheck");
    m_swapXY = named(new QCheckBox(QStringLiteral("SWAPXY"), flagsGroup), "swapXYCheck");
    m_autoCalibration = named(new QCheckBox(QStringLiteral("AUTO CALIBRATION"), flagsGroup), "autoCalibrationCheck");
    auto* flagsLayout = new QVBoxLayout(flagsGroup);
    for (QCheckBox* box : {m_inverseY, m_inverseX, m_swapXY, m_autoCalibration})
        flagsLayout->addWidget(box);

    m_loadButton = named(new QPushButton(QStringLiteral("Load param"), this), "loadParamButton");
    m_saveButton = named(new QPushButton(QStringLiteral("Save param"), this), "saveParamButton");
    m_calibrationButton = named(new QPushButton(QStringLiteral("Hardware Calibration"), this), "hardwareCalibrationButton");
    connect(m_loadButton, &QPushButton::clicked, this, [this] { onLoadParam(); });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { onSaveParam(); });
    connect(m_calibrationButton, &QPushButton::clicked, this, [this] { onHardwareCalibration(); });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_loadButton);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_calibrationButton);
    buttons->addStretch(1);

    auto* row = new QHBoxLayout;
    row->addWidget(flagsGroup);
    row->addLayout(buttons);
    row->addStretch(1);
    auto* page = new QVBoxLayout(this);
    page->addLayout(row);
    page->addStretch(1);

    m_packetWindow = new host::PacketWindow(this);
    m_packetWindow->setHandler(
        [this](uint32_t message, const VexPacket& packet) { onPacketMessage(message, packet); });
}

CParametersDlg::~CParametersDlg() = default;

void CParametersDlg::onCreated() {
    // After a failed read the device is closed and the program is ending:
    // going on would only report the closed handle as a second failure.
    if (load() == ParamResult::ReadFailure) return;

    if (state().hasFreqTable) {
        const ParamResult result = LoadFreqTable(state());
        if (result != ParamResult::Done) {
            if (result == ParamResult::ReadFailure)
                host::messageBox(QStringLiteral("Get Parameters Fail!"),
                                 QStringLiteral("LumoraTuner"), host::Icon::Error,
                                 host::Buttons::Ok, this);
            else
                host::messageBox(QStringLiteral("CRC Fail!"), QStringLiteral("LumoraTuner"),
                                 host::Icon::Error, host::Buttons::Ok, this);
            // The page goes on without a device; the calls below then fail
            // quietly, as every operation does with handle 0.
            closeController(state());
        }
    }

    state().activePage = kParametersPage;
    // Registered once, for the life of the page (not per show like the
    // streaming pages): it only watches for the controller going away.
    m_registration =
        m_packetWindow->registerPacket(state().controller, kWatchedPacketId, kStreamMessage);
    PCAPStopGetData(state().controller, &m_yCount, &m_xCount);
    showValues();
}

void CParametersDlg::onActivated() {
    state().activePage = kParametersPage;
    PCAPStopGetData(state().controller, &m_yCount, &m_xCount);
    // The first activation follows creation, which has just shown the values.
    if (++m_activations > 1) showValues();
}

void CParametersDlg::onShown() { load(); }

void CParametersDlg::onDestroyed() {
    if (m_registration == 0) return;
    m_packetWindow->unregister(state().controller, m_registration);
    m_registration = 0;
}

void CParametersDlg::onLoadParam() { load(); }

void CParametersDlg::onSaveParam() { save(); }

void CParametersDlg::onHardwareCalibration() {
    if (m_ending) return;
    DevHardwareCalibration(state().controller);
    DevResetController(state().controller);
    host::messageBox(QStringLiteral("Reset OK"), QStringLiteral("ZEMA Quillet"),
                     host::Icon::Information, host::Buttons::Ok, this);
}

void CParametersDlg::onPacketMessage(uint32_t message, const VexPacket& packet) {
    if (message != kStreamMessage) return;
    if (state().activePage != kParametersPage || state().controller == 0) return;
    if (!isEndPacket(packet.bytes)) return;
    closeController(state());
    m_ending = true;
    emit quitRequested(0);
}

ParamResult CParametersDlg::load() {
    // The program is already ending: the first failure has been shown and
    // the device is closed, so a show or click on the way out stays quiet.
    if (m_ending) return ParamResult::ReadFailure;
    const ParamResult result = LoadParamBlock(state());
    switch (result) {
    case ParamResult::ReadFailure:
        host::messageBox(QStringLiteral("Load Param Fail!\r\n"), QStringLiteral("LumoraTuner"),
                         host::Icon::Error, host::Buttons::Ok, this);
        if (state().controller != 0) closeController(state());
        m_ending = true;
        emit quitRequested(kExitReadFailure);
        return result;
    case ParamResult::ChecksumFailure:
        // The in-memory block holds the words read; the page keeps its values.
        host::messageBox(QStringLiteral("CRC Error!"), QStringLiteral("ZEMA PCAP Raw Viewer"),
                         host::Icon::Error, host::Buttons::Ok, this);
        return result;
    case ParamResult::Done:
        break;
    }
    takeValues();
    valuesFromBlock(paramBlockOf(state()), m_values);
    showValues();
    return result;
}

void CParametersDlg::save() {
    if (m_ending) return;
    ParamResult reload = ParamResult::ReadFailure;
    {
        host::WaitCursor wait;
        takeValues();
        // The block as last loaded supplies word 0's uncaptioned bits and the
        // places without a caption.
        OspreyParamBlock block = paramBlockOf(state());
        blockFromValues(m_values, block);
        block.toWords(state().paramBlock);
        StoreParamBlock(state());
        reload = load();
    }
    // Writes report nothing, so only a clean reload shows that the controller
    // holds the block. After "CRC Error!" or a failed read, "Save Parameters
    // OK" would report a failure as success.
    if (reload != ParamResult::Done) return;
    host::messageBox(QStringLiteral("Save Parameters OK"), QStringLiteral("ZEMA Quillet"),
                     host::Icon::Information, host::Buttons::Ok, this);
}

void CParametersDlg::takeValues() {
    m_values.inverseY = m_inverseY->isChecked();
    m_values.inverseX = m_inverseX->isChecked();
    m_values.swapXY = m_swapXY->isChecked();
    m_values.autoCalibration = m_autoCalibration->isChecked();
}

void CParametersDlg::showValues() {
    m_inverseY->setChecked(m_values.inverseY);
    m_inverseX->setChecked(m_values.inverseX);
    m_swapXY->setChecked(m_values.swapXY);
    m_autoCalibration->setChecked(m_values.autoCalibration);
}

TunerPage* makeParametersPage(DeviceState& state) { return new CParametersDlg(state); }

}  // namespace lumora

#include "tuner/analyze/analyze_dlg.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "device/controller_ids.h"
#include "device/enumerated_path.h"
#include "device/packet.h"
#include "host/packet_window.h"
#include "host/services.h"
#include "tuner/analyze/customer_names.h"
#include "tuner/app/device_state.h"

namespace lumora {

namespace {

QSpinBox* makeSpin(QWidget* parent, const char* name, int min, int max) {
    auto* spin = named(new QSpinBox(parent), name);
    spin->setRange(min, max);
    spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spin->setMinimumWidth(64);
    return spin;
}

QLineEdit* makeField(QWidget* parent, const char* name, bool readOnly = true) {
    auto* field = named(new QLineEdit(parent), name);
    field->setReadOnly(readOnly);
    field->setMinimumWidth(64);
    return field;
}

QLabel* label(QWidget* parent, const char* text) { return new QLabel(QString::fromLatin1(text), parent); }

}  // namespace

CAnalyzeDlg::CAnalyzeDlg(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Analyze"), parent) {
    setObjectName(QStringLiteral("CAnalyzeDlg"));
    m_sweepTimer = new QTimer(this);
    m_sweepTimer->setSingleShot(true);
    connect(m_sweepTimer, &QTimer::timeout, this, [this] { postPwmStep(); });
    m_touchWait = new QTimer(this);
    m_touchWait->setSingleShot(true);
    connect(m_touchWait, &QTimer::timeout, this, [this] { onTouchWaitOver(); });
    buildControls();
    m_packetWindow = new host::PacketWindow(this);
    m_packetWindow->setHandler(
        [this](uint32_t message, const VexPacket& packet) { onPacketMessage(message, packet); });
}

CAnalyzeDlg::~CAnalyzeDlg() {
    // The handles the page opened itself; the controller belongs to the program.
    if (m_tester) CloseHIDDevice(m_tester);
    if (m_thqaHandle) CloseHIDDevice(m_thqaHandle);
}

QPushButton* CAnalyzeDlg::makeButton(QWidget* parent, const char* text, const char* name,
                                     void (CAnalyzeDlg::*handler)()) {
    auto* button = named(new QPushButton(QString::fromLatin1(text), parent), name);
    connect(button, &QPushButton::clicked, this, [this, handler] {
        if (!m_ending) (this->*handler)();
    });
    return button;
}

void CAnalyzeDlg::buildControls() {
    auto* left = new QVBoxLayout;
    left->addWidget(buildChannelGroup());
    left->addWidget(buildInfoGroup(), 1);

    auto* middle = new QVBoxLayout;
    middle->addWidget(buildHeronGroup());
    middle->addWidget(buildThqaGroup());
    middle->addStretch(1);

    auto* right = new QVBoxLayout;
    right->addWidget(buildPwmGroup());
    right->addWidget(buildLatencyGroup());
    right->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addLayout(middle, 1);
    top->addLayout(right, 1);

    m_downloadList = new QTableWidget(0, int(analyze::kDownloadColumns.size()), this);
    m_downloadList->setObjectName(QStringLiteral("downloadList"));
    QStringList titles;
    for (const auto& column : analyze::kDownloadColumns) titles << QString::fromLatin1(column.title);
    m_downloadList->setHorizontalHeaderLabels(titles);
    // The widths were chosen for a small dialog font; a title never gets
    // less room than it needs.
    const QFontMetrics header(m_downloadList->horizontalHeader()->font());
    for (int c = 0; c < int(analyze::kDownloadColumns.size()); ++c)
        m_downloadList->setColumnWidth(
            c, std::max(analyze::kDownloadColumns[size_t(c)].width, header.horizontalAdvance(titles[c]) + 16));
    m_downloadList->horizontalHeader()->setStretchLastSection(true);
    m_downloadList->verticalHeader()->hide();
    m_downloadList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_downloadList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_downloadList->setShowGrid(true);
    m_downloadList->setWordWrap(false);
    m_downloadList->setMinimumHeight(150);

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addWidget(m_downloadList, 1);
}

QGroupBox* CAnalyzeDlg::buildChannelGroup() {
    auto* group = new QGroupBox(QStringLiteral("Osprey Channel Test"), this);
    m_channelXEdit = makeSpin(group, "channelXEdit", 0, 255);
    m_channelYEdit = makeSpin(group, "channelYEdit", 0, 255);
    m_xDrive = new QRadioButton(QStringLiteral("X Drive"), group);
    m_xDrive->setObjectName(QStringLiteral("xDriveRadio"));
    m_yDrive = new QRadioButton(QStringLiteral("Y Drive"), group);
    m_yDrive->setObjectName(QStringLiteral("yDriveRadio"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(label(group, "Channel X"), 0, 0);
    grid->addWidget(m_channelXEdit, 0, 1);
    grid->addWidget(m_xDrive, 0, 2);
    grid->addWidget(label(group, "Channel Y"), 1, 0);
    grid->addWidget(m_channelYEdit, 1, 1);
    grid->addWidget(m_yDrive, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(makeButton(group, "Self Cap", "selfCapButton", &CAnalyzeDlg::onSelfCap));
    buttons->addWidget(makeButton(group, "Mutual Cap", "mutualCapButton", &CAnalyzeDlg::onMutualCap));
    buttons->addWidget(makeButton(group, "Stop", "channelStopButton", &CAnalyzeDlg::onStopChannelTest));
    grid->addLayout(buttons, 2, 0, 1, 3);
    return group;
}

QGroupBox* CAnalyzeDlg::buildInfoGroup() {
    auto* group = new QGroupBox(QStringLiteral("PCAP Info"), this);
    m_infoBox = new QPlainTextEdit(group);
    m_infoBox->setObjectName(QStringLiteral("infoBox"));
    m_infoBox->setReadOnly(true);
    m_infoBox->setMinimumHeight(120);
    m_filterButton = makeButton(group, "Disable Filter", "disableFilterButton", &CAnalyzeDlg::onDisableFilter);
    m_cid1Edit = makeField(group, "cid1Edit");
    // The second id is 32 bits wide on the controller; DevSetCID sets 16.
    m_cid2Edit = makeField(group, "cid2Edit", false);
    m_cid2Edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,10}")), m_cid2Edit));
    m_cid1Name = makeField(group, "cid1NameEdit");
    m_cid2Name = makeField(group, "cid2NameEdit");

    auto* grid = new QGridLayout(group);
    grid->addWidget(makeButton(group, "Get PCAP Info", "getPcapInfoButton", &CAnalyzeDlg::onGetPcapInfo), 0, 0);
    grid->addWidget(makeButton(group, "Get CRC", "getCrcButton", &CAnalyzeDlg::onGetCrc), 0, 1);
    grid->addWidget(m_filterButton, 0, 2);
    grid->addWidget(m_infoBox, 1, 0, 1, 3);
    grid->addWidget(makeButton(group, "Get CID", "getCidButton", &CAnalyzeDlg::onGetCid), 2, 0);
    grid->addWidget(m_cid1Edit, 2, 1);
    grid->addWidget(m_cid1Name, 2, 2);
    grid->addWidget(makeButton(group, "Set CID", "setCidButton", &CAnalyzeDlg::onSetCid), 3, 0);
    grid->addWidget(m_cid2Edit, 3, 1);
    grid->addWidget(m_cid2Name, 3, 2);
    grid->addWidget(makeButton(group, "Get FW Update Info", "getFwUpdateInfoButton",
                               &CAnalyzeDlg::onGetFwUpdateInfo), 4, 0, 1, 2);
    grid->addWidget(makeButton(group, "Set FW Update Info", "setFwUpdateInfoButton",
                               &CAnalyzeDlg::onSetFwUpdateInfo), 4, 2);
    grid->setRowStretch(1, 1);
    return group;
}

QGroupBox* CAnalyzeDlg::buildHeronGroup() {
    auto* group = new QGroupBox(QStringLiteral("Heron Set Freq"), this);
    m_heronStartEdit = makeSpin(group, "heronStartEdit", 1, 65535);
    m_heronEndEdit = makeSpin(group, "heronEndEdit", 1, 65535);
    m_heronStepEdit = makeSpin(group, "heronStepEdit", 1, 65535);
    m_heronIntervalEdit = makeSpin(group, "heronIntervalEdit", 0, 3600);
    m_heronCurrentEdit = makeField(group, "heronCurrentEdit");
    m_heronStartKhz = makeField(group, "heronStartKhz");
    m_heronEndKhz = makeField(group, "heronEndKhz");
    auto* grid = new QGridLayout(group);
    grid->addWidget(label(group, "Start"), 0, 0);
    grid->addWidget(m_heronStartEdit, 0, 1);
    grid->addWidget(m_heronStartKhz, 0, 2);
    grid->addWidget(label(group, "End"), 1, 0);
    grid->addWidget(m_heronEndEdit, 1, 1);
    grid->addWidget(m_heronEndKhz, 1, 2);
    grid->addWidget(label(group, "Step"), 2, 0);
    grid->addWidget(m_heronStepEdit, 2, 1);
    grid->addWidget(label(group, "Interval"), 3, 0);
    grid->addWidget(m_heronIntervalEdit, 3, 1);
    grid->addWidget(label(group, "Current"), 4, 0);
    grid->addWidget(m_heronCurrentEdit, 4, 1);
    grid->addWidget(makeButton(group, "Set Freq", "heronSetFreqButton", &CAnalyzeDlg::onHeronSetFreq), 2, 2);
    grid->addWidget(makeButton(group, "Stop", "heronStopButton", &CAnalyzeDlg::onHeronStop), 3, 2);
    // Present but not in use in this group.
    auto* run = new QPushButton(QStringLiteral("PWM Run"), group);
    run->setObjectName(QStringLiteral("heronPwmRunButton"));
    run->setEnabled(false);
    auto* find = new QPushButton(QStringLiteral("Find Tester"), group);
    find->setObjectName(QStringLiteral("heronFindTesterButton"));
    find->setEnabled(false);
    grid->addWidget(run, 5, 1);
    grid->addWidget(find, 5, 2);
    return group;
}

QGroupBox* CAnalyzeDlg::buildThqaGroup() {
    auto* group = new QGroupBox(QStringLiteral("THQA Test"), this);
    m_thqaLoadPath = makeField(group, "thqaLoadPath");
    m_thqaSavePath = makeField(group, "thqaSavePath");
    auto* grid = new QGridLayout(group);
    grid->addWidget(makeButton(group, "Find", "thqaFindButton", &CAnalyzeDlg::onThqaFind), 0, 0);
    grid->addWidget(makeButton(group, "Set", "thqaSetButton", &CAnalyzeDlg::onThqaSet), 0, 1);
    grid->addWidget(makeButton(group, "Get", "thqaGetButton", &CAnalyzeDlg::onThqaGet), 0, 2);
    grid->addWidget(makeButton(group, "Load", "thqaLoadButton", &CAnalyzeDlg::onThqaLoad), 1, 0);
    grid->addWidget(m_thqaLoadPath, 1, 1, 1, 2);
    grid->addWidget(makeButton(group, "Save", "thqaSaveButton", &CAnalyzeDlg::onThqaSave), 2, 0);
    grid->addWidget(m_thqaSavePath, 2, 1, 1, 2);
    return group;
}

QGroupBox* CAnalyzeDlg::buildPwmGroup() {
    auto* group = new QGroupBox(QStringLiteral("PWM Tester"), this);
    m_pwmStartEdit = makeSpin(group, "pwmStartEdit", 1, 65535);
    m_pwmEndEdit = makeSpin(group, "pwmEndEdit", 1, 65535);
    // A step of 0 would never reach the end of the sweep.
    m_pwmStepEdit = makeSpin(group, "pwmStepEdit", 1, 65535);
    m_pwmIntervalEdit = makeSpin(group, "pwmIntervalEdit", 0, 3600);
    m_pwmCurrentEdit = makeField(group, "pwmCurrentEdit");
    m_pwmStartKhz = makeField(group, "pwmStartKhz");
    m_pwmEndKhz = makeField(group, "pwmEndKhz");
    m_pwmCurrentKhz = makeField(group, "pwmCurrentKhz");
    const char* voltages[3][2] = {{"3.3V", "volt33Radio"}, {"7.0V", "volt70Radio"}, {"15.0V", "volt150Radio"}};
    auto* voltageRow = new QHBoxLayout;
    for (int v = 0; v < 3; ++v) {
        m_voltage[v] = new QRadioButton(QString::fromLatin1(voltages[v][0]), group);
        m_voltage[v]->setObjectName(QString::fromLatin1(voltages[v][1]));
        voltageRow->addWidget(m_voltage[v]);
    }
    auto* grid = new QGridLayout(group);
    grid->addWidget(label(group, "Start"), 0, 0);
    grid->addWidget(m_pwmStartEdit, 0, 1);
    grid->addWidget(m_pwmStartKhz, 0, 2);
    grid->addWidget(label(group, "kHz"), 0, 3);
    grid->addWidget(label(group, "End"), 1, 0);
    grid->addWidget(m_pwmEndEdit, 1, 1);
    grid->addWidget(m_pwmEndKhz, 1, 2);
    grid->addWidget(label(group, "kHz"), 1, 3);
    grid->addWidget(label(group, "Current"), 2, 0);
    grid->addWidget(m_pwmCurrentEdit, 2, 1);
    grid->addWidget(m_pwmCurrentKhz, 2, 2);
    grid->addWidget(label(group, "kHz"), 2, 3);
    grid->addWidget(label(group, "Step"), 3, 0);
    grid->addWidget(m_pwmStepEdit, 3, 1);
    grid->addWidget(label(group, "Interval"), 4, 0);
    grid->addWidget(m_pwmIntervalEdit, 4, 1);
    grid->addWidget(label(group, "s"), 4, 2);
    grid->addLayout(voltageRow, 5, 0, 1, 4);
    auto* buttons = new QGridLayout;
    buttons->addWidget(makeButton(group, "PWM Enable", "pwmEnableButton", &CAnalyzeDlg::onPwmEnable), 0, 0);
    buttons->addWidget(makeButton(group, "PWM Run", "pwmRunButton", &CAnalyzeDlg::onPwmRun), 0, 1);
    buttons->addWidget(makeButton(group, "Stop PWM", "stopPwmButton", &CAnalyzeDlg::onStopPwm), 1, 0);
    buttons->addWidget(makeButton(group, "Find Tester", "pwmFindTesterButton",
                                  &CAnalyzeDlg::onFindTesterForPwm), 1, 1);
    grid->addLayout(buttons, 6, 0, 1, 4);
    return group;
}

QGroupBox* CAnalyzeDlg::buildLatencyGroup() {
    auto* group = new QGroupBox(QStringLiteral("Kestrel Latency Test"), this);
    m_startMsEdit = makeField(group, "startMsEdit");
    m_endMsEdit = makeField(group, "endMsEdit");
    m_latencyEdit = makeField(group, "latencyEdit");
    m_loopCountEdit = makeSpin(group, "loopCountEdit", 1, 1000000);
    m_loopDoneEdit = makeField(group, "loopDoneEdit");
    m_latencyTotalEdit = makeField(group, "latencyTotalEdit");
    m_latencyAvgEdit = makeField(group, "latencyAvgEdit");
    m_touchIntervalEdit = makeSpin(group, "touchIntervalEdit", 0, 600000);
    m_statusLine = new QLabel(group);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setMinimumWidth(240);
    m_singleTest = makeButton(group, "Single Test", "singleTestButton", &CAnalyzeDlg::onSingleTest);
    m_loopTest = makeButton(group, "Loop Test", "loopTestButton", &CAnalyzeDlg::onLoopTest);
    m_disableTouch = makeButton(group, "Disable Touch", "disableTouchButton", &CAnalyzeDlg::onDisableTouch);
    m_enableTouch = makeButton(group, "Enable Touch", "enableTouchButton", &CAnalyzeDlg::onEnableTouch);

    auto* grid = new QGridLayout(group);
    grid->addWidget(label(group, "Start (ms)"), 0, 0);
    grid->addWidget(m_startMsEdit, 0, 1);
    grid->addWidget(label(group, "End (ms)"), 1, 0);
    grid->addWidget(m_endMsEdit, 1, 1);
    grid->addWidget(label(group, "Latency (ms)"), 2, 0);
    grid->addWidget(m_latencyEdit, 2, 1);
    grid->addWidget(label(group, "Loop"), 3, 0);
    auto* loopRow = new QHBoxLayout;
    loopRow->addWidget(m_loopCountEdit);
    loopRow->addWidget(m_loopDoneEdit);
    grid->addLayout(loopRow, 3, 1);
    grid->addWidget(label(group, "Latency Total"), 4, 0);
    grid->addWidget(m_latencyTotalEdit, 4, 1);
    grid->addWidget(label(group, "Latency Avg"), 5, 0);
    grid->addWidget(m_latencyAvgEdit, 5, 1);
    grid->addWidget(label(group, "Interval"), 6, 0);
    grid->addWidget(m_touchIntervalEdit, 6, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(makeButton(group, "Find Tester", "latencyFindTesterButton",
                                  &CAnalyzeDlg::onFindTesterForLatency));
    buttons->addWidget(m_singleTest);
    buttons->addWidget(m_loopTest);
    buttons->addWidget(makeButton(group, "Stop", "latencyStopButton", &CAnalyzeDlg::onStopLatency));
    buttons->addWidget(m_disableTouch);
    buttons->addWidget(m_enableTouch);
    buttons->addWidget(makeButton(group, "Reset Controller", "resetControllerButton",
                                  &CAnalyzeDlg::onResetController));
    grid->addLayout(buttons, 0, 2, 7, 1);
    grid->addWidget(m_statusLine, 7, 0, 1, 3);
    // They need a tester: "Find Tester" enables them once it has one.
    setLatencyButtonsEnabled(false);
    return group;
}

int CAnalyzeDlg::takeDevice(void* context, const char* path, void*, uint32_t value1, uint32_t value2) {
    return lumora::storeEnumeratedPath(*static_cast<VexDeviceDescriptor*>(context), path, value1, value2) ? 1 : 0;
}

void CAnalyzeDlg::setLatencyButtonsEnabled(bool enabled) {
    for (QPushButton* b : {m_enableTouch, m_disableTouch, m_singleTest, m_loopTest}) b->setEnabled(enabled);
}

// ---- life cycle -------------------------------------------------------------

void CAnalyzeDlg::onCreated() { showValues(); }

void CAnalyzeDlg::clearLatencyResults() {
    m_stats.reset();
    m_loopCount = 1;
    m_loopsLeft = 0;
    m_measurementNumber = 0;
    m_armed = m_stimulusOn = m_measured = false;
    m_startUs = m_endUs = 0;
    m_latencyMs = 0;
    m_loopLogging = false;
    m_touchWait->stop();
}

void CAnalyzeDlg::onShown() {
    clearLatencyResults();
    DeviceState& s = state();
    if (s.controller != 0) {
        if (m_streamRegistration == 0)
            m_streamRegistration = m_packetWindow->registerPacket(s.controller, 0x3B, kStreamMessage);
        if (m_touchRegistration == 0)
            m_touchRegistration = m_packetWindow->registerSubPacket(s.controller, 0x36, 0x13, kTouchMessage);
        if (s.typeCode != 2) {
            int8_t y = 0, x = 0;
            PCAPStopGetData(s.controller, &y, &x);
            PCAPGetRawPoint(s.controller, &m_countY, &m_countX);
        }
        setLatencyButtonsEnabled(false);
    } else {
        host::trace(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n"));
    }
    showValues();
}

void CAnalyzeDlg::onHidden() {
    m_packetWindow->unregister(state().controller, m_streamRegistration);
    m_packetWindow->unregister(state().controller, m_touchRegistration);
    m_streamRegistration = m_touchRegistration = 0;
    // Nothing of the sweep or of a measurement may run on without the tester.
    m_sweepTimer->stop();
    m_sweepRunning = false;
    m_touchWait->stop();
    m_armed = false;
    if (m_tester) {
        CloseHIDDevice(m_tester);
        m_tester = 0;
    }
}

void CAnalyzeDlg::onDestroyed() { m_packetWindow->unregisterAll(); }

void CAnalyzeDlg::onPacketMessage(uint32_t message, const VexPacket& packet) {
    if (m_ending) return;
    if (message == kStreamMessage) {
        if (!isEndPacket(packet.bytes) || state().controller == 0) return;
        closeController(state());
        m_ending = true;
        emit quitRequested(0);
    } else if (message == kTouchMessage) {
        onTouchReport(packet);
    }
}

// ---- controls ----------------------------------------------------------------

void CAnalyzeDlg::readControls() {
    m_channelX = uint32_t(m_channelXEdit->value());
    m_channelY = uint32_t(m_channelYEdit->value());
    m_drive = m_yDrive->isChecked() ? 1 : 0;
    bool ok = false;
    const qulonglong cid2 = m_cid2Edit->text().toULongLong(&ok);
    if (ok && cid2 <= 0xFFFFFFFFull) m_cid2 = uint32_t(cid2);
    m_heronStart = uint32_t(m_heronStartEdit->value());
    m_heronEnd = uint32_t(m_heronEndEdit->value());
    m_heronStep = uint32_t(m_heronStepEdit->value());
    m_heronInterval = uint32_t(m_heronIntervalEdit->value());
    m_pwmStart = uint32_t(m_pwmStartEdit->value());
    m_pwmEnd = uint32_t(m_pwmEndEdit->value());
    m_pwmStep = uint32_t(m_pwmStepEdit->value());
    m_pwmInterval = uint32_t(m_pwmIntervalEdit->value());
    for (int v = 0; v < 3; ++v)
        if (m_voltage[v]->isChecked()) m_pwmVoltage = uint8_t(v);
    m_loopCount = m_loopCountEdit->value();
    m_touchInterval = m_touchIntervalEdit->value();
}

void CAnalyzeDlg::showValues() {
    m_channelXEdit->setValue(int(m_channelX));
    m_channelYEdit->setValue(int(m_channelY));
    (m_drive == 1 ? m_yDrive : m_xDrive)->setChecked(true);
    QString display = m_infoText;
    m_infoBox->setPlainText(display.remove(QLatin1Char('\r')));
    m_cid1Edit->setText(QString::number(m_cid1));
    m_cid2Edit->setText(QString::number(m_cid2));
    m_heronStartEdit->setValue(int(m_heronStart));
    m_heronEndEdit->setValue(int(m_heronEnd));
    m_heronStepEdit->setValue(int(m_heronStep));
    m_heronIntervalEdit->setValue(int(m_heronInterval));
    m_heronCurrentEdit->setText(m_heronCurrent ? QString::number(m_heronCurrent) : QString());

    m_pwmStartEdit->setValue(int(m_pwmStart));
    m_pwmEndEdit->setValue(int(m_pwmEnd));
    m_pwmStepEdit->setValue(int(m_pwmStep));
    m_pwmIntervalEdit->setValue(int(m_pwmInterval));
    m_voltage[m_pwmVoltage]->setChecked(true);
    m_pwmCurrentEdit->setText(QString::number(m_pwmCurrent));
    m_pwmStartKhz->setText(analyze::khzText(m_pwmStart));
    m_pwmEndKhz->setText(analyze::khzText(m_pwmEnd));
    m_pwmCurrentKhz->setText(analyze::khzText(m_pwmCurrent));

    m_loopCountEdit->setValue(m_loopCount);
    m_touchIntervalEdit->setValue(m_touchInterval);
    showLatency();
}

void CAnalyzeDlg::showLatency() {
    auto ms = [](double v) { return QString::asprintf("%.3f", v); };
    m_startMsEdit->setText(ms(analyze::millisOf(m_startUs)));
    m_endMsEdit->setText(ms(analyze::millisOf(m_endUs)));
    m_latencyEdit->setText(ms(m_latencyMs));
    m_loopDoneEdit->setText(QString::number(m_measurementNumber));
    m_latencyTotalEdit->setText(ms(m_stats.total));
    m_latencyAvgEdit->setText(ms(m_stats.avg));
}

QString CAnalyzeDlg::statusLine() const { return m_statusLine->text(); }

void CAnalyzeDlg::message(const char* text, const char* caption) {
    host::messageBox(QString::fromLatin1(text), QString::fromLatin1(caption), host::Icon::None,
                     host::Buttons::Ok, this);
}

// ---- workbench commands ------------------------------------------------------

void CAnalyzeDlg::channelTest(bool mutual) {
    readControls();
    // The counts are the controller's signed bytes; a panel of 128 channels
    // or more reads negative, so they are compared as the unsigned counts
    // they stand for.
    if (uint8_t(m_countX) < m_channelX || uint8_t(m_countY) < m_channelY) {
        message("Invalid Channel!", "Error");
        return;
    }
    const VexHandle c = state().controller;
    if (mutual)
        PCAPStartMutualCapChannel(c, uint8_t(m_drive), int(m_channelX), int(m_channelY));
    else
        PCAPStartSelfCapChannel(c, uint8_t(m_drive), int(m_channelX), int(m_channelY));
}

void CAnalyzeDlg::onSelfCap() { channelTest(false); }
void CAnalyzeDlg::onMutualCap() { channelTest(true); }

void CAnalyzeDlg::onStopChannelTest() {
    readControls();
    PCAPStopChannelTest(state().controller);
}

void CAnalyzeDlg::onGetPcapInfo() {
    DevGetPCAPInfo(state().controller, m_pcapInfo);
    m_infoText = analyze::pcapInfoText(m_pcapInfo);
    showValues();
}

void CAnalyzeDlg::onGetCrc() {
    uint8_t info[15] = {};
    DevGetCRCInfo(state().controller, info);
    m_infoText = analyze::crcInfoText(info);
    showValues();
}

void CAnalyzeDlg::appendDownloadRow(int index, const analyze::DownloadRecord& record) {
    const QStringList texts = analyze::downloadRecordRow(index, record);
    const int row = m_downloadList->rowCount();
    m_downloadList->insertRow(row);
    for (int c = 0; c < texts.size(); ++c) {
        m_downloadList->setItem(row, c, new QTableWidgetItem(texts[c]));
        // A column grows to show its longest text whole (customer names are
        // longer than the room the dialog font gave them).
        const int width = m_downloadList->columnWidth(c);
        m_downloadList->resizeColumnToContents(c);
        if (m_downloadList->columnWidth(c) < width) m_downloadList->setColumnWidth(c, width);
    }
}

void CAnalyzeDlg::onGetFwUpdateInfo() {
    // The list keeps what it showed: a second read appends the records again.
    for (int index = 0; index < analyze::kDownloadRecordSlots; ++index) {
        analyze::DownloadRecord record{};
        if (!DevGetDownloadInfo(state().controller, index, record.data(), analyze::kDownloadRecordSize)) {
            message("DevGetDownloadInfo Fail!\r\n", "Error");
            break;
        }
        appendDownloadRow(index + 1, record);
    }
    showValues();
}

void CAnalyzeDlg::onSetFwUpdateInfo() {
    // The controller's product id: the low half of the descriptor's first
    // enumeration value (vendor id << 16 | product id).
    const uint16_t productId = uint16_t(state().controllerDescriptor.value1 & 0xFFFF);
    const analyze::DownloadRecord record = analyze::newDownloadRecord(productId, host::localTime());
    DevSetDownloadInfo(state().controller, record.data(), analyze::kDownloadRecordSize);
}

void CAnalyzeDlg::onGetCid() {
    DevGetCID(state().controller, &m_cid1, &m_cid2);
    m_cid1Name->setText(analyze::customerName(m_cid1));
    m_cid2Name->setText(analyze::customerName(m_cid2));
    showValues();
}

void CAnalyzeDlg::onSetCid() {
    readControls();
    // The controller reads the second id back in 32 bits but sets it in 16:
    // a larger id would be cut to another customer's without a word.
    if (m_cid2 > 0xFFFF) {
        message("Invalid CID!", "Error");
        return;
    }
    DevSetCID(state().controller, uint16_t(m_cid2));
}

void CAnalyzeDlg::onDisableFilter() {
    m_filterOff = !m_filterOff;
    m_filterButton->setText(m_filterOff ? QStringLiteral("Enable Filter") : QStringLiteral("Disble Filter"));
    const VexHandle c = state().controller;
    int8_t y = 0, x = 0;
    PCAPStopGetData(c, &y, &x);
    DevDisableFilter(c, m_filterOff ? 1 : 0);
    SetReportId(c, 6);
    readControls();
}

void CAnalyzeDlg::onHeronSetFreq() {
    readControls();
    m_heronStartKhz->setText(analyze::khzText(m_heronStart));
    m_heronEndKhz->setText(analyze::khzText(m_heronEnd));
    m_heronCurrent = m_heronStart;
    if (SetHeronPWMFreq(state().controller, int(m_heronStart), 0)) message("SetHeronPWMFreq OK!", " Message ");
    showValues();
}

void CAnalyzeDlg::onHeronStop() {
    const VexHandle c = state().controller;
    // Word 255 counts the stops; without a word read there is nothing to count up.
    uint16_t word = 0;
    if (DevReadWord(c, 255, &word)) DevWriteWord(c, 255, uint16_t(word + 1));
    DevResetController(c);
    uint8_t buffer[64] = {};
    if (DevLoadDefaultFreqParam(c, buffer)) {
        DevResetController(c);
        message(" Load Default OK ! ", " Message ");
    } else {
        message(" No ACK ! ", " Error ");
    }
    DevSetFreqIndex(c, buffer, 0);
}

void CAnalyzeDlg::onThqaFind() {
    // A second "Find" must not leave the first handle open.
    if (m_thqaHandle) {
        CloseHIDDevice(m_thqaHandle);
        m_thqaHandle = 0;
    }
    std::memset(m_thqaDescriptor.path, 0, sizeof m_thqaDescriptor.path);
    EnumerateHidDevicesEx(0x38, 0, 0x101, lumora::kFeatureDeviceId.vendor, lumora::kFeatureDeviceId.product,
                          &m_thqaDescriptor, &takeDevice);
    if (m_thqaDescriptor.path[0] == '\0') return;
    host::trace(QStringLiteral("PCAP : EnumerateHidDevices...OK\r\n"));
    m_thqaHandle = OpenHIDDevice(m_thqaDescriptor);
}

void CAnalyzeDlg::onThqaLoad() {
    const QString path = host::openFileName(this, QString(), QStringLiteral("*.bin"),
                                            QStringLiteral("THQA Image (*.bin);;*.* (*)"));
    if (path.isEmpty()) return;
    m_thqaLoadPath->setText(path);
    analyze::loadThqaFile(path, m_thqaData);
    showValues();
}

void CAnalyzeDlg::onThqaSave() {
    const QString path = host::saveFileName(this, QString(), QStringLiteral("*.bin"),
                                            QStringLiteral("THQA Image (*.bin);;*.* (*)"));
    if (path.isEmpty()) return;
    m_thqaSavePath->setText(path);
    analyze::saveThqaFile(path, m_thqaData);
    showValues();
}

void CAnalyzeDlg::onThqaSet() {
    // Report id 7 and the first 257 data bytes; the report sent is 257 bytes
    // long, id included.
    uint8_t buffer[258] = {};
    buffer[0] = 7;
    std::memcpy(buffer + 1, m_thqaData.data(), 257);
    if (!DevSetFeature(m_thqaHandle, buffer, 257)) message("Set Feature Fail!", "LumoraTuner");
}

void CAnalyzeDlg::onThqaGet() {
    uint8_t buffer[512] = {};
    buffer[0] = 7;
    if (!DevGetFeature(m_thqaHandle, buffer, 257)) message("Get Feature Fail!", "LumoraTuner");
    // Taken whether or not the device answered.
    std::memcpy(m_thqaData.data(), buffer + 1, analyze::kThqaDataSize);
}

TunerPage* makeAnalyzePage(DeviceState& state) { return new CAnalyzeDlg(state); }

}  // namespace lumora

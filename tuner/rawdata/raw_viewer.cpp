#include "tuner/rawdata/raw_viewer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <iterator>
#include <utility>

#include "device/packet.h"
#include "host/services.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"
#include "tuner/rawdata/raw_log.h"

namespace lumora {

namespace rawdata {

// ---- GraphView -----------------------------------------------------------------------

GraphView::GraphView(QSize size, QWidget* parent) : QWidget(parent) {
    setFixedSize(size);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_image = QImage(size, QImage::Format_RGB32);
    m_image.fill(Qt::black);
}

void GraphView::setImage(const QImage& image) {
    m_image = image;
    update();
}

void GraphView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawImage(0, 0, m_image);
}

// ---- RawDrawWorker -----------------------------------------------------------------

RawDrawWorker::RawDrawWorker(std::function<void()> step)
    : m_step(std::move(step)), m_thread([this] {
          m_step();
          m_steps.fetch_add(1);
          return kPeriodMs;
      }) {}

RawDrawWorker::~RawDrawWorker() { quitAndJoin(); }

void RawDrawWorker::release() {
    if (m_released.exchange(true)) return;
    m_thread.start();
}

void RawDrawWorker::wake() { m_thread.wake(); }

void RawDrawWorker::quitAndJoin() {
    m_thread.requestQuit();
    m_thread.join();
}

}  // namespace rawdata

using namespace rawdata;

namespace {

constexpr int kAreaX = 0, kAreaY = 1, kAreaXR = 2, kAreaYR = 3, kAreaN = 4, kAreaVk1 = 5, kAreaVk2 = 6;

QLabel* areaLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return label;
}

}  // namespace

CRawViewer::CRawViewer(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Raw Data"), parent), m_worker([this] { drawStep(); }) {
    m_packets.setHandler([this](uint32_t message, const VexPacket& packet) { handlePacket(message, packet); });
}

CRawViewer::~CRawViewer() { stopWorker(); }

void CRawViewer::stopWorker() { m_worker.quitAndJoin(); }

QPushButton* CRawViewer::button(const QString& caption) const {
    for (auto* b : findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

void CRawViewer::buildControls() {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    m_areas[kAreaX] = new GraphView(m_sizes.top, this);
    m_areas[kAreaY] = new GraphView(m_sizes.top, this);
    m_areas[kAreaXR] = new GraphView(m_sizes.lower, this);
    m_areas[kAreaYR] = new GraphView(m_sizes.lower, this);
    m_areas[kAreaN] = new GraphView(m_sizes.noise, this);
    m_areas[kAreaVk1] = new GraphView(m_sizes.vk, this);
    m_areas[kAreaVk2] = new GraphView(m_sizes.vk, this);

    grid->addWidget(areaLabel(QStringLiteral("X"), this), 0, 0);
    grid->addWidget(areaLabel(QStringLiteral("Y"), this), 0, 1);
    grid->addWidget(m_areas[kAreaX], 1, 0);
    grid->addWidget(m_areas[kAreaY], 1, 1);
    grid->addWidget(areaLabel(QStringLiteral("XR"), this), 2, 0);
    grid->addWidget(areaLabel(QStringLiteral("YR"), this), 2, 1);
    grid->addWidget(m_areas[kAreaXR], 3, 0);
    grid->addWidget(m_areas[kAreaYR], 3, 1);
    grid->addWidget(areaLabel(QStringLiteral("N"), this), 4, 0);
    grid->addWidget(areaLabel(QStringLiteral("VK"), this), 4, 1);
    grid->addWidget(m_areas[kAreaN], 5, 0, Qt::AlignTop);
    auto* vkRows = new QVBoxLayout;
    vkRows->setSpacing(6);
    vkRows->addWidget(m_areas[kAreaVk1]);
    vkRows->addWidget(m_areas[kAreaVk2]);
    vkRows->addStretch();
    grid->addLayout(vkRows, 5, 1);

    auto* side = new QVBoxLayout;
    m_viewGroup = new QButtonGroup(this);
    const char* views[] = {"Raw data", "Clean Data", "Stray Data", "AD Level"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(views[i]), this);
        m_viewGroup->addButton(radio, i);
        side->addWidget(radio);
    }
    auto* noiseMode = new QCheckBox(QStringLiteral("Noise Mode"), this);
    auto* penMode = new QCheckBox(QStringLiteral("Pen Mode"), this);
    noiseMode->setEnabled(false);
    penMode->setEnabled(false);
    side->addWidget(noiseMode);
    side->addWidget(penMode);
    side->addSpacing(8);

    auto* logRow = new QHBoxLayout;
    logRow->addWidget(new QLabel(QStringLiteral("Log per"), this));
    m_logPer = new QLineEdit(this);
    m_logPer->setMaximumWidth(60);
    logRow->addWidget(m_logPer);
    logRow->addWidget(new QLabel(QStringLiteral("(100ms)"), this));
    side->addLayout(logRow);

    auto addButton = [&](const char* caption, void (CRawViewer::*slot)()) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        connect(b, &QPushButton::clicked, this, [this, slot] { (this->*slot)(); });
        side->addWidget(b);
        return b;
    };
    addButton("Change Mode", &CRawViewer::changeMode);
    m_startLog = addButton("Start Log Raw Data", &CRawViewer::startLog);
    m_stopLog = addButton("Stop Log Raw Data", &CRawViewer::stopLog);
    addButton("Read Log", &CRawViewer::readLog);
    addButton("Clean Screen", &CRawViewer::cleanScreen);
    addButton("Reset Controller", &CRawViewer::resetController);
    addButton("Hardware Calibration", &CRawViewer::hardwareCalibration);
    side->addStretch();
    grid->addLayout(side, 0, 2, 6, 1);

    connect(m_viewGroup, &QButtonGroup::idClicked, this, [this](int) { readControls(); });
}

// ---- Life cycle ------------------------------------------------------------------------

void CRawViewer::onCreated() {
    if (m_created) return;
    m_created = true;
    setWindowTitle(QStringLiteral("PCAP Raw Viewer v1.0.0.0"));
    buildControls();
    syncLogButtons(false);
    showSettings();
    // Half the drawing period, so a finished frame waits at most 20 ms.
    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(RawDrawWorker::kPeriodMs / 2);
    connect(m_pollTimer, &QTimer::timeout, this, &CRawViewer::pollWorker);
    m_pollTimer->start();
}

void CRawViewer::onActivated() {
    int8_t y = 0, x = 0;
    PCAPStopGetData(state().controller, &y, &x);
}

void CRawViewer::onShown() {
    DeviceState& s = state();
    s.activePage = kRawDataPage;
    int8_t y = 0, x = 0;
    PCAPStopGetData(s.controller, &y, &x);
    y = x = 0;
    PCAPGetSingleData(s.controller, &y, &x);
    if (y == 0 || x == 0) {
        host::messageBox(QStringLiteral("PCAPGetSingleData Fail!"), QStringLiteral("Quillet"),
                         host::Icon::None, host::Buttons::Ok, this);
        emit closeRequested();
        return;
    }

    m_packets.unregisterAll();
    m_registrations.fill(0);
    struct Slot {
        uint8_t id;
        int sub;  // -1: any sub id
    };
    // 0x3B twice: each registration delivers the packet; the parse counts a
    // repeated index once, so the duplicate does no harm.
    static constexpr Slot kSlots[] = {{0x3B, -1}, {0x3B, -1}, {0x4E, -1}, {0x4C, -1}, {0x4D, -1},
                                      {0x4F, -1}, {0x36, 0x50}, {0x36, 0x51}, {0x36, 0x52},
                                      {0x36, 0x53}, {0x54, -1}, {0x57, -1}, {0x58, -1},
                                      {0x59, -1}, {0x48, -1}};
    static_assert(std::size(kSlots) == std::tuple_size_v<decltype(m_registrations)>);
    for (size_t i = 0; i < std::size(kSlots); ++i) {
        if (m_registrations[i] != 0) continue;
        const Slot& slot = kSlots[i];
        m_registrations[i] =
            slot.sub < 0 ? m_packets.registerPacket(s.controller, slot.id, kStreamMessage)
                         : m_packets.registerSubPacket(s.controller, slot.id,
                                                       static_cast<uint8_t>(slot.sub), kStreamMessage);
    }

    {
        std::lock_guard lock(m_mutex);
        m_model.setCounts(y, x);
        m_model.resetForShow(s.paramBlock[1], s.paramBlock[2]);
        m_log = LogState{};
    }
    // Logging is off again now: the buttons say so (a log left running when
    // the page was last hidden would otherwise still show "Stop" enabled).
    syncLogButtons(false);
    showSettings();
    m_visible = true;
    m_worker.wake();
}

void CRawViewer::onHidden() {
    m_visible = false;
    m_packets.unregisterAll();
    m_registrations.fill(0);
}

void CRawViewer::onDestroyed() {
    m_visible = false;
    m_packets.unregisterAll();
    stopWorker();
    if (m_pollTimer) m_pollTimer->stop();
    int8_t y = 0, x = 0;
    PCAPStopGetData(state().controller, &y, &x);
}

// ---- Packets ---------------------------------------------------------------------------

void CRawViewer::handlePacket(uint32_t message, const VexPacket& packet) {
    if (message != kStreamMessage || state().activePage != kRawDataPage) return;
    PacketOutcome out;
    {
        std::lock_guard lock(m_mutex);
        out = m_model.handlePacket(packet.bytes);
    }
    if (out.endPacket) {
        m_visible = false;
        m_packets.unregisterAll();
        closeController(state());
        emit quitRequested(0);
        return;
    }
    if (out.restartStream) {
        int8_t y = 0, x = 0;
        PCAPGetSingleData(state().controller, &y, &x);
        restartCounts(y, x);
    }
    if (out.releaseDrawing) m_worker.release();
}

void CRawViewer::restartCounts(int8_t yCount, int8_t xCount) {
    std::lock_guard lock(m_mutex);
    m_model.setCounts(yCount, xCount);
}

// ---- Commands ------------------------------------------------------------------------

void CRawViewer::showSettings() {
    if (!m_viewGroup) return;
    int view;
    int interval;
    {
        std::lock_guard lock(m_mutex);
        view = m_model.data().view;
        interval = m_log.interval;
    }
    if (auto* b = m_viewGroup->button(view)) b->setChecked(true);
    m_logPer->setText(QString::number(interval));
}

void CRawViewer::readControls() {
    if (!m_viewGroup) return;
    int interval;
    {
        std::lock_guard lock(m_mutex);
        if (const int view = m_viewGroup->checkedId(); view >= 0) m_model.setView(view);
        // A text that is not a whole number of 0 or more keeps the last valid interval.
        m_log.interval = parseLogInterval(m_logPer->text(), m_log.interval);
        interval = m_log.interval;
    }
    if (m_logPer->text().trimmed() != QString::number(interval)) m_logPer->setText(QString::number(interval));
    m_worker.wake();
}

void CRawViewer::changeMode() {
    {
        std::lock_guard lock(m_mutex);
        m_model.nextLowerMode();
    }
    m_worker.wake();
}

void CRawViewer::cleanScreen() {
    {
        std::lock_guard lock(m_mutex);
        m_model.cleanScreen();
    }
    m_worker.wake();
}

void CRawViewer::resetWith(bool calibrate) {
    const VexHandle controller = state().controller;
    int8_t y = 0, x = 0;
    {
        host::WaitCursor wait;
        {
            std::lock_guard lock(m_mutex);
            m_model.resetForController();
        }
        m_worker.wake();
        PCAPStopGetData(controller, &y, &x);
        if (calibrate) DevHardwareCalibration(controller);
        DevResetController(controller);
        y = x = 0;
        PCAPGetSingleData(controller, &y, &x);
        restartCounts(y, x);
    }
    host::messageBox(calibrate ? QStringLiteral("Reset Stray OK") : QStringLiteral("Reset OK"),
                     QStringLiteral("ZEMA PCAP Raw Viewer"), host::Icon::None, host::Buttons::Ok, this);
}

void CRawViewer::resetController() { resetWith(false); }
void CRawViewer::hardwareCalibration() { resetWith(true); }

void CRawViewer::readLog() {
    {
        std::lock_guard lock(m_mutex);
        m_model.setReadLogActive(true);
    }
    int8_t y = 0, x = 0;
    PCAPStopGetData(state().controller, &y, &x);
    uint8_t packet[kPacketSize] = {0x03, 0x03, 0x36, 0x5F};
    DevSendPacket(state().controller, packet, kPacketSize);
}

void CRawViewer::startLog() {
    int xCount;
    int yCount;
    {
        std::lock_guard lock(m_mutex);
        xCount = m_model.data().xCount;
        yCount = m_model.data().yCount;
    }
    if (!host::appendToFile(rawLogFileName(), formatLogHeader(host::localTime().time(), xCount, yCount))) {
        host::messageBox(QStringLiteral("Open Log file error!"), QStringLiteral("Error!"),
                         host::Icon::None, host::Buttons::Ok, this);
        return;  // logging stays off; the buttons keep their state
    }
    {
        std::lock_guard lock(m_mutex);
        m_log.lastTick = static_cast<uint32_t>(host::tickMs());
    }
    syncLogButtons(true);
    readControls();
    std::lock_guard lock(m_mutex);
    m_log.logging = true;
}

void CRawViewer::stopLog() {
    {
        std::lock_guard lock(m_mutex);
        m_log.logging = false;
    }
    syncLogButtons(false);
}

void CRawViewer::syncLogButtons(bool logging) {
    if (!m_startLog) return;
    m_startLog->setEnabled(!logging);
    m_stopLog->setEnabled(logging);
}

void CRawViewer::onLogWriteFailed() {
    // Shown without an owner, as the write failed away from any control.
    host::messageBox(QStringLiteral("Open Log file error!"), QStringLiteral("Error!"));
    // The logging step has switched logging off; the buttons follow what is
    // true now (a new start may have come in the meantime).
    syncLogButtons(logState().logging);
}

// ---- Drawing worker --------------------------------------------------------------------

void CRawViewer::drawStep() {
    if (!m_visible || state().activePage != kRawDataPage) return;
    RawSnapshot data;
    LogState log;
    {
        std::lock_guard lock(m_mutex);
        if (m_model.data().lowerMode == 0) m_model.advanceHistory();
        data = m_model.data();
        log = m_log;
    }

    RawFrame frame;
    renderFrame(data, m_sizes, frame);
    {
        std::lock_guard lock(m_frameMutex);
        m_pendingFrame = std::move(frame);
        m_framePending = true;
    }

    // Logging step.
    if (!log.logging) return;
    if (!logBlockDue(static_cast<uint32_t>(host::tickMs()), log.lastTick, log.interval)) return;
    const bool written = host::appendToFile(rawLogFileName(), formatLogBlock(host::localTime().time(), data));
    {
        std::lock_guard lock(m_mutex);
        m_log.lastTick = static_cast<uint32_t>(host::tickMs());  // also after a failed open
        if (!written) m_log.logging = false;
    }
    if (!written) {
        std::lock_guard lock(m_frameMutex);
        m_logWriteFailed = true;
    }
}

void CRawViewer::pollWorker() {
    RawFrame frame;
    bool present = false;
    bool failed = false;
    {
        std::lock_guard lock(m_frameMutex);
        if (m_framePending) {
            frame = std::move(m_pendingFrame);
            m_pendingFrame = RawFrame{};
            m_framePending = false;
            present = true;
        }
        failed = std::exchange(m_logWriteFailed, false);
    }
    if (present) presentFrame(std::move(frame));
    if (failed) onLogWriteFailed();
}

void CRawViewer::presentFrame(RawFrame frame) {
    if (!m_areas[0] || frame.x.isNull()) return;
    m_areas[kAreaX]->setImage(frame.x);
    m_areas[kAreaY]->setImage(frame.y);
    m_areas[kAreaXR]->setImage(frame.xr);
    m_areas[kAreaYR]->setImage(frame.yr);
    m_areas[kAreaN]->setImage(frame.noise);
    m_areas[kAreaVk1]->setImage(frame.vk1);
    m_areas[kAreaVk2]->setImage(frame.vk2);
}

// ---- Read access -------------------------------------------------------------------------

RawSnapshot CRawViewer::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_model.data();
}

LogState CRawViewer::logState() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

bool CRawViewer::started() const {
    std::lock_guard lock(m_mutex);
    return m_model.started();
}

bool CRawViewer::readLogActive() const {
    std::lock_guard lock(m_mutex);
    return m_model.readLogActive();
}

TunerPage* makeRawDataPage(DeviceState& state) { return new CRawViewer(state); }

}  // namespace lumora

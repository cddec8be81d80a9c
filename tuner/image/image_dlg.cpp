#include "tuner/image/image_dlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "device/packet.h"
#include "host/services.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"

namespace lumora {

using namespace image;

// ---- CImageDlg --------------------------------------------------------------------

CImageDlg::CImageDlg(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Image Data"), parent) {
    buildControls();
    // Polls the worker's frame slot at twice the drawing rate.
    m_frameTimer.setInterval(ImageDrawWorker::kActivePeriodMs / 2);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { takeFrame(); });
    m_packets.setHandler(
        [this](uint32_t message, const VexPacket& packet) { handlePacket(message, packet); });
}

CImageDlg::~CImageDlg() { stopWorker(); }

void CImageDlg::buildControls() {
    setFocusPolicy(Qt::StrongFocus);

    m_image = new ImageFrame(this);
    connect(m_image, &ImageFrame::areaResized, this,
            [this](QSize size) { m_shared.setAreaSize(size.width(), size.height()); });

    m_cleanRadio = new QRadioButton(QStringLiteral("Clean Data"), this);
    m_adLevelRadio = new QRadioButton(QStringLiteral("AD Level"), this);
    auto* views = new QButtonGroup(this);
    views->addButton(m_cleanRadio, kCleanDataView);
    views->addButton(m_adLevelRadio, kAdLevelView);
    connect(views, &QButtonGroup::idClicked, this, [this](int id) { chooseView(id); });

    m_thresholdBox = new QLineEdit(this);
    m_thresholdBox->setMaximumWidth(90);
    // Every change of the text takes effect at once, as the user types.
    connect(m_thresholdBox, &QLineEdit::textChanged, this, [this] { readControls(); });

    auto* shiftDownButton = new QPushButton(QStringLiteral("<<"), this);
    auto* shiftUpButton = new QPushButton(QStringLiteral(">>"), this);
    m_shiftBox = new QLineEdit(this);
    m_shiftBox->setReadOnly(true);
    m_shiftBox->setMaximumWidth(40);
    connect(shiftDownButton, &QPushButton::clicked, this, [this] { shiftDown(); });
    connect(shiftUpButton, &QPushButton::clicked, this, [this] { shiftUp(); });

    m_driveBox = new QLineEdit(this);
    m_driveBox->setReadOnly(true);
    m_driveBox->setMaximumWidth(70);
    auto* swapButton = new QPushButton(QStringLiteral("X / Y"), this);
    connect(swapButton, &QPushButton::clicked, this, [this] { swapDriveOrder(); });

    auto* resetButton = new QPushButton(QStringLiteral("Reset Controller"), this);
    auto* calibrationButton = new QPushButton(QStringLiteral("Hardware Calibration"), this);
    connect(resetButton, &QPushButton::clicked, this, [this] { resetController(); });
    connect(calibrationButton, &QPushButton::clicked, this, [this] { hardwareCalibration(); });

    // Buttons must not take the focus from the page, or its keys stop working.
    for (QPushButton* b : {shiftDownButton, shiftUpButton, swapButton, resetButton,
                           calibrationButton})
        b->setFocusPolicy(Qt::NoFocus);
    m_cleanRadio->setFocusPolicy(Qt::NoFocus);
    m_adLevelRadio->setFocusPolicy(Qt::NoFocus);

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_cleanRadio);
    controls->addWidget(m_adLevelRadio);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Threshold"), this));
    controls->addWidget(m_thresholdBox);
    controls->addSpacing(12);
    controls->addWidget(shiftDownButton);
    controls->addWidget(m_shiftBox);
    controls->addWidget(shiftUpButton);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Drive Mode:"), this));
    controls->addWidget(m_driveBox);
    controls->addWidget(swapButton);
    controls->addStretch(1);
    controls->addWidget(resetButton);
    controls->addWidget(calibrationButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_image, 1);
    layout->addLayout(controls);
}

void CImageDlg::onCreated() {
    DeviceState& s = state();
    s.activePage = kImagePages;
    if (s.controller == 0) {
        host::trace(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n"));
        emit closeRequested();
        return;
    }
    host::trace(QStringLiteral("PCAP : OpenHIDDevice...OK\r\n"));
    int8_t y = 0, x = 0;
    PCAPStopGetData(s.controller, &y, &x);
    setCounts(y, x);
    m_fields = startFields(s.typeName, s.paramBlock);
    m_vantor = isVantor(s.typeName);
    m_created = true;

    // Made suspended: the worker first runs when the page is shown. Its
    // frames wait in a locked slot that a GUI-thread timer empties, so no
    // frame crosses threads without the lock.
    m_worker = std::make_unique<ImageDrawWorker>(m_shared, s.activePage,
                                                 [this](const QImage& f) { m_nextFrame.put(f); });
    m_shared.setAreaSize(m_image->areaSize().width(), m_image->areaSize().height());
    showFields();
}

void CImageDlg::onActivated() {
    if (!m_created) return;
    if (state().controller != 0) {
        int8_t y = 0, x = 0;
        PCAPStopGetData(state().controller, &y, &x);
        setCounts(y, x);
    }
    if (m_firstActivation)
        m_firstActivation = false;
    else
        showFields();
}

void CImageDlg::onShown() {
    if (!m_created) return;
    DeviceState& s = state();
    s.activePage = kImagePages;
    m_packets.unregisterAll();
    int8_t y = 0, x = 0;
    PCAPStopGetData(s.controller, &y, &x);
    setCounts(y, x);
    if (x == 0 || y == 0) {
        host::messageBox(QStringLiteral("PCAPGetSingleData Fail!"), QStringLiteral("Quillet"),
                         host::Icon::None, host::Buttons::Ok, this);
        emit closeRequested();
        return;
    }
    startStream();
    for (const uint8_t id : kRegisteredPacketIds)
        m_packets.registerPacket(s.controller, id, kStreamMessage);
    m_shared.clearAdRows(clampChannels(m_yCount));
    // "ThresholdMulti Y2X" whatever the drive order; a swap or a view
    // choice takes the threshold of the order in use.
    m_fields.threshold = multiThreshold(s.paramBlock, kDriveYX);
    if (m_worker) m_worker->resume();
    m_frameTimer.start();
    showFields();
}

void CImageDlg::onHidden() { m_packets.unregisterAll(); }

void CImageDlg::onDestroyed() {
    if (m_worker) m_worker->requestQuit();
    if (state().controller != 0) {
        int8_t y = 0, x = 0;
        PCAPStopGetData(state().controller, &y, &x);
    }
    m_packets.unregisterAll();
    stopWorker();
}

void CImageDlg::stopWorker() {
    m_frameTimer.stop();
    if (!m_worker) return;
    m_worker->requestQuit();
    m_worker->join();
}

void CImageDlg::takeFrame() {
    const QImage frame = m_nextFrame.take();
    if (!frame.isNull()) m_image->setFrame(frame);
}

void CImageDlg::handlePacket(uint32_t message, const VexPacket& packet) {
    if (message != kStreamMessage) return;
    DeviceState& s = state();
    if (s.activePage.load() != kImagePages) return;
    // The end packet may come under any registered id: check it first.
    if (isEndPacket(packet.bytes)) {
        closeController(s);
        emit quitRequested(0);
        return;
    }
    m_shared.decodePacket(packet.bytes);
}

void CImageDlg::setCounts(int8_t yCount, int8_t xCount) {
    m_yCount = yCount;
    m_xCount = xCount;
    // The worker sees them limited to 0 .. 90: more than 90 channels show
    // as 90, a negative (unreadable) count as 0, which draws nothing.
    m_shared.setCounts(yCount, xCount);
}

void CImageDlg::startStream() {
    const VexHandle h = state().controller;
    int8_t y = 0, x = 0;
    if (m_fields.orientation == kDriveXY)
        PCAPGetImageXY(h, &y, &x);
    else
        PCAPGetImageYX(h, &y, &x);
    // Every start limits the counts, the swap included: the grids hold 90.
    setCounts(y, x);
}

void CImageDlg::publishSettings() {
    FrameSettings settings;
    settings.displayMode = m_fields.displayMode;
    settings.clean.orientation = m_fields.orientation;
    settings.clean.threshold = m_fields.threshold;
    settings.clean.shift = m_fields.shift;
    settings.clean.showValues = m_fields.showValues;
    settings.highlightLimit = adLevelHighlightLimit(m_vantor);
    m_shared.setSettings(settings);
}

void CImageDlg::showFields() {
    m_showingFields = true;
    m_cleanRadio->setChecked(m_fields.displayMode == kCleanDataView);
    m_adLevelRadio->setChecked(m_fields.displayMode == kAdLevelView);
    const QString threshold = QString::number(m_fields.threshold);
    if (m_thresholdBox->text() != threshold) m_thresholdBox->setText(threshold);
    m_shiftBox->setText(QString::number(m_fields.shift));
    m_driveBox->setText(m_fields.driveText);
    m_showingFields = false;
    publishSettings();
}

void CImageDlg::readControls() {
    if (m_showingFields) return;
    m_fields.displayMode = m_cleanRadio->isChecked() ? kCleanDataView : kAdLevelView;
    // A text that is no 32-bit number (empty while retyping, a stray
    // letter) keeps the last valid threshold.
    parseThreshold(m_thresholdBox->text(), &m_fields.threshold);
    publishSettings();
}

void CImageDlg::chooseView(int32_t displayMode) {
    readControls();
    m_fields.displayMode = displayMode;
    m_fields.threshold = multiThreshold(state().paramBlock, m_fields.orientation);
    showFields();
}

void CImageDlg::shiftDown() {
    decreaseShift(m_fields);
    showFields();
}

void CImageDlg::shiftUp() {
    increaseShift(m_fields);
    showFields();
}

void CImageDlg::swapDriveOrder() {
    const VexHandle h = state().controller;
    int8_t y = 0, x = 0;
    PCAPStopGetData(h, &y, &x);
    setCounts(y, x);
    flipDriveOrder(m_fields, state().paramBlock);
    startStream();
    showFields();
}

void CImageDlg::resetWith(bool calibrate) {
    {
        host::WaitCursor wait;
        repaint();
        const VexHandle h = state().controller;
        int8_t y = 0, x = 0;
        PCAPStopGetData(h, &y, &x);
        setCounts(y, x);
        if (calibrate) DevHardwareCalibration(h);
        DevResetController(h);
        startStream();
    }
    host::messageBox(QStringLiteral("Reset OK"), QStringLiteral("ZEMA PCAP Raw Viewer"),
                     host::Icon::None, host::Buttons::Ok, this);
}

void CImageDlg::resetController() { resetWith(false); }

void CImageDlg::hardwareCalibration() { resetWith(true); }

void CImageDlg::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() != 1) {
        TunerPage::keyPressEvent(event);
        return;
    }
    switch (applyKey(m_fields, text.front())) {
        case KeyAction::Changed: showFields(); break;
        case KeyAction::SwapDrive: swapDriveOrder(); break;
        case KeyAction::None: TunerPage::keyPressEvent(event); break;
    }
}

TunerPage* makeImageDataPage(DeviceState& state) { return new CImageDlg(state); }

}  // namespace lumora

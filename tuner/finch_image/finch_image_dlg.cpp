#include "tuner/finch_image/finch_image_dlg.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "device/packet.h"
#include "host/services.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"

namespace lumora {

using namespace finch;

namespace {

// The worker's frames are collected by a GUI-thread timer: at twice the
// page's drawing rate, and every 10 ms while the full-screen view, drawn
// every 30 ms, is open.
constexpr int kPageFramePollMs = FinchDrawWorker::kActivePeriodMs / 2;
constexpr int kFullScreenFramePollMs = FinchDrawWorker::kFullScreenPollMs;

}  // namespace

// ---- CMyStatic --------------------------------------------------------------------

CMyStatic::CMyStatic(CFinchImageDataDlg& page, QWidget* parent)
    : image::ImageFrame(parent), m_page(page) {
    // The drawing area the layout and its clicks were made for: 792 x 448
    // inside the border.
    setMinimumSize(792 + 2 * frameWidth(), 448 + 2 * frameWidth());
}

void CMyStatic::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint() - contentsRect().topLeft();
    m_page.frameClicked(event->button(), event->buttons(), at, areaSize());
    image::ImageFrame::mousePressEvent(event);
}

// ---- FinchFullScreenView ---------------------------------------------------------

namespace finch {

FinchFullScreenView::FinchFullScreenView() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    // The name of the original window class, for anyone looking for it.
    setObjectName(QStringLiteral("PCAP_ImageViewerFinch"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
}

void FinchFullScreenView::setFrame(const QImage& frame) {
    m_frame = frame;
    update();
}

void FinchFullScreenView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    image::paintFrame(painter, rect(), m_frame);
}

void FinchFullScreenView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (event->key() == Qt::Key_Escape || text == QStringLiteral("f") || text == QStringLiteral("F")) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FinchFullScreenView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        close();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void FinchFullScreenView::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

void FinchFullScreenView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit sizeChanged(size());
}

}  // namespace finch

// ---- CFinchImageDataDlg -----------------------------------------------------------------

CFinchImageDataDlg::CFinchImageDataDlg(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Finch Image Data"), parent) {
    buildControls();
    m_frameTimer.setInterval(kPageFramePollMs);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { takeFrames(); });
    m_packets.setHandler(
        [this](uint32_t message, const VexPacket& packet) { handlePacket(message, packet); });
    const QStringList views = screenshotViewNames();
    for (int i = 0; i < views.size(); ++i)
        host::addScreenshotView(this, views[i], [this, i] { return showScreenshotView(i); },
                                [this, i, last = int(views.size()) - 1] {
                                    if (i == last) endScreenshotViews();
                                });
}

CFinchImageDataDlg::~CFinchImageDataDlg() {
    stopWorker();
    delete m_fullScreen.data();
}

void CFinchImageDataDlg::buildControls() {
    setFocusPolicy(Qt::StrongFocus);

    m_image = new CMyStatic(*this, this);
    connect(m_image, &CMyStatic::areaResized, this, [this](QSize size) { m_shared.setAreaSize(size); });

    m_cleanRadio = new QRadioButton(QStringLiteral("Clean Data"), this);
    m_adLevelRadio = new QRadioButton(QStringLiteral("AD Level"), this);
    auto* views = new QButtonGroup(this);
    views->addButton(m_cleanRadio, kCleanDataView);
    views->addButton(m_adLevelRadio, kAdLevelView);
    connect(views, &QButtonGroup::idClicked, this, [this](int id) { chooseView(id); });

    auto* information = new QGroupBox(QStringLiteral("Device Information"), this);
    m_dataModeLabel = new QLabel(information);
    m_dataModeLabel->setMinimumWidth(60);
    m_thresholdBox = new QLineEdit(information);
    m_thresholdBox->setMaximumWidth(70);
    // Every change of the text takes effect at once, as the user types.
    connect(m_thresholdBox, &QLineEdit::textChanged, this, [this] { readControls(); });
    auto* informationLayout = new QHBoxLayout(information);
    informationLayout->addWidget(m_dataModeLabel);
    informationLayout->addWidget(m_thresholdBox);

    auto* shiftDownButton = new QPushButton(QStringLiteral("<"), this);
    auto* shiftUpButton = new QPushButton(QStringLiteral(">"), this);
    for (QPushButton* b : {shiftDownButton, shiftUpButton}) b->setMaximumWidth(32);
    m_shiftBox = new QLineEdit(this);
    m_shiftBox->setReadOnly(true);
    m_shiftBox->setMaximumWidth(40);
    connect(shiftDownButton, &QPushButton::clicked, this, [this] { shiftDown(); });
    connect(shiftUpButton, &QPushButton::clicked, this, [this] { shiftUp(); });

    auto* resetButton = new QPushButton(QStringLiteral("Reset Controller"), this);
    connect(resetButton, &QPushButton::clicked, this, [this] { resetController(); });

    // Buttons must not take the focus from the page, or its keys stop working.
    for (QWidget* w : std::initializer_list<QWidget*>{shiftDownButton, shiftUpButton, resetButton,
                                                      m_cleanRadio, m_adLevelRadio})
        w->setFocusPolicy(Qt::NoFocus);

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_cleanRadio);
    controls->addWidget(m_adLevelRadio);
    controls->addSpacing(12);
    controls->addWidget(information);
    controls->addSpacing(12);
    controls->addWidget(shiftDownButton);
    controls->addWidget(m_shiftBox);
    controls->addWidget(shiftUpButton);
    controls->addStretch(1);
    controls->addWidget(resetButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_image, 1);
    layout->addLayout(controls);
}

const KestrelParamSource* CFinchImageDataDlg::kestrel() {
    // The Kestrel page's working copy when it is there; otherwise what the
    // controller holds, read when the page was made.
    const KestrelParamSource* page = state().kestrel;
    return page ? page : &m_controllerKestrel;
}

void CFinchImageDataDlg::refreshKestrelValues() { m_kestrel = readKestrelValues(*kestrel()); }

void CFinchImageDataDlg::onCreated() {
    DeviceState& s = state();
    s.activePage = kImagePages;
    if (s.controller == 0) {
        host::trace(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n"));
        emit closeRequested();
        return;
    }
    host::trace(QStringLiteral("PCAP : OpenHIDDevice...OK\r\n"));
    if (!s.kestrel) m_controllerKestrel.load(s.controller);
    std::fill(std::begin(s.pcapInfo), std::end(s.pcapInfo), uint8_t(0));
    DevGetPCAPInfo(s.controller, s.pcapInfo);
    m_packets.unregisterAll();

    // Start values.
    refreshKestrelValues();
    m_fields = FinchFields{};
    m_fields.uniformity = s.pcapInfo[13];
    // "TouchThreshold" is an 8-bit value: it always fits the 16-bit box.
    m_fields.threshold = static_cast<int16_t>(m_kestrel.currentTouchThreshold);
    m_selections.clear();
    m_created = true;

    // Frames wait in slots that a GUI-thread timer empties.
    m_worker = std::make_unique<FinchDrawWorker>(m_shared, s.activePage,
                                                 [this](const QImage& f, bool fullScreen) {
        (fullScreen ? m_nextFullScreenFrame : m_nextFrame).put(f);
    });
    m_shared.setAreaSize(m_image->areaSize());
    m_worker->start();
    m_frameTimer.start();
    showFields();
}

void CFinchImageDataDlg::onActivated() {
    if (!m_created) return;
    if (state().controller != 0) {
        int8_t y = 0, x = 0;
        PCAPStopGetData(state().controller, &y, &x);
        PCAPGetRawPoint(state().controller, &y, &x);
    }
    if (m_firstActivation)
        m_firstActivation = false;
    else
        showFields();
}

void CFinchImageDataDlg::onShown() {
    if (!m_created) return;
    DeviceState& s = state();
    const VexHandle h = s.controller;
    s.activePage = kImagePages;
    // Never two registrations of one id, however the page was left.
    m_packets.unregisterAll();
    for (const uint8_t id : kRegisteredPacketIds) m_packets.registerPacket(h, id, kStreamMessage);
    for (const uint8_t sub : kRegisteredSubIds)
        m_packets.registerSubPacket(h, kSubPacketId, sub, kStreamMessage);
    m_shared.fillGrids(Node{});
    switchModeWord(true);
    m_fields.rdMode = true;
    // The Kestrel page may have loaded or saved while this page was hidden.
    refreshKestrelValues();
    PCAPStopGetData(h, &m_pageYCount, &m_pageXCount);
    int8_t y = 0, x = 0;
    PCAPGetRawPoint(h, &y, &x);
    startImageStream();
    if (m_xCount == 0 || m_yCount == 0) {
        host::messageBox(QStringLiteral("PCAPGetSingleData Fail!"), QStringLiteral("Quillet"),
                         host::Icon::None, host::Buttons::Ok, this);
        emit closeRequested();
        return;
    }
    m_shared.resetRawAndWork();
    showFields();
}

void CFinchImageDataDlg::onHidden() {
    if (!m_created) return;
    // The full-screen view shows this page's images: it goes with the page,
    // whose stream and registrations end here.
    closeFullScreen();
    if (state().controller != 0) {
        int8_t y = 0, x = 0;
        PCAPGetRawPoint(state().controller, &y, &x);
    }
    m_packets.unregisterAll();
}

void CFinchImageDataDlg::onDestroyed() {
    if (m_worker) m_worker->requestQuit();
    const VexHandle h = state().controller;
    if (h != 0) {
        int8_t y = 0, x = 0;
        PCAPStopGetData(h, &y, &x);
        PCAPGetRawPoint(h, &y, &x);
    }
    // The worker is woken from its sleep and joined; the frame it may be
    // drawing is finished first, never cut off.
    stopWorker();
    if (h != 0 && m_created) switchModeWord(false);
    closeFullScreen();
    m_packets.unregisterAll();
}

void CFinchImageDataDlg::stopWorker() {
    m_frameTimer.stop();
    if (!m_worker) return;
    m_worker->requestQuit();
    m_worker->join();
}

void CFinchImageDataDlg::switchModeWord(bool images) {
    const VexHandle h = state().controller;
    uint32_t word = 0xFFFF;  // asks for the word
    // Without the word as it is, writing would set every other bit at
    // random: a failed read leaves the controller's word alone.
    if (!DevModeWord(h, &word)) return;
    word = images ? modeWordForImages(word) : modeWordAfterImages(word);
    DevModeWord(h, &word);
}

void CFinchImageDataDlg::setCounts(int8_t yCount, int8_t xCount) {
    m_yCount = yCount;
    m_xCount = xCount;
    // The worker sees them limited to 0 .. 90: more than 90 channels show
    // as 90, a negative (unreadable) count as 0, which draws nothing.
    m_shared.setCounts(yCount, xCount);
}

void CFinchImageDataDlg::startImageStream() {
    int8_t y = 0, x = 0;
    PCAPGetImageYX(state().controller, &y, &x);
    setCounts(y, x);
}

void CFinchImageDataDlg::takeFrames() {
    const QImage frame = m_nextFrame.take();
    const QImage fullScreenFrame = m_nextFullScreenFrame.take();
    if (!frame.isNull()) m_image->setFrame(frame);
    if (!fullScreenFrame.isNull() && m_fullScreen) m_fullScreen->setFrame(fullScreenFrame);
}

void CFinchImageDataDlg::handlePacket(uint32_t message, const VexPacket& packet) {
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

void CFinchImageDataDlg::publishSettings() {
    FinchFrameSettings settings;
    settings.xAboveY = state().xAboveY != 0;
    settings.dataMode = m_fields.dataMode;
    settings.threshold = m_fields.threshold;
    settings.shift = m_fields.shift;
    settings.rdMode = m_fields.rdMode;
    settings.water = m_kestrel.waterThreshold0;
    settings.uniformity.kind = m_fields.uniformity;
    settings.uniformity.touch = m_kestrel.touchThreshold0;
    settings.uniformity.stray = m_kestrel.chkStrayTh;
    settings.uniformity.strayWater = m_kestrel.chkStrayThWater;
    settings.uniformity.rdMode = m_fields.rdMode;
    settings.selectedLines = selectedLines(m_selections, settings.xAboveY);
    m_shared.setSettings(settings);
    if (m_worker) m_worker->wake();
}

void CFinchImageDataDlg::showFields() {
    m_showingFields = true;
    m_cleanRadio->setChecked(m_fields.view == kCleanDataView);
    m_adLevelRadio->setChecked(m_fields.view == kAdLevelView);
    m_dataModeLabel->setText(m_fields.dataModeText);
    const QString threshold = QString::number(m_fields.threshold);
    if (m_thresholdBox->text() != threshold) m_thresholdBox->setText(threshold);
    m_shiftBox->setText(QString::number(m_fields.shift));
    m_showingFields = false;
    publishSettings();
}

void CFinchImageDataDlg::readControls() {
    if (m_showingFields) return;
    m_fields.view = m_adLevelRadio->isChecked() ? kAdLevelView : kCleanDataView;
    // A text that is no signed 16-bit number (empty while retyping, a
    // stray letter, too large) keeps the last valid threshold.
    parseThreshold(m_thresholdBox->text(), &m_fields.threshold);
    publishSettings();
}

void CFinchImageDataDlg::chooseView(int view) {
    readControls();
    finch::chooseView(m_fields, view);
    showFields();
}

void CFinchImageDataDlg::shiftDown() {
    decreaseShift(m_fields);
    showFields();
}

void CFinchImageDataDlg::shiftUp() {
    increaseShift(m_fields);
    showFields();
}

void CFinchImageDataDlg::resetController() {
    {
        host::WaitCursor wait;
        repaint();
        const VexHandle h = state().controller;
        int8_t y = 0, x = 0;
        PCAPStopGetData(h, &y, &x);
        PCAPGetRawPoint(h, &y, &x);
        DevResetController(h);
        switchModeWord(true);
        uint8_t buffer[64] = {};
        DevSetFreqIndex(h, buffer, 0);
        startImageStream();
    }
    host::messageBox(QStringLiteral("Reset OK"), QStringLiteral("ZEMA PCAP Raw Viewer"),
                     host::Icon::None, host::Buttons::Ok, this);
}

void CFinchImageDataDlg::frameClicked(Qt::MouseButton button, Qt::MouseButtons held, QPoint at,
                                      QSize frame) {
    if ((held & Qt::LeftButton) && (held & Qt::RightButton)) {
        m_selections.clear();
    } else if (button == Qt::LeftButton && m_fields.dataMode == kCleanMode &&
               m_fields.view == kCleanDataView) {
        // The page-wide counts as the stream stop reported them: X across
        // and Y down when lines are columns, the other way round otherwise.
        // The frame's real drawing area stands where the layout assumed
        // 792 x 448, so a click picks the same line at any window size.
        const bool xAboveY = state().xAboveY != 0;
        toggleSelections(m_selections, at.x(), at.y(), frame.width(), frame.height(),
                         xAboveY ? m_pageXCount : m_pageYCount,
                         xAboveY ? m_pageYCount : m_pageXCount);
    } else {
        return;
    }
    publishSettings();
}

void CFinchImageDataDlg::requestFullScreen() {
    if (!m_created || m_fullScreen) return;  // one request at a time
    auto* view = new FinchFullScreenView;
    m_fullScreen = view;
    QScreen* screen = window()->screen() ? window()->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    connect(view, &FinchFullScreenView::sizeChanged, this, [this](QSize size) {
        if (m_fullScreen) m_shared.setFullScreen(size);
    });
    connect(view, &FinchFullScreenView::closed, this, [this, view] {
        // The request ends with the window; the page's frame takes over.
        m_shared.setFullScreen(QSize());
        m_frameTimer.setInterval(kPageFramePollMs);
        if (m_fullScreen == view) m_fullScreen = nullptr;
        view->deleteLater();
        if (m_worker) m_worker->wake();
    });
    view->setGeometry(area);
    // A frame drawn for an earlier view is not this one's.
    m_nextFullScreenFrame.clear();
    m_shared.setFullScreen(area.size());
    m_frameTimer.setInterval(kFullScreenFramePollMs);
    view->show();
    view->raise();
    view->activateWindow();
    view->setFocus();
    if (m_worker) m_worker->wake();
}

void CFinchImageDataDlg::closeFullScreen() {
    if (m_fullScreen) m_fullScreen->close();
}

void CFinchImageDataDlg::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text == QStringLiteral("f") || text == QStringLiteral("F")) {
        requestFullScreen();
        return;
    }
    TunerPage::keyPressEvent(event);
}

QStringList CFinchImageDataDlg::screenshotViewNames() {
    return {QStringLiteral("AD Level"), QStringLiteral("AD Level threshold 20"),
            QStringLiteral("AD Level full screen"), QStringLiteral("Clean Data line selected"),
            QStringLiteral("Clean Data full screen")};
}

QWidget* CFinchImageDataDlg::showScreenshotView(int index) {
    // What a person would do: choose the view, type a low threshold that
    // sets the AD Level colours apart, click a line, press 'f'. Views shown
    // in the page are grabbed with the whole window.
    closeFullScreen();
    if (index == 0) m_screenshotThreshold = m_thresholdBox->text();
    switch (index) {
        case 0: chooseView(kAdLevelView); return window();
        case 1: chooseView(kAdLevelView); m_thresholdBox->setText(QStringLiteral("20")); return window();
        case 2: chooseView(kAdLevelView); requestFullScreen(); return m_fullScreen;
        case 3: {
            chooseView(kCleanDataView);
            const QSize area = m_image->areaSize();
            frameClicked(Qt::LeftButton, Qt::LeftButton, QPoint(area.width() / 3, area.height() / 2), area);
            return window();
        }
        case 4: chooseView(kCleanDataView); requestFullScreen(); return m_fullScreen;
        default: return nullptr;
    }
}

void CFinchImageDataDlg::endScreenshotViews() {
    closeFullScreen();
    m_selections.clear();
    if (!m_screenshotThreshold.isNull()) m_thresholdBox->setText(m_screenshotThreshold);
    chooseView(kCleanDataView);
}

TunerPage* makeFinchImageDataPage(DeviceState& state) { return new CFinchImageDataDlg(state); }

}  // namespace lumora

#include "tuner/draw/draw_test_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "device/packet.h"
#include "host/screenshot.h"
#include "host/services.h"
#include "tuner/app/device_state.h"
#include "tuner/draw/track_render.h"

namespace lumora::draw {

namespace {

constexpr QSize kAreaMinimum(640, 400);
constexpr int kKeyStripHeight = 56;

QLineEdit* numberBox(QWidget* parent, int maxLength) {
    auto* box = new QLineEdit(parent);
    box->setMaxLength(maxLength);
    box->setMaximumWidth(60);
    return box;
}

}  // namespace

DrawTestPage::DrawTestPage(DeviceState& state, const QString& caption,
                           const PageControls& controls, QWidget* parent)
    : TunerPage(state, caption, parent), m_contacts(controls.contactSlots) {
    m_fields.gridX = controls.gridX;
    m_fields.gridY = controls.gridY;
    m_fields.gridD = controls.gridD;
    buildControls(controls);
    m_packets.setHandler(
        [this](uint32_t message, const VexPacket& packet) { handlePacket(message, packet); });
    // The screenshot run shows the full-screen window too.
    host::addScreenshotView(this, QStringLiteral("Full Screen"),
                            [this]() -> QWidget* {
                                openFullScreen();
                                return m_window;
                            },
                            [this] { closeFullScreen(); });
}

DrawTestPage::~DrawTestPage() {
    // The window belongs to the page; it goes first, with its registrations.
    delete m_window;
    m_packets.unregisterAll();
}

void DrawTestPage::buildControls(const PageControls& c) {
    setFocusPolicy(Qt::StrongFocus);

    m_area = new SurfaceView(kAreaMinimum, this);
    m_area->setObjectName(QStringLiteral("DrawingArea"));
    connect(m_area, &SurfaceView::surfaceReset, this, [this] { drawPageGrid(); });
    m_keys = new SurfaceView(QSize(kAreaMinimum.width(), kKeyStripHeight), this);
    m_keys->setObjectName(QStringLiteral("KeyStrip"));
    m_keys->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_keys, &SurfaceView::surfaceReset, this, [this] {
        clearKeyStrip(m_keys->surface());
        m_keys->changedAll();
    });
    clearKeyStrip(m_keys->surface());
    m_info = new InfoView(c.infoSize, c.infoFirstTop, c.infoPitch, c.infoFont, this);
    m_info->setObjectName(QStringLiteral("ContactInformation"));

    auto* cleanButton = new QPushButton(QStringLiteral("Clean"), this);
    m_fullScreenButton = new QPushButton(QStringLiteral("Full Screen"), this);
    auto* resetButton = new QPushButton(QStringLiteral("Reset Controller"), this);
    m_startLogButton = new QPushButton(c.startLog, this);
    m_stopLogButton = new QPushButton(c.stopLog, this);
    connect(cleanButton, &QPushButton::clicked, this, [this] { clean(); });
    connect(m_fullScreenButton, &QPushButton::clicked, this, [this] { openFullScreen(); });
    connect(resetButton, &QPushButton::clicked, this, [this] { resetController(); });
    connect(m_startLogButton, &QPushButton::clicked, this, [this] { startLog(); });
    connect(m_stopLogButton, &QPushButton::clicked, this, [this] { stopLog(); });
    QPushButton* dacButton = nullptr;
    if (c.dacCalibration) {
        dacButton = new QPushButton(QStringLiteral("DAC Calibration"), this);
        connect(dacButton, &QPushButton::clicked, this, [this] { dacCalibration(); });
    }

    m_dotRadio = new QRadioButton(QStringLiteral("Dot Mode"), this);
    m_lineRadio = new QRadioButton(QStringLiteral("Line Mode"), this);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_dotRadio, kDotMode);
    modes->addButton(m_lineRadio, kLineMode);
    connect(modes, &QButtonGroup::idClicked, this, [this] { readControls(); });
    m_filterBox = new QCheckBox(QStringLiteral("Filter"), this);
    connect(m_filterBox, &QCheckBox::clicked, this, [this] { toggleFilter(); });

    m_xBox = numberBox(this, 9);
    m_xBox->setValidator(new QIntValidator(m_xBox));
    m_yBox = numberBox(this, 9);
    m_yBox->setValidator(new QIntValidator(m_yBox));
    m_dBox = numberBox(this, 5);

    // Buttons and radios must not take the focus from the page, or its keys
    // (space, f, Esc) stop working.
    for (QWidget* w : std::initializer_list<QWidget*>{cleanButton, m_fullScreenButton, resetButton,
                                                      m_startLogButton, m_stopLogButton, dacButton,
                                                      m_dotRadio, m_lineRadio, m_filterBox})
        if (w) w->setFocusPolicy(Qt::NoFocus);

    auto* commands = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{cleanButton, m_fullScreenButton, resetButton,
                                                      dacButton})
        if (w) commands->addWidget(w);
    commands->addSpacing(12);
    commands->addWidget(m_dotRadio);
    commands->addWidget(m_lineRadio);
    commands->addWidget(m_filterBox);
    commands->addSpacing(12);
    for (auto [label, box] : {std::pair{"X", m_xBox}, std::pair{"Y", m_yBox}, std::pair{"D", m_dBox}}) {
        commands->addWidget(new QLabel(QString::fromLatin1(label), this));
        commands->addWidget(box);
    }
    commands->addStretch(1);
    commands->addWidget(m_startLogButton);
    commands->addWidget(m_stopLogButton);

    auto* drawing = new QVBoxLayout;
    drawing->addWidget(m_area, 1);
    drawing->addWidget(m_keys);
    auto* top = new QHBoxLayout;
    top->addLayout(drawing, 1);
    top->addWidget(m_info);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(commands);

    if (c.lineOptions) {
        // Line types and pen settings of an older test: shown, never enabled;
        // the values in force are the left line, circle marks, pen step 10
        // and pen base 70.
        auto* options = new QHBoxLayout;
        auto* lineTypes = new QButtonGroup(this);
        for (const char* caption : {"Left Line", "Right Line", "Vertical Line", "Horizontal Line",
                                    "Circle Draw", "Cross Draw", "Finger Mode"}) {
            auto* radio = new QRadioButton(QString::fromLatin1(caption), this);
            radio->setEnabled(false);
            radio->setChecked(QLatin1String(caption) == QLatin1String("Left Line") ||
                              QLatin1String(caption) == QLatin1String("Circle Draw"));
            // Line types form one group; the mark shapes and the finger mode stand alone.
            if (QLatin1String(caption).endsWith(QLatin1String("Line"))) lineTypes->addButton(radio);
            else radio->setAutoExclusive(false);
            options->addWidget(radio);
        }
        for (auto [label, value] : {std::pair{"PenZ", "10"}, std::pair{"PenBase", "70"}}) {
            options->addWidget(new QLabel(QString::fromLatin1(label), this));
            QLineEdit* box = numberBox(this, 5);
            box->setText(QString::fromLatin1(value));
            box->setEnabled(false);
            options->addWidget(box);
        }
        options->addStretch(1);
        layout->addLayout(options);
    }
}

QPushButton* DrawTestPage::button(const QString& caption) const {
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

GridSettings DrawTestPage::gridSettings() const {
    return {m_fields.gridX, m_fields.gridY, parseDistance(m_fields.gridD)};
}

uint32_t DrawTestPage::nowMs() { return static_cast<uint32_t>(host::tickMs()); }

void DrawTestPage::handlePacket(uint32_t message, const VexPacket& packet) {
    if (state().activePage.load() != kDrawTestPages) return;
    const uint8_t* p = packet.bytes;
    if (message == kStreamMessage) {
        if (isEndPacket(p)) endProgram();
        return;
    }
    if (message != kTouchMessage || p[2] != kTouchPacketId) return;
    switch (p[3]) {
    case kKeySubId: drawKey(decodeKey(p)); break;
    case kGestureSubId: m_area->changed(drawGesture(m_area->surface(), gestureActive(p))); break;
    default: handleTouchReport(p); break;
    }
}

void DrawTestPage::endProgram() {
    closeFullScreen();
    unregisterPage();
    closeController(state());
    emit quitRequested(0);
}

void DrawTestPage::registerPage() {
    const VexHandle h = state().controller;
    for (size_t i = 0; i < m_registrations.size(); ++i) {
        if (m_registrations[i] != 0) continue;
        m_registrations[i] =
            i == 0 ? m_packets.registerPacket(h, kEndPacketId, kStreamMessage)
                   : m_packets.registerSubPacket(h, kTouchPacketId, kPageSubIds[i - 1], kTouchMessage);
    }
}

void DrawTestPage::unregisterPage() {
    m_packets.unregisterAll();
    m_registrations.fill(0);
}

void DrawTestPage::onHidden() { unregisterPage(); }

void DrawTestPage::onDestroyed() {
    closeFullScreen();
    unregisterPage();
    if (state().controller != 0) {
        int8_t y = 0, x = 0;
        PCAPStopGetData(state().controller, &y, &x);
    }
}

bool DrawTestPage::controllerAtCreation() {
    if (state().controller == 0) {
        message(QStringLiteral(" OpenHIDDevice Fail!"), QStringLiteral("Quillet"));
        host::trace(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n"));
        emit closeRequested();
        return false;
    }
    host::trace(QStringLiteral("PCAP : OpenHIDDevice...OK\r\n"));
    return true;
}

bool DrawTestPage::acceptRecord(const TouchRecord& r, uint32_t now) {
    if (!m_contacts.holds(r.id)) return false;
    m_contacts.noteReport(r);
    m_contacts.countReport(r.id, now);
    return true;
}

void DrawTestPage::message(const QString& text, const QString& caption) {
    host::messageBox(text, caption, host::Icon::None, host::Buttons::Ok, this);
}

void DrawTestPage::applyFilter() { DevDisableFilter(state().controller, m_fields.filter ? 0 : 1); }

void DrawTestPage::showFields() {
    (m_fields.drawMode == kDotMode ? m_dotRadio : m_lineRadio)->setChecked(true);
    m_filterBox->setChecked(m_fields.filter);
    m_xBox->setText(QString::number(m_fields.gridX));
    m_yBox->setText(QString::number(m_fields.gridY));
    m_dBox->setText(m_fields.gridD);
}

void DrawTestPage::readControls() {
    m_fields.drawMode = m_dotRadio->isChecked() ? kDotMode : kLineMode;
    m_fields.filter = m_filterBox->isChecked();
    m_fields.gridX = parseGridSize(m_xBox->text());
    m_fields.gridY = parseGridSize(m_yBox->text());
    m_fields.gridD = m_dBox->text();
}

void DrawTestPage::syncLogButtons() {
    m_startLogButton->setEnabled(!m_fields.pointLogging);
    m_stopLogButton->setEnabled(m_fields.pointLogging);
}

void DrawTestPage::toggleFilter() {
    m_fields.filter = !m_fields.filter;
    applyFilter();
    // The box follows the setting, also when the command came from elsewhere.
    m_filterBox->setChecked(m_fields.filter);
    readControls();
}

void DrawTestPage::drawOnArea(const std::vector<Mark>& marks, int divisor) {
    m_area->changed(drawMarks(m_area->surface(), marks, divisor));
}

void DrawTestPage::openFullScreen() {
    if (m_window || state().controller == 0) return;
    readControls();
    m_fullScreenButton->setEnabled(false);
    m_fields.fullScreen = true;
    fullScreenOpening();
    m_window = makeFullScreenWindow();
    connect(m_window, &FullScreenWindow::finished, this, [this] { fullScreenEnded(); });
    m_window->start();
}

void DrawTestPage::closeFullScreen() {
    if (m_window) m_window->end();
}

void DrawTestPage::fullScreenEnded() {
    m_fullScreenButton->setEnabled(true);
    m_fields.fullScreen = false;
    host::trace(QStringLiteral(" DrawRawPointThread:ThreadExit\n"));
    if (m_window) m_window->deleteLater();
    m_window = nullptr;
    setFocus();
}

void DrawTestPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape: emit quitRequested(0); break;
    case Qt::Key_Space: clean(); break;
    case Qt::Key_F: openFullScreen(); break;
    default: TunerPage::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace lumora::draw

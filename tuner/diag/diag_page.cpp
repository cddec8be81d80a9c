#include "tuner/diag/diag_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <vector>

#include "device/packet.h"
#include "host/services.h"
#include "tuner/app/device_state.h"
#include "tuner/diag/diag_graph.h"
#include "tuner/kestrel/kestrel_source.h"

namespace lumora {

using namespace diag;

// ---- DiagGraphArea ---------------------------------------------------------------

DiagGraphArea::DiagGraphArea(const QString& name, QWidget* parent) : QFrame(parent) {
    setObjectName(name);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    // Room for 90 channel labels side by side at two heights.
    setMinimumSize(560, 230);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void DiagGraphArea::showGraph(SeriesValues values, int count, const std::vector<int>& thresholds) {
    Inputs inputs{{values.begin(), values.end()}, count, thresholds, areaSize()};
    if (inputs.size.isEmpty() || (!m_picture.isNull() && inputs == m_drawn)) return;
    QImage picture(inputs.size, QImage::Format_RGB32);
    drawDiagGraph(picture, values, count, thresholds);
    m_picture = picture;
    m_drawn = std::move(inputs);
    update();
}

void DiagGraphArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    if (m_picture.isNull())
        painter.fillRect(area, Qt::black);
    else
        painter.drawImage(area.topLeft(), m_picture);
}

// ---- CDiagPage -------------------------------------------------------------------

CDiagPage::CDiagPage(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Diagnostic"), parent) {
    m_flavour = flavourFor(state.typeCode);
    buildControls();
    m_graphTimer.setInterval(kGraphPeriodMs);
    connect(&m_graphTimer, &QTimer::timeout, this, [this] { redrawGraphs(); });
    m_packets.setHandler(
        [this](uint32_t message, const VexPacket& packet) { handlePacket(message, packet); });
}

// The callbacks carry this page as their context: they must end before it goes.
CDiagPage::~CDiagPage() { unregisterAll(); }

namespace {

QLineEdit* numberField(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setValidator(new QIntValidator(box));
    box->setMaximumWidth(80);
    return box;
}

}  // namespace

void CDiagPage::buildControls() {
    auto* group = new QGroupBox(QStringLiteral("Osprey Test"), this);
    m_openButton = new QPushButton(QStringLiteral("Open Test"), group);
    m_shortButton = new QPushButton(QStringLiteral("Short Test"), group);
    m_mutualButton = new QPushButton(QStringLiteral("Mutual Test"), group);
    m_adLevelButton = new QPushButton(QStringLiteral("ADLevel Test"), group);
    auto* cleanButton = new QPushButton(QStringLiteral("Clean Screen"), group);
    connect(m_openButton, &QPushButton::clicked, this, [this] { openTest(); });
    connect(m_shortButton, &QPushButton::clicked, this, [this] { shortTest(); });
    connect(m_mutualButton, &QPushButton::clicked, this, [this] { mutualTest(); });
    connect(m_adLevelButton, &QPushButton::clicked, this, [this] { adLevelTest(); });
    connect(cleanButton, &QPushButton::clicked, this, [this] { cleanScreen(); });

    m_failOnlyRadio = new QRadioButton(QStringLiteral("Show Fail Only"), group);
    m_showAllRadio = new QRadioButton(QStringLiteral("Show All"), group);
    auto* selection = new QButtonGroup(this);
    selection->addButton(m_failOnlyRadio, kShowFailOnly);
    selection->addButton(m_showAllRadio, kShowAll);

    m_openThBox = numberField(group);
    m_shortThBox = numberField(group);
    m_mutualThBox = numberField(group);
    m_adLevelThBox = numberField(group);

    auto* grid = new QGridLayout(group);
    grid->addWidget(m_openButton, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Open Th"), group), 0, 1);
    grid->addWidget(m_openThBox, 0, 2);
    grid->addWidget(m_shortButton, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Short Th"), group), 1, 1);
    grid->addWidget(m_shortThBox, 1, 2);
    grid->addWidget(m_mutualButton, 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("Mutual Th"), group), 2, 1);
    grid->addWidget(m_mutualThBox, 2, 2);
    grid->addWidget(m_adLevelButton, 3, 0);
    grid->addWidget(new QLabel(QStringLiteral("ADLevel Th"), group), 3, 1);
    grid->addWidget(m_adLevelThBox, 3, 2);
    grid->addWidget(cleanButton, 4, 0);
    grid->addWidget(m_failOnlyRadio, 4, 1);
    grid->addWidget(m_showAllRadio, 4, 2);

    m_resultBox = new QPlainTextEdit(this);
    m_resultBox->setReadOnly(true);
    m_resultBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_resultBox->setMinimumWidth(380);

    m_xGraph = new DiagGraphArea(QStringLiteral("X"), this);
    m_yGraph = new DiagGraphArea(QStringLiteral("Y"), this);

    auto* left = new QVBoxLayout;
    left->addWidget(group);
    left->addWidget(m_resultBox, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("X"), this));
    right->addWidget(m_xGraph, 1);
    right->addWidget(new QLabel(QStringLiteral("Y"), this));
    right->addWidget(m_yGraph, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);
}

void CDiagPage::onCreated() {
    if (m_initialised) return;
    m_initialised = true;
    m_settings = DiagSettings{};
    m_model.reset();
    m_showAllRadio->setChecked(m_settings.selection == kShowAll);
    m_failOnlyRadio->setChecked(m_settings.selection == kShowFailOnly);
    m_openThBox->setText(QString::number(m_settings.openTh));
    m_shortThBox->setText(QString::number(m_settings.shortTh));
    m_mutualThBox->setText(QString::number(m_settings.mutualTh));
    m_adLevelThBox->setText(QString::number(m_settings.adLevelTh));
}

void CDiagPage::onShown() {
    onCreated();
    unregisterAll();
    registerAll();
    // The raw-point stream start is what reports the counts here; both
    // calls write into the same two counts, so the second one's stand.
    const VexHandle h = state().controller;
    PCAPStopGetData(h, &m_yCount, &m_xCount);
    PCAPGetRawPoint(h, &m_yCount, &m_xCount);
    m_graphTimer.start();
    redrawGraphs();
}

void CDiagPage::onHidden() {
    unregisterAll();
    m_graphTimer.stop();
}

void CDiagPage::onDestroyed() { onHidden(); }

void CDiagPage::registerAll() {
    const VexHandle h = state().controller;
    if (h == 0) return;
    m_registeredOn = h;
    void* context = this;
    m_tokens[0] = m_packets.registerPacket(h, kPacketId, kPacketMessage);
    m_tokens[1] = PCAPSetOpenItemCallback(h, context, &CDiagPage::onOpenItem);
    m_tokens[2] = PCAPSetShortItemCallback(h, context, &CDiagPage::onShortItem);
    m_tokens[3] = PCAPSetMutualItemCallback(h, context, &CDiagPage::onMutualItem);
    m_tokens[4] = PCAPSetMutualTableCallback(h, context, &CDiagPage::onMutualTableItem);
    m_tokens[5] = PCAPSetADLevelItemCallback(h, context, &CDiagPage::onADLevelItem);
    m_tokens[6] = PCAPSetOpenDoneCallback(h, context, &CDiagPage::onOpenDone);
    m_tokens[7] = PCAPSetShortDoneCallback(h, context, &CDiagPage::onShortDone);
    m_tokens[8] = PCAPSetMutualDoneCallback(h, context, &CDiagPage::onMutualDone);
    m_tokens[9] = PCAPSetADLevelDoneCallback(h, context, &CDiagPage::onADLevelDone);
}

void CDiagPage::unregisterAll() {
    // Every token goes back, 0 included (the library refuses a 0 quietly).
    m_packets.unregister(m_registeredOn, m_tokens[0]);
    for (size_t i = 1; i < m_tokens.size(); ++i) DevUnregisterPacket(m_registeredOn, m_tokens[i]);
    m_tokens.fill(0);
}

// ---- Tests -----------------------------------------------------------------------

void CDiagPage::readSettings() {
    m_settings.selection = m_failOnlyRadio->isChecked() ? kShowFailOnly : kShowAll;
    // The fields take whole numbers only; one left empty (or past the
    // 32-bit range) keeps its last value and shows it again.
    const std::pair<QLineEdit*, int*> fields[] = {{m_openThBox, &m_settings.openTh},
                                                  {m_shortThBox, &m_settings.shortTh},
                                                  {m_mutualThBox, &m_settings.mutualTh},
                                                  {m_adLevelThBox, &m_settings.adLevelTh}};
    for (const auto& [box, value] : fields) {
        bool ok = false;
        const int v = box->text().trimmed().toInt(&ok);
        if (ok)
            *value = v;
        else
            box->setText(QString::number(*value));
    }
    // The Heron short test judges Rx pairs against the touch threshold of
    // the frequency record the Kestrel page has in use, as it is when the
    // test starts (0 without that page, and always 0 for type code 4).
    const KestrelParamSource* kestrel = state().kestrel;
    m_settings.shortRxTh =
        m_flavour == Flavour::Heron && kestrel ? kestrel->currentTouchThreshold() : 0;
}

void CDiagPage::setTestButtons(bool enabled, bool adLevelEnabled) {
    m_openButton->setEnabled(enabled);
    m_shortButton->setEnabled(enabled);
    m_mutualButton->setEnabled(enabled);
    m_adLevelButton->setEnabled(enabled && adLevelEnabled);
}

void CDiagPage::beginTest(DiagTest test) {
    readSettings();
    m_model.startTest(test);
    setTestButtons(false, false);
}

void CDiagPage::openTest() {
    beginTest(DiagTest::Open);
    const VexHandle h = state().controller;
    const auto selection = static_cast<uint8_t>(m_settings.selection);
    if (m_flavour == Flavour::Osprey)
        PCAPStartOpenTest(h, selection, m_settings.openTh, m_settings.openTh, 0, 0);
    else
        PCAPStartOpenTest(h, selection, m_settings.openLower, m_settings.openLower,
                          m_settings.openUpper, m_settings.openUpper);
}

void CDiagPage::shortTest() {
    beginTest(DiagTest::Short);
    // The wait runs on a timer so that the window stays responsive; the
    // test buttons are already disabled, and a page that is gone by then
    // starts nothing.
    QTimer::singleShot(kShortTestDelayMs, this, [this] {
        const VexHandle h = state().controller;
        if (h == 0) return;
        const auto selection = static_cast<uint8_t>(m_settings.selection);
        if (m_flavour == Flavour::Osprey)
            PCAPStartShortTest(h, selection, m_settings.shortTh, m_settings.shortTh, 0, 0);
        else
            PCAPStartShortTest(h, selection, 0, 0, m_settings.shortTxTh, m_settings.shortRxTh);
    });
}

void CDiagPage::mutualTest() {
    beginTest(DiagTest::Mutual);
    PCAPStartMutualTest(state().controller, static_cast<uint8_t>(m_settings.selection),
                        m_settings.mutualTh, m_settings.mutualTh);
}

void CDiagPage::adLevelTest() {
    beginTest(DiagTest::ADLevel);
    PCAPStartADLevelTest(state().controller, static_cast<uint8_t>(m_settings.selection),
                         m_settings.adLevelTh, m_settings.adLevelTh);
}

void CDiagPage::cleanScreen() {
    // The box keeps what it shows: only the stored text is emptied.
    m_model.cleanScreen();
    setTestButtons(true, true);
}

// ---- Callbacks -------------------------------------------------------------------

void CDiagPage::onOpenItem(void* context, int, const uint8_t* record) {
    if (!context || !record) return;
    static_cast<CDiagPage*>(context)->m_model.addItem(ItemList::Open, openItemOf(record));
}

void CDiagPage::onShortItem(void* context, int, const uint8_t* record) {
    if (!context || !record) return;
    static_cast<CDiagPage*>(context)->m_model.addItem(ItemList::Short,
                                                      pairItemOf(kShortTestKind, record));
}

void CDiagPage::onMutualItem(void* context, int, const uint8_t* record) {
    if (!context || !record) return;
    static_cast<CDiagPage*>(context)->m_model.addItem(ItemList::Mutual,
                                                      pairItemOf(kMutualTestKind, record));
}

void CDiagPage::onMutualTableItem(void* context, int, const uint8_t* record) {
    if (!context || !record) return;
    static_cast<CDiagPage*>(context)->m_model.addItem(ItemList::MutualTable,
                                                      pairItemOf(kMutualTestKind, record));
}

void CDiagPage::onADLevelItem(void* context, int, const uint8_t* record) {
    if (!context || !record) return;
    static_cast<CDiagPage*>(context)->m_model.addItem(ItemList::ADLevel,
                                                      pairItemOf(kADLevelTestKind, record));
}

void CDiagPage::onOpenDone(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<CDiagPage*>(context)->handleFinal(DiagTest::Open, record);
}

void CDiagPage::onShortDone(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<CDiagPage*>(context)->handleFinal(DiagTest::Short, record);
}

void CDiagPage::onMutualDone(void* context, int, const uint8_t* record) {
    if (context && record) static_cast<CDiagPage*>(context)->handleFinal(DiagTest::Mutual, record);
}

void CDiagPage::onADLevelDone(void* context, int, const uint8_t* record) {
    if (context && record)
        static_cast<CDiagPage*>(context)->handleFinal(DiagTest::ADLevel, record);
}

void CDiagPage::handleFinal(DiagTest test, const uint8_t* record) {
    DiagModel::FinalSteps steps;
    steps.showText = [this](const QString& text) {
        // The stored text keeps the controller's CR LF line ends; the box
        // shows them as plain line breaks.
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        m_resultBox->setPlainText(shown);
    };
    steps.enableTests = [this](bool adLevelEnabled) { setTestButtons(true, adLevelEnabled); };
    m_model.handleFinal(test, finalResultOf(record), m_flavour, m_settings, steps);
}

// ---- Packets and graphs ------------------------------------------------------------

void CDiagPage::handlePacket(uint32_t message, const VexPacket& packet) {
    if (message != kPacketMessage) return;
    host::trace(QStringLiteral("CPCAP_MonitorDlg : OnPCAP proc\n"));
    if (isEndPacket(packet.bytes)) {
        closeController(state());
        emit quitRequested(0);
    }
}

void CDiagPage::redrawGraphs() {
    const bool adView = m_model.view() == kADView;
    const GraphSeries& series = adView ? m_model.adSeries() : m_model.openSeries();
    std::vector<int> thresholds;
    if (adView)
        thresholds = {m_settings.adGraphRef};
    else if (m_flavour == Flavour::Osprey)
        thresholds = {m_settings.openTh};
    else
        thresholds = {m_settings.openLower, m_settings.openUpper};

    m_xGraph->showGraph(series.x, m_xCount, thresholds);
    m_yGraph->showGraph(series.y, m_yCount, thresholds);
}

TunerPage* makeDiagPage(DeviceState& state) { return new CDiagPage(state); }

}  // namespace lumora

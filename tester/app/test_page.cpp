#include "tester/app/test_page.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include "host/services.h"
#include "tester/app/link_rules.h"

namespace lumora::tester {

namespace {

constexpr int kPollMs = 3000;      // timer 0: look for a unit while none is open
constexpr int kPanelMs = 200;      // timer 1: status panel
constexpr int kCountdownMs = 1000; // timer 2: AutoRun countdown
const QSize kPanelSize(560, 200);

QLabel* textLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(text);
    return label;
}

}  // namespace

CTestPage::CTestPage(QString programDir, QWidget* parent)
    : QWidget(parent),
      m_dataFolder(programDir.isEmpty() ? host::testerDataFolder() : programDir),
      m_link(*this, m_config, m_run, QStringLiteral(LUMORA_CUSTOMER_LABEL), m_dataFolder),
      m_sequence(*this, m_config, m_run, m_dataFolder) {
    // The program's own run also finds a plan beside the program or among
    // the installed examples; a folder given by the caller is the only one.
    if (programDir.isEmpty())
        m_config.setFallbackFolders(host::programFolder(), host::testerExamplesFolder());
    // The page takes the keyboard focus, so that Enter reaches it.
    setFocusPolicy(Qt::StrongFocus);
    m_runLogBox = new QPlainTextEdit(this);
    m_runLogBox->setReadOnly(true);
    m_runLogBox->setFocusPolicy(Qt::ClickFocus);
    m_runLogBox->setMinimumSize(420, 320);

    m_statusPanel = new QLabel(this);
    m_statusPanel->setObjectName(QStringLiteral("AP Status"));
    m_statusPanel->setFixedSize(kPanelSize);

    // Each label keeps its first text as its name; the texts change with
    // every logged unit.
    auto* counters = new QGridLayout;
    const QStringList counterStart = counterTexts(RunCounters{});
    for (int i = 0; i < int(m_counterLabels.size()); ++i) {
        m_counterLabels[i] = textLabel(counterStart[i], this);
        counters->addWidget(m_counterLabels[i], i / 3, i % 3);
    }

    m_pcbT1 = new QPushButton(QStringLiteral("PCB T1"), this);
    m_pcbT2 = new QPushButton(QStringLiteral("PCB T2"), this);
    for (QPushButton* b : {m_pcbT1, m_pcbT2}) {
        b->setAutoDefault(false);  // Enter belongs to the page, not to a button
        b->setMinimumHeight(48);
        b->setEnabled(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pcbT1);
    buttons->addWidget(textLabel(QStringLiteral("> > >"), this), 0, Qt::AlignCenter);
    buttons->addWidget(m_pcbT2);

    auto* right = new QVBoxLayout;
    right->addWidget(m_statusPanel);
    right->addLayout(counters);
    right->addStretch();
    right->addLayout(buttons);

    auto* top = new QHBoxLayout;
    top->addWidget(m_runLogBox, 1);
    top->addLayout(right);

    m_statusLine = new QLineEdit(this);
    m_statusLine->setReadOnly(true);
    m_statusLine->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_statusLine);

    connect(m_pcbT1, &QPushButton::clicked, this, [this] {
        m_sequence.pcbT1();
        redrawStatusPanel();
    });
    connect(m_pcbT2, &QPushButton::clicked, this, [this] {
        m_sequence.pcbT2();
        redrawStatusPanel();
    });
    connect(this, &CTestPage::startTestRequested, this, [this] {
        m_sequence.startTest();
        redrawStatusPanel();
    });

    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(kPollMs);
    connect(m_pollTimer, &QTimer::timeout, this, &CTestPage::onPollTimer);
    m_panelTimer = new QTimer(this);
    m_panelTimer->setInterval(kPanelMs);
    connect(m_panelTimer, &QTimer::timeout, this, &CTestPage::redrawStatusPanel);
    m_countdownTimer = new QTimer(this);
    m_countdownTimer->setInterval(kCountdownMs);
    connect(m_countdownTimer, &QTimer::timeout, this, &CTestPage::onCountdownTimer);

    redrawStatusPanel();
}

CTestPage::~CTestPage() { shutdown(); }

QWidget* CTestPage::findLabel(const QString& text) const { return findChild<QLabel*>(text); }

void CTestPage::initialise() {
    if (m_initialised) return;
    m_initialised = true;

    // Defaults of the plan and the run, the case label "Demo".
    m_config.discard();
    m_config.plan() = TestPlan{};
    m_run = RunState{};
    refreshRunDisplays();
    setPcbT2Enabled(false);

    VexSetHotplugListener(&CTestPage::onHotplug, this);
    m_pollTimer->start();
    m_panelTimer->start();

    m_link.initialConnection();
    redrawStatusPanel();
}

void CTestPage::shutdown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_pollTimer->stop();
    m_panelTimer->stop();
    m_countdownTimer->stop();
    if (m_initialised) VexSetHotplugListener(nullptr, nullptr);
    m_link.exitSequence(host::isModernMultitouchHost());
}

// ---- Messages and notifications ----------------------------------------------------

void CTestPage::postMessage(int message) {
    // Posting to our own queue cannot fail, so the retry after 10 ms that a
    // lost post would need never arises.
    QCoreApplication::postEvent(this, new QEvent(pageEventType(message)));
}

void CTestPage::postDeviceArrived() { postMessage(DeviceArrivedMessage); }
void CTestPage::postDeviceRemoved() { postMessage(DeviceRemovedMessage); }

bool CTestPage::event(QEvent* e) {
    const bool arrived = e->type() == pageEventType(DeviceArrivedMessage);
    const bool removed = e->type() == pageEventType(DeviceRemovedMessage);
    if (!arrived && !removed) return QWidget::event(e);
    if (m_shutDown) return true;
    if (m_link.connecting()) {
        // The connection procedure is waiting for the controller: handle the
        // message once it is done, never in the middle of it.
        const int message = arrived ? DeviceArrivedMessage : DeviceRemovedMessage;
        QTimer::singleShot(50, this, [this, message] { postMessage(message); });
        return true;
    }
    if (arrived)
        m_link.onDeviceArrived();
    else
        m_link.onDeviceRemoved();
    redrawStatusPanel();
    return true;
}

void CTestPage::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        emit startTestRequested();
        return;
    }
    QWidget::keyPressEvent(e);
}

void CTestPage::onHotplug(void* context, int event, const char* path) {
    auto* page = static_cast<CTestPage*>(context);
    if (!page || !path || page->m_shutDown) return;
    page->m_link.onHotplug(event, QString::fromLatin1(path));
}

void CTestPage::onPollTimer() {
    if (m_link.connecting()) return;
    m_link.onPollTimer();
    redrawStatusPanel();
}

void CTestPage::onCountdownTimer() {
    if (m_run.countdown > 0) {
        --m_run.countdown;
        if (m_run.countdown == 0) {
            m_run.countdown = -1;
            emit startTestRequested();
        }
    }
}

// ---- LinkView -----------------------------------------------------------------------

void CTestPage::setPcbT1Enabled(bool enabled) { m_pcbT1->setEnabled(enabled); }
void CTestPage::setPcbT2Enabled(bool enabled) { m_pcbT2->setEnabled(enabled); }

void CTestPage::setTitle(const QString& title) {
    m_title = title;
    emit titleChanged(title);
}

void CTestPage::refreshRunDisplays() {
    if (m_runLogBox->toPlainText() != m_run.runLog) {
        m_runLogBox->setPlainText(m_run.runLog);
        m_runLogBox->moveCursor(QTextCursor::End);  // the newest lines in view
    }
    m_statusLine->setText(m_run.statusLine);
    const QStringList counters = counterTexts(m_sequence.counters());
    for (int i = 0; i < int(m_counterLabels.size()); ++i) m_counterLabels[i]->setText(counters[i]);
}

void CTestPage::endProgram(int exitCode) { emit quitRequested(exitCode); }

void CTestPage::startCountdown() { m_countdownTimer->start(); }

void CTestPage::waitForController(int ms) {
    // A local loop, so that the mode report the controller sends while it
    // switches is handled; page messages that arrive meanwhile wait (event()).
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CTestPage::testRecord(TestRecordKind kind, const uint8_t* record) {
    switch (kind) {
    case TestRecordKind::OpenItem: m_sequence.onOpenItem(record); break;
    case TestRecordKind::ShortItem: m_sequence.onShortItem(record); break;
    case TestRecordKind::OpenDone: m_sequence.onOpenDone(); break;
    case TestRecordKind::ShortDone: m_sequence.onShortDone(); break;
    }
}

UnitInfo CTestPage::unit() const {
    const ConnectionState& s = m_link.state();
    UnitInfo u;
    u.handle = s.handle;
    u.typeCode = s.typeCode;
    u.detectedInterface = s.detectedInterface;
    u.xCount = s.xCount;
    u.yCount = s.yCount;
    u.xPackets = s.xPackets;
    u.yPackets = s.yPackets;
    u.modelName = s.modelName;
    u.fwVersion = s.fwVersion;
    return u;
}

void CTestPage::disconnectUnit() {
    m_link.disconnect();
    redrawStatusPanel();
}

// ---- Status panel ---------------------------------------------------------------------

StatusPanelState CTestPage::statusPanelState() const {
    StatusPanelState s;
    s.countdown = m_run.countdown;
    s.controllerOpen = m_link.isOpen();
    s.typeCode = m_link.state().typeCode;
    s.runInProgress = m_run.runInProgress;
    s.runFinished = m_run.runFinished;
    s.verdict = m_run.verdict;
    s.step = m_run.step;
    s.connectorMode = m_config.plan().ConnectorMode;
    return s;
}

void CTestPage::redrawStatusPanel() {
    m_panelImage = renderStatusPanel(statusPanelLook(statusPanelState()), kPanelSize);
    m_statusPanel->setPixmap(QPixmap::fromImage(m_panelImage));
}

}  // namespace lumora::tester

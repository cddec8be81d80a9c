#include "tester/sequence/test_sequence.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QThread>
#include <QTimer>

#include "host/services.h"

namespace lumora::tester {

namespace {

constexpr int kStepTimerMs = 1000;       // timers 3 and 4
constexpr int64_t kJudgementGapMs = 1000; // a packet step is judged at most once a second

QEvent::Type eventTypeOf(int message) { return QEvent::Type(QEvent::User + message); }

// The short test's report selection and thresholds by family: the Heron
// family judges the values itself and asks for every item without limits;
// every other code takes the Osprey form with the short threshold.
struct ShortStart {
    uint8_t selection;
    int threshold;
};
ShortStart shortStartFor(int typeCode, const TestPlan& plan) {
    if (isHeronFamily(typeCode)) return {3, 0};
    return {1, plan.PCBShortTh};
}

// A unit whose model name or version differs from the plan's: the message
// box's text and the status line's.
struct IdentityTexts {
    QString box;
    QString status;
};
IdentityTexts identityTexts(bool modelDiffers) {
    if (modelDiffers) return {QStringLiteral("Check ModelName Fail!"), QStringLiteral("Check Model Name Fail!")};
    return {QStringLiteral("Check Version Fail!"), QStringLiteral("Check Version Fail!")};
}

const QString kControllerError =
    QStringLiteral("Controller Error! Please make sure FPCA is connected with bridge board!\r\n");

}  // namespace

void handBackReportId(VexHandle handle, int typeCode, bool modernHost) {
    if (isBootLoaderCode(typeCode)) return;
    const uint8_t id = exitReportId(typeCode, modernHost);
    if (!SetReportId(handle, id)) {
        QThread::msleep(10);
        SetReportId(handle, id);
    }
}

// ---- Counters --------------------------------------------------------------------------

void countLoggedUnit(RunCounters& c, bool pass, int64_t nowMs) {
    (pass ? c.ok : c.ng) += 1;
    const int64_t unitMs = nowMs - c.unitStartMs;
    c.totalMs += unitMs;
    c.currentSecs = unitMs / 1000;
    // A unit logged without being counted at its start still counts as one.
    if (c.total == 0) c.total = 1;
    c.shownTotal = c.total;
}

QStringList counterTexts(const RunCounters& c) {
    if (c.shownTotal == 0)
        return {QStringLiteral("Total Cnt: -"), QStringLiteral("OK Cnt: -"), QStringLiteral("NG Cnt: -"),
                QStringLiteral("Totle Time: -"), QStringLiteral("Current Time: -"),
                QStringLiteral("Tact Time: -")};
    return {QString::asprintf("Total Cnt: %d", c.shownTotal), QString::asprintf("OK Cnt: %d", c.ok),
            QString::asprintf("NG Cnt: %d", c.ng),
            QString::asprintf("Total Time: %d secs", static_cast<int>(c.totalMs / 1000)),
            QString::asprintf("Current Time: %d secs", static_cast<int>(c.currentSecs)),
            QString::asprintf("Tact Time: %d secs", static_cast<int>(c.totalMs / c.shownTotal / 1000))};
}

MeasuredValues::MeasuredValues() {
    // Nothing received yet: a connector log before any T2 prints -1.
    ad.reset();
    t1Connector.reset();
    t2Connector.reset();
    resetImage(imageY);
    resetImage(imageX);
}

// ---- Set-up -------------------------------------------------------------------------------

TestSequence::TestSequence(SequenceView& view, TestConfig& config, RunState& run, QString dataFolder,
                           QObject* parent)
    : QObject(parent), m_view(view), m_config(config), m_run(run), m_dataFolder(std::move(dataFolder)) {
    m_packets.setHandler(
        [this](uint32_t message, const VexPacket& packet) { onPacket(message, packet.bytes); });
    m_stepTimer = new QTimer(this);
    m_stepTimer->setInterval(kStepTimerMs);
    connect(m_stepTimer, &QTimer::timeout, this, &TestSequence::onStepTimer);
    m_imageTimer = new QTimer(this);
    m_imageTimer->setInterval(kStepTimerMs);
    connect(m_imageTimer, &QTimer::timeout, this, &TestSequence::onImageTimer);
}

TestSequence::~TestSequence() = default;

bool TestSequence::stepTimerActive() const { return m_stepTimer->isActive(); }
bool TestSequence::imageTimerActive() const { return m_imageTimer->isActive(); }

void TestSequence::post(SequenceMessage message) {
    // Posting to our own queue cannot fail, so the retry after 10 ms that a
    // lost post would need never arises.
    QCoreApplication::postEvent(this, new QEvent(eventTypeOf(message)));
}

bool TestSequence::event(QEvent* e) {
    if (e->type() == eventTypeOf(NextStepMessage)) {
        nextStep();
        return true;
    }
    if (e->type() == eventTypeOf(WriteResultLogMessage)) {
        writeResultLog();
        return true;
    }
    if (e->type() == eventTypeOf(WriteConnectorLogMessage)) {
        writeConnectorLog();
        return true;
    }
    return QObject::event(e);
}

// ---- Checks before a run ---------------------------------------------------------------

void TestSequence::resetForRun() {
    UnitResults& r = m_results;
    r.items = ItemTexts{};
    r.adResult = r.imageYResult = r.imageXResult = 1;
    r.adDone = r.imageYDone = r.imageXDone = false;
    r.adTimeOut = r.imageYTimeOut = r.imageXTimeOut = false;
    r.openFailCount = r.shortFailCount = 0;
    r.sCounter = r.vkeyCounter = 0;
    // A refused run shows FAIL on the panel, never the verdict of the unit
    // before.
    m_run.verdict = 0;
}

// A refused run leaves busy set and both buttons disabled: the next run is
// accepted once the unit has been plugged again.
void TestSequence::refuse() {
    m_run.runFinished = true;
    refresh();
}

TestSequence::PlanRead TestSequence::readPlanForRun(bool pcbT1, const UnitInfo& unit) {
    if (pcbT1)
        m_config.chooseCaseForPcbT1();
    else
        m_config.chooseCaseForStartTest(unit.detectedInterface);
    if (!m_config.loaded()) {
        host::messageBox(QStringLiteral("Read INI file error!"), QStringLiteral("Error"));
        m_run.runLog += QStringLiteral("Read INI error!\r\n");
        return PlanRead::Refused;
    }
    if (!m_config.readTestPlan(unit.typeCode)) {
        host::messageBox(QStringLiteral("Read INI error!"), QStringLiteral("Error"));
        m_run.runLog += QStringLiteral("Read INI error!\r\n");
        return PlanRead::Refused;
    }
    if (unit.detectedInterface != plan().DeviceInterface) {
        m_view.disconnectUnit();
        if (pcbT1) m_run.runLog += QStringLiteral("Wrong Interface!\r\n");
        refresh();
        return PlanRead::Disconnected;
    }
    return PlanRead::Ok;
}

bool TestSequence::testerNameAccepted(bool logLine) {
    UnitResults& r = m_results;
    const TestPlan& p = plan();
    const bool missing = r.testerName.isEmpty() || !r.testerNameConfirmed;
    if (missing && p.InputInfo && !p.AutoRun && !p.LoopTest) {
        host::messageBox(QStringLiteral("Please enter Tester Name and Confirm!"), QStringLiteral("Error"),
                         host::Icon::Question);
        m_run.statusLine = QStringLiteral("Please enter Tester Name and Confirm!");
        if (logLine) m_run.runLog += QStringLiteral("Please enter Tester Name and Confirm!\r\n");
        r.barcode.clear();
        return false;
    }
    if (missing) r.testerName = QStringLiteral("ZEMA Test Utility");
    return true;
}

TestSequence::IdentityCheck TestSequence::checkIdentity(const UnitInfo& unit) const {
    const TestPlan& p = plan();
    if (isBootLoaderCode(unit.typeCode)) return IdentityCheck::Ok;
    // Exact, case-sensitive comparisons.
    if (p.CheckModel && unit.modelName != p.ModelName) return IdentityCheck::ModelDiffers;
    if (p.CheckVersion && unit.fwVersion != p.Version) return IdentityCheck::VersionDiffers;
    return IdentityCheck::Ok;
}

void TestSequence::controllerError() {
    host::messageBox(kControllerError, QStringLiteral("Error"));
    m_run.step = 0;
    m_run.runInProgress = false;
    m_view.disconnectUnit();
    refresh();
}

// ---- Commands --------------------------------------------------------------------------

void TestSequence::pcbT1() {
    if (m_run.busy) return;
    m_run.busy = true;
    m_run.runInProgress = true;
    m_run.runFinished = false;
    m_view.setPcbT1Enabled(false);
    m_view.setPcbT2Enabled(false);
    m_results.startTime = host::localTime();
    resetForRun();

    m_results.t1Result = 0;
    m_run.t1Detail.clear();
    m_run.step = 1;
    m_run.runLog = QStringLiteral("-----\r\nController T1-1 (Short Test) Start!\r\n");
    m_run.statusLine = QStringLiteral("Strat PCB T1 Test\r\n");
    m_results.shortFailCount = 0;
    const UnitInfo unit = m_view.unit();
    if (isHeronFamily(unit.typeCode)) DevSetTestMode(unit.handle, 1);
    refresh();

    switch (readPlanForRun(true, unit)) {
    case PlanRead::Ok: break;
    case PlanRead::Refused: refuse(); return;
    case PlanRead::Disconnected: return;
    }
    if (!testerNameAccepted(true)) {
        refuse();
        return;
    }
    if (const IdentityCheck identity = checkIdentity(unit); identity != IdentityCheck::Ok) {
        const IdentityTexts texts = identityTexts(identity == IdentityCheck::ModelDiffers);
        host::messageBox(texts.box, QStringLiteral("LumoraTester"), host::Icon::Error);
        m_run.statusLine = texts.status;
        m_run.runLog += texts.status + QStringLiteral("\r\n");
        m_results.barcode.clear();
        refuse();
        return;
    }

    ++m_counters.total;
    m_counters.unitStartMs = host::tickMs();

    m_shortItems.clear();
    int8_t y = 0, x = 0;
    bool started = false;
    if (PCAPStopGetData(unit.handle, &y, &x)) {
        if (isHeronFamily(unit.typeCode) && plan().RunDACCalibration) {
            DevDACCalibration(unit.handle);
            DevResetController(unit.handle);
        }
        const ShortStart s = shortStartFor(unit.typeCode, plan());
        started = PCAPStartShortTest(unit.handle, s.selection, 0, 0, s.threshold, s.threshold) != 0;
    }
    if (!started) {
        controllerError();
        return;
    }
    refresh();
}

void TestSequence::pcbT2() {
    if (m_run.busy) return;
    m_run.busy = true;
    m_run.runInProgress = true;
    const UnitInfo unit = m_view.unit();
    int8_t y = 0, x = 0;
    const bool stopped = PCAPStopGetData(unit.handle, &y, &x) != 0;
    m_results.t2Result = 0;

    if (plan().ConnectorMode) {
        m_run.step = 3;
        m_results.t2ConnectorDone = false;
        m_run.t2Detail.clear();
        m_results.shortFailCount = 0;
        m_run.runLog += QStringLiteral("-----\r\nController T2 Start!\r\n");
        m_run.statusLine = QStringLiteral("Strat PCB T2 Test\r\n");
        post(NextStepMessage);
        refresh();
        return;
    }

    m_run.step = 5;
    m_run.t2Detail.clear();
    m_results.shortFailCount = 0;
    m_run.runLog += QStringLiteral("-----\r\nController T2 (Open Test) Start!\r\n");
    m_run.statusLine = QStringLiteral("Strat PCB T2 Test\r\n");
    m_openItems.clear();
    m_shortItems.clear();
    bool started = false;
    if (stopped) {
        if (isHeronFamily(unit.typeCode)) {
            started = PCAPStartOpenTest(unit.handle, 3, 0, 0, 0, 0) != 0;
        } else {
            // The Osprey family's second stage runs the short measurement and
            // judges it as a non-short test.
            const int th = plan().PCBShortTh;
            started = PCAPStartShortTest(unit.handle, 1, 0, 0, th, th) != 0;
        }
    }
    if (!started) {
        controllerError();
        return;
    }
    refresh();
}

void TestSequence::startTest() {
    m_results.startTime = host::localTime();
    m_results.items = ItemTexts{};
    const UnitInfo unit = m_view.unit();
    switch (readPlanForRun(false, unit)) {
    case PlanRead::Ok: break;
    case PlanRead::Refused: refresh(); return;
    case PlanRead::Disconnected: return;
    }
    if (!unit.handle) return;
    m_run.runInProgress = true;
    // The unit starts afresh: the panel must not show the verdict of the
    // unit before while it waits for "PCB T1".
    m_run.runFinished = false;
    m_run.verdict = 0;

    if (!testerNameAccepted(false)) {
        refuse();
        return;
    }
    const TestPlan& p = plan();
    if (m_results.barcode.isEmpty()) {
        if (p.InputInfo && !p.AutoRun && !p.LoopTest) {
            host::messageBox(QStringLiteral("Please enter Barcode!"), QStringLiteral("Error"),
                             host::Icon::Question);
            m_run.statusLine = QStringLiteral("Please enter Barcode!");
            refuse();
            return;
        }
        m_results.barcode = QStringLiteral("ZEMA");
    }
    const IdentityCheck identity = checkIdentity(unit);
    if (identity != IdentityCheck::Ok) {
        const IdentityTexts texts = identityTexts(identity == IdentityCheck::ModelDiffers);
        m_run.statusLine = texts.status;
        m_results.barcode.clear();
        if (p.AutoExit)
            m_view.endProgram(identity == IdentityCheck::ModelDiffers ? 5 : 6);
        else
            host::messageBox(texts.box, QStringLiteral("LumoraTester"), host::Icon::Error);
        refuse();
        return;
    }
    // The unit is counted here and again by "PCB T1".
    ++m_counters.total;
    m_counters.unitStartMs = host::tickMs();
    refresh();
}

// ---- Steps -------------------------------------------------------------------------------

void TestSequence::startStep() {
    m_stepStartMs = host::tickMs();
    // The first judgement of a step comes a second after its start, like
    // every later one: by then the connector values that the T1 connector
    // step records (and does not judge) have arrived beside the AD levels.
    m_lastJudgementMs = m_stepStartMs;
}

bool TestSequence::judgementDue(bool strictlyMore) const {
    const int64_t since = host::tickMs() - m_lastJudgementMs;
    return strictlyMore ? since > kJudgementGapMs : since >= kJudgementGapMs;
}

void TestSequence::setRegistration(VexRegistration& slot, VexHandle handle, uint8_t packetId,
                                   uint32_t message) {
    if (slot) m_packets.unregister(handle, slot);
    slot = m_packets.registerPacket(handle, packetId, message);
}

void TestSequence::endRegistration(VexRegistration& slot, VexHandle handle) {
    if (slot) m_packets.unregister(handle, slot);
    slot = 0;
}

void TestSequence::stopData(VexHandle handle) {
    // The counts read at connection stay: a stream operation that fails
    // writes zero counts, which would leave nothing to judge.
    int8_t y = 0, x = 0;
    PCAPStopGetData(handle, &y, &x);
}

void TestSequence::waitForT2() {
    m_view.setPcbT1Enabled(plan().PCBTestMode != 0);
    m_view.setPcbT2Enabled(true);
}

void TestSequence::nextStep() {
    m_run.busy = false;
    const UnitInfo unit = m_view.unit();
    // A step change queued before the unit was removed has nothing to start.
    if (!unit.handle) return;
    const VexHandle h = unit.handle;
    int8_t y = 0, x = 0;
    if (!PCAPGetRawPoint(h, &y, &x))
        host::messageBox(QStringLiteral("Set device status Fail!"), QStringLiteral("Error"));

    const bool connector = plan().ConnectorMode != 0;
    switch (m_run.step) {
    case 1:
        m_view.setPcbT1Enabled(false);
        m_view.setPcbT2Enabled(false);
        m_run.runInProgress = true;
        if (connector) {
            m_run.runLog += QStringLiteral("-----\r\nController T1-2 (Connector Test/AD Test) Start!\r\n");
            m_run.statusLine = QStringLiteral("Strat PCB Connector Test/AD\r\n");
            setRegistration(m_levelRegistration, h, 0x4F, ConnectorT1PacketMessage);
            setRegistration(m_connectorRegistration, h, 0x52, ConnectorT1PacketMessage);
            m_values.t1Connector.reset();
        } else {
            m_run.step = 2;
            m_run.runLog += QStringLiteral("-----\r\nController T1-2 (AD Test) Start!\r\n");
            m_run.statusLine = QStringLiteral("Strat PCB AD Level Test\r\n");
            setRegistration(m_levelRegistration, h, 0x4F, ADLevelPacketMessage);
        }
        m_values.ad.reset();
        PCAPGetSingleData(h, &y, &x);
        startStep();
        m_stepTimer->start();
        break;
    case 2:
        if (connector) {
            waitForT2();
            break;
        }
        m_run.runInProgress = true;
        m_run.step = 3;
        m_run.runLog += QStringLiteral("-----\r\nController T1-3 (AD Test Image Y) Start!\r\n");
        m_run.statusLine = QStringLiteral("Strat PCB AD Level Test\r\n");
        setRegistration(m_levelRegistration, h, 0x51, ImageYPacketMessage);
        resetImage(m_values.imageY);
        PCAPGetImageYX(h, &y, &x);
        startStep();
        m_imageTimer->start();
        break;
    case 3:
        m_run.runInProgress = true;
        if (connector) {
            m_run.runLog += QStringLiteral("-----\r\nController T2 (Connector Test) Start!\r\n");
            m_run.statusLine = QStringLiteral("Strat Connector Test\r\n");
            endRegistration(m_levelRegistration, h);
            setRegistration(m_connectorRegistration, h, 0x52, ConnectorT2PacketMessage);
            m_values.t2Connector.reset();
            m_results.t2ConnectorDone = false;
            PCAPGetSingleData(h, &y, &x);
            startStep();
            m_stepTimer->start();
            break;
        }
        m_run.step = 4;
        m_run.runLog += QStringLiteral("-----\r\nController T1-4 (AD Test Image X) Start!\r\n");
        m_run.statusLine = QStringLiteral("Strat PCB AD Level Test\r\n");
        setRegistration(m_levelRegistration, h, 0x50, ImageXPacketMessage);
        resetImage(m_values.imageX);
        PCAPGetImageXY(h, &y, &x);
        startStep();
        m_imageTimer->start();
        break;
    case 4:
        if (connector) {
            // The Heron family comes here straight from its short test: its
            // connector log shows the connector result of the unit before.
            m_run.runFinished = true;
            m_view.setPcbT1Enabled(true);
            m_view.setPcbT2Enabled(plan().PCBTestMode != 0);
            post(WriteConnectorLogMessage);
            break;
        }
        waitForT2();
        break;
    case 5:
        m_view.setPcbT1Enabled(true);
        m_view.setPcbT2Enabled(plan().PCBTestMode != 0);
        break;
    default: break;
    }
    refresh();
}

// ---- Time-outs -----------------------------------------------------------------------------

void TestSequence::onStepTimer() {
    const UnitInfo unit = m_view.unit();
    if (!unit.handle) {  // the unit went mid-step: nothing is left to wait for
        m_stepTimer->stop();
        return;
    }
    const TestPlan& p = plan();
    // In connector mode the same watch covers the connector steps: a T1
    // time-out writes the PCB form of the report, and once the AD level is
    // judged the watch no longer fires, so the T2 connector step has no
    // time-out.
    if (!p.RunADLevelTest || m_results.adDone) return;
    if (host::tickMs() - m_stepStartMs < (int64_t(p.ADLevelTestTime) + 1) * 1000) return;
    stopData(unit.handle);
    endRegistration(m_levelRegistration, unit.handle);
    m_stepTimer->stop();
    m_results.adDone = true;
    m_results.adResult = 0;
    m_results.adTimeOut = true;
    m_results.items.adLevel = QStringLiteral("Fail");
    post(WriteResultLogMessage);
}

void TestSequence::onImageTimer() {
    const UnitInfo unit = m_view.unit();
    if (!unit.handle) {
        m_imageTimer->stop();
        return;
    }
    const TestPlan& p = plan();
    if (!p.RunADLevelTest2) return;
    if (host::tickMs() - m_stepStartMs < (int64_t(p.ADLevelTest2Time) + 1) * 1000) return;
    UnitResults& r = m_results;
    if (!r.imageYDone) {
        r.imageYDone = true;
        r.imageYResult = 0;
        r.imageYTimeOut = true;
        r.items.imageY = QStringLiteral("Fail");
    } else if (m_run.step == 4 && !r.imageXDone) {
        // The image X step times out on the model of the image Y step, so a
        // unit that never sends its columns does not hold the line.
        r.imageXDone = true;
        r.imageXResult = 0;
        r.imageXTimeOut = true;
        r.items.imageX = QStringLiteral("Fail");
    } else {
        return;
    }
    stopData(unit.handle);
    endRegistration(m_levelRegistration, unit.handle);
    m_imageTimer->stop();
    post(WriteResultLogMessage);
}

// ---- Test records ------------------------------------------------------------------------

void TestSequence::onOpenItem(const uint8_t* record) {
    if (record) m_openItems.push_back(openItemOf(record));
}

void TestSequence::onShortItem(const uint8_t* record) {
    if (record) m_shortItems.push_back(pairItemOf(kShortTestKind, record));
}

void TestSequence::onShortDone() {
    const int step = m_run.step;
    // Only the two stages that start the short test judge it.
    if (step != 1 && step != 5) return;
    m_run.statusLine = QStringLiteral("PCB Short Test Finish!\r\n");
    const UnitInfo unit = m_view.unit();
    const TestPlan& p = plan();
    ShortContext context;
    context.step = step;
    context.heron = isHeronFamily(unit.typeCode);
    context.shortLower = p.ShortLower;
    context.pcbShortTh = p.PCBShortTh;
    context.shortTestTxLTh = p.ShortTestTxLTh;
    context.xCount = unit.xCount;
    context.yCount = unit.yCount;
    context.sCounter = &m_results.sCounter;
    context.vkeyCounter = &m_results.vkeyCounter;
    const JudgedItems judged = judgeShortItems(m_shortItems, context);
    (step == 1 ? m_run.t1Detail : m_run.t2Detail) += judged.detail;
    m_run.runLog += judged.runLog;
    m_results.shortFailCount += judged.failures;

    m_run.statusLine = step == 1 ? QStringLiteral("Controller T1-1 (Short Test) Test Finish!\r\n")
                                 : QStringLiteral("Controller T2 ( Open Test) Test Finish!\r\n");
    m_run.runLog += QStringLiteral("Finish!\r\n");
    if (judged.failures > 0) {
        (step == 1 ? m_results.t1Result : m_results.t2Result) = 0;
        m_run.verdict = 0;
        // In the connector mode too: a unit that fails its short test gets
        // the PCB form of the report.
        post(WriteResultLogMessage);
    } else if (step == 1) {
        m_results.t1Result = 1;
        if (isHeronFamily(unit.typeCode)) m_run.step = 4;
        post(NextStepMessage);
    } else {
        m_results.t2Result = 1;
        post(WriteResultLogMessage);
    }
    refresh();
}

void TestSequence::onOpenDone() {
    if (m_run.step != 5) return;  // only the second stage starts the open test
    m_run.statusLine = QStringLiteral("Open Test Finish!\r\n");
    const TestPlan& p = plan();
    const JudgedItems judged = judgeOpenItems(m_openItems, p.OpenTestTxUTh, p.OpenTestRxLTh);
    m_run.t2Detail += judged.detail;
    m_run.runLog += judged.runLog;
    m_results.openFailCount += judged.failures;
    const bool failed = m_results.openFailCount > 0;
    m_results.t2Result = failed ? 0 : 1;
    m_run.runLog += QStringLiteral("Finish!\r\n");
    post(WriteResultLogMessage);
    refresh();
}

// ---- Packet steps -------------------------------------------------------------------------

void TestSequence::onPacket(uint32_t message, const uint8_t* packet) {
    if (!packet) return;
    const UnitInfo unit = m_view.unit();
    switch (message) {
    case ADLevelPacketMessage:
    case ConnectorT1PacketMessage:
    case ConnectorT2PacketMessage: onSeriesPacket(message, packet, unit); break;
    case ImageYPacketMessage:
    case ImageXPacketMessage: onImagePacket(message, packet, unit); break;
    default: break;
    }
}

void TestSequence::adLevelJudged(Judgement judgement, const UnitInfo& unit) {
    UnitResults& r = m_results;
    if (judgement == Judgement::NotReady) {
        host::trace(QStringLiteral("AD LEVEL NOT READY\r\n"));
        return;
    }
    const bool pass = judgement == Judgement::Pass;
    host::trace(pass ? QStringLiteral("AD LEVEL PASS\r\n") : QStringLiteral("AD LEVEL FAIL\r\n"));
    m_stepTimer->stop();
    r.adDone = true;
    r.adResult = pass ? 1 : 0;
    stopData(unit.handle);
    // Only the AD level registration ends: in the connector step the
    // connector values of the frame just judged are still on their way.
    endRegistration(m_levelRegistration, unit.handle);
    r.items.adLevel = pass ? QStringLiteral("Pass") : QStringLiteral("Fail");
    m_run.verdict = pass ? 1 : 0;
}

void TestSequence::connectorT2Judged(Judgement judgement, const UnitInfo& unit) {
    UnitResults& r = m_results;
    if (judgement == Judgement::NotReady) {
        host::trace(QStringLiteral("CONNECTOR TEST2 NOT READY\r\n"));
        return;
    }
    const bool pass = judgement == Judgement::Pass;
    host::trace(pass ? QStringLiteral("CONNECTOR TEST2 PASS\r\n") : QStringLiteral("CONNECTOR TEST2 FAIL\r\n"));
    m_stepTimer->stop();
    r.t2ConnectorDone = true;
    r.t2ConnectorResult = pass ? 1 : 0;
    stopData(unit.handle);
    endRegistration(m_connectorRegistration, unit.handle);
    m_run.verdict = pass ? 1 : 0;
}

void TestSequence::onSeriesPacket(uint32_t message, const uint8_t* packet, const UnitInfo& unit) {
    const uint8_t id = packet[2];
    const int xp = unit.xPackets, yp = unit.yPackets;
    const TestPlan& p = plan();
    MeasuredValues& v = m_values;

    if (message == ConnectorT2PacketMessage) {
        if (id == 0x52) storeSeriesPacket(v.t2Connector, packet, xp, yp);
        if (id == 0x4F) storeSeriesPacket(v.ad, packet, xp, yp);
        if (m_results.t2ConnectorDone || !v.t2Connector.ready(xp, yp) || !judgementDue(false)) return;
        m_lastJudgementMs = host::tickMs();
        const Judgement j = judgeConnectorT2(v.t1Connector.x, v.t1Connector.y, v.t2Connector.x,
                                             v.t2Connector.y, unit.xCount, unit.yCount, p.ConnTestXTh,
                                             p.ConnTestYTh);
        connectorT2Judged(j, unit);
        m_run.runLog += connectorT2RunLog(v.t1Connector.x, v.t1Connector.y, v.t2Connector.x,
                                          v.t2Connector.y, unit.xCount, unit.yCount, p.ConnTestXTh,
                                          p.ConnTestYTh);
        m_run.statusLine = QStringLiteral("Controller T2 Test Finish!\r\n");
        if (j == Judgement::Pass) {
            m_run.step = 4;
            m_results.t2Result = 1;
            post(NextStepMessage);
        } else if (j == Judgement::Fail) {
            post(WriteConnectorLogMessage);
        }
        refresh();
        return;
    }

    if (message == ConnectorT1PacketMessage) {
        if (id == 0x52) storeSeriesPacket(m_run.step == 1 ? v.t1Connector : v.t2Connector, packet, xp, yp);
        if (id == 0x4F) storeSeriesPacket(v.ad, packet, xp, yp);
    } else {
        storeSeriesPacket(v.ad, packet, xp, yp);
    }
    if (m_results.adDone || !v.ad.ready(xp, yp) || !judgementDue(false)) return;
    m_lastJudgementMs = host::tickMs();
    const Judgement j = judgeADLevel(v.ad.x, v.ad.y, unit.xCount, unit.yCount, p.PCBADLevel);
    adLevelJudged(j, unit);

    if (message == ConnectorT1PacketMessage) {
        // The connector values are recorded in T1 and judged in T2.
        m_run.runLog += connectorT1RunLog(v.t1Connector.x, v.t1Connector.y, v.ad.x, v.ad.y, unit.xCount,
                                          unit.yCount, p.PCBADLevel);
        m_run.statusLine = QStringLiteral("Controller T1 Test Finish!\r\n");
        if (j == Judgement::Pass) {
            m_run.step = 2;
            m_results.t1Result = 1;
            post(NextStepMessage);
        } else if (j == Judgement::Fail) {
            post(WriteConnectorLogMessage);
        }
    } else {
        m_run.runLog += adStepRunLog(v.ad.x, v.ad.y, unit.xCount, unit.yCount, p.PCBADLevel);
        m_run.statusLine = QStringLiteral("Controller T1-2 (AD Test) Test Finish!\r\n");
        if (j == Judgement::Pass)
            post(NextStepMessage);
        else if (j == Judgement::Fail)
            post(WriteResultLogMessage);
    }
    refresh();
}

void TestSequence::imageJudged(bool imageY, Judgement judgement, const UnitInfo& unit) {
    if (judgement == Judgement::NotReady) {
        host::trace(imageY ? QStringLiteral("[LumoraTester] AD LEVEL MY NOT READY\r\n")
                           : QStringLiteral("[LumoraTester] AD LEVEL MX NOT READY\r\n"));
        return;
    }
    const bool pass = judgement == Judgement::Pass;
    stopData(unit.handle);
    endRegistration(m_levelRegistration, unit.handle);
    UnitResults& r = m_results;
    (imageY ? r.imageYResult : r.imageXResult) = pass ? 1 : 0;
    (imageY ? r.items.imageY : r.items.imageX) = pass ? QStringLiteral("Pass") : QStringLiteral("Fail");
    m_imageTimer->stop();
    (imageY ? r.imageYDone : r.imageXDone) = true;
    if (pass) {
        m_run.runLog += QStringLiteral("Finish!\r\n");
        post(NextStepMessage);
    } else {
        m_run.runLog += QStringLiteral("Fail!\r\n");
        post(WriteResultLogMessage);
        host::trace(imageY ? QStringLiteral("[LumoraTester] AD LEVEL MY Fail\r\n")
                           : QStringLiteral("[LumoraTester] AD LEVEL MX Fail\r\n"));
    }
    refresh();
}

void TestSequence::onImagePacket(uint32_t message, const uint8_t* packet, const UnitInfo& unit) {
    const bool imageY = message == ImageYPacketMessage;
    const TestPlan& p = plan();
    if (imageY) {
        storeImagePacket(m_values.imageY, packet, ImageLine::Row);
    } else {
        storeImagePacket(m_values.imageX, packet, ImageLine::Column, [](int row, int column, int value) {
            host::trace(QString::asprintf("AD MX Level[%d][%d] = %d\r\n", row, column, value));
        });
    }
    if ((imageY ? m_results.imageYDone : m_results.imageXDone) || !judgementDue(true)) return;
    m_lastJudgementMs = host::tickMs();
    const Judgement j = imageY ? judgeImage(m_values.imageY, unit.yCount, unit.xCount - 1, p.ADLevel2)
                               : judgeImage(m_values.imageX, unit.yCount - 1, unit.xCount, p.ADLevel2);
    imageJudged(imageY, j, unit);
}

// ---- Result files ------------------------------------------------------------------------

void TestSequence::writeResultLog() { writeLog(false); }
void TestSequence::writeConnectorLog() { writeLog(true); }

ResultLogData TestSequence::logData(bool pass, const UnitInfo& unit) const {
    const UnitResults& r = m_results;
    const TestPlan& p = plan();
    ResultLogData d;
    d.pass = pass;
    d.modelName = unit.modelName;
    d.fwVersion = unit.fwVersion;
    d.typeCode = unit.typeCode;
    d.xCount = unit.xCount;
    d.yCount = unit.yCount;
    d.testerName = r.testerName;
    d.barcode = r.barcode;
    d.caseName = m_config.caseName();
    d.start = r.startTime;
    d.shortUpper = p.ShortUpper;
    d.pcbADLevel = p.PCBADLevel;
    d.connTestXTh = p.ConnTestXTh;
    d.connTestYTh = p.ConnTestYTh;
    static_cast<StepResults&>(d) = r;
    d.t1Detail = m_run.t1Detail;
    d.t2Detail = m_run.t2Detail;
    d.firmwareUpdateText = r.items.firmwareUpdate;
    d.hardwareCalibrationText = r.items.hardwareCalibration;
    d.imageYText = r.items.imageY;
    d.imageXText = r.items.imageX;
    d.adX = &m_values.ad.x;
    d.adY = &m_values.ad.y;
    d.t1ConnectorX = &m_values.t1Connector.x;
    d.t1ConnectorY = &m_values.t1Connector.y;
    d.t2ConnectorX = &m_values.t2Connector.x;
    d.t2ConnectorY = &m_values.t2Connector.y;
    d.imageY = &m_values.imageY;
    d.imageX = &m_values.imageX;
    return d;
}

void TestSequence::writeLog(bool connectorLog) {
    const TestPlan& p = plan();
    m_view.setPcbT1Enabled(true);
    m_view.setPcbT2Enabled(p.PCBTestMode != 0);
    // Run in progress stays set, so the panel shows the verdict.
    m_run.runFinished = true;
    m_run.busy = false;
    refresh();

    const UnitResults& r = m_results;
    const bool pass = connectorLog
                          ? (r.t1Result && r.t2ConnectorResult && r.adResult)
                          : (r.t1Result && r.t2Result && r.adResult && r.imageYResult && r.imageXResult);
    m_run.verdict = pass ? 1 : 0;
    m_run.statusLine = pass ? QStringLiteral("Test Pass!") : QStringLiteral("Test Fail!");
    // What the file reports is taken now: the unit may be pulled while the
    // "Test Fail!" box waits for the operator.
    const UnitInfo unit = m_view.unit();
    // A unit logged before any run began is filed under the time of its log.
    if (!m_results.startTime.isValid()) m_results.startTime = host::localTime();
    const QDateTime start = m_results.startTime;
    const ResultLogData data = logData(pass, unit);

    // A folder that cannot be made is passed over: the verdict, counters,
    // AutoExit and the closing device calls still follow.
    const QString day = resultDayFolder(resultRootFolder(m_dataFolder), start.date());
    makeFolder(day);
    if (!pass && p.FailStop) {
        refresh();
        // The file is written only once the operator has seen the failure.
        host::messageBox(QStringLiteral("Test Fail!"), QStringLiteral("Error"), host::Icon::Error);
    }
    countLoggedUnit(m_counters, pass, host::tickMs());
    refresh();

    const QString folder = resultVerdictFolder(day, pass);
    makeFolder(folder);
    const QString name = connectorLog ? connectorLogFileName(pass, data.barcode, start.time())
                                      : pcbLogFileName(pass, start.time());
    QByteArray text;
    if (!p.EnableTestResultFile)
        text = verdictOnlyText(pass);
    else
        text = connectorLog ? connectorLogText(data) : pcbLogText(data);
    m_lastResultFile = QDir(folder).filePath(name);
    m_lastResultFileWritten = writeResultFile(m_lastResultFile, text);

    if (p.AutoExit) m_view.endProgram(pass ? 0 : 1);

    // The unit as it is now: when it was removed meanwhile there is nothing
    // to switch back.
    const UnitInfo now = m_view.unit();
    if (!connectorLog) {
        m_results.barcode.clear();
        refresh();
        if (now.handle && isHeronFamily(now.typeCode)) {
            DevSetTestMode(now.handle, 0);
            DevSetOption(now.handle, 2, 1);
        }
        return;
    }
    if (now.handle) handBackReportId(now.handle, now.typeCode, host::isModernMultitouchHost());
    m_results.barcode.clear();
    refresh();
}

}  // namespace lumora::tester

#include "tuner/kestrel/kestrel_param_dlg.h"

#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "device/packet.h"
#include "host/packet_window.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"
#include "tuner/kestrel/kestrel_header.h"

namespace lumora {

CKestrelParamFreqDlg::CKestrelParamFreqDlg(DeviceState& state, QWidget* parent)
    : TunerPage(state, QStringLiteral("Kestrel Param"), parent) {
    setObjectName(QStringLiteral("CKestrelParamFreqDlg"));

    auto* swapGroup = new QGroupBox(QStringLiteral("Swap"), this);
    swapGroup->setObjectName(QStringLiteral("swapGroup"));
    m_swapX = named(new QCheckBox(QStringLiteral("Swap X"), swapGroup), "swapXCheck");
    m_swapY = named(new QCheckBox(QStringLiteral("Swap Y"), swapGroup), "swapYCheck");
    m_swapXY = named(new QCheckBox(QStringLiteral("Swap XY"), swapGroup), "swapXYCheck");
    auto* swapLayout = new QVBoxLayout(swapGroup);
    for (QCheckBox* box : {m_swapX, m_swapY, m_swapXY}) swapLayout->addWidget(box);
    swapLayout->addStretch(1);

    auto makeButton = [&](const char* text, const char* name, void (CKestrelParamFreqDlg::*command)()) {
        auto* button = named(new QPushButton(QString::fromLatin1(text), this), name);
        button->setMinimumWidth(180);
        connect(button, &QPushButton::clicked, this, [this, command] { (this->*command)(); });
        return button;
    };
    auto* buttons = new QGridLayout;
    buttons->addWidget(makeButton("(S) Sava Param", "saveParamButton", &CKestrelParamFreqDlg::onSaveParam), 0, 0);
    buttons->addWidget(makeButton("(L) Load Param", "loadParamButton", &CKestrelParamFreqDlg::onLoadParam), 1, 0);
    buttons->addWidget(makeButton("(K) DAC Calibration", "dacCalibrationButton",
                                  &CKestrelParamFreqDlg::onDacCalibration), 2, 0);
    buttons->addWidget(makeButton("(D) Default Param", "defaultParamButton",
                                  &CKestrelParamFreqDlg::onDefaultParam), 0, 1);
    buttons->addWidget(makeButton("(F) Default Freq Param", "defaultFreqParamButton",
                                  &CKestrelParamFreqDlg::onDefaultFreqParam), 1, 1);
    buttons->addWidget(makeButton("(R) Reset Controller", "resetControllerButton",
                                  &CKestrelParamFreqDlg::onResetController), 2, 1);

    auto* row = new QHBoxLayout;
    row->addWidget(swapGroup);
    row->addSpacing(24);
    row->addLayout(buttons);
    row->addStretch(1);
    auto* page = new QVBoxLayout(this);
    page->addLayout(row);
    page->addStretch(1);

    m_packetWindow = new host::PacketWindow(this);
    m_packetWindow->setHandler(
        [this](uint32_t message, const VexPacket& packet) { onPacketMessage(message, packet); });

    state.kestrel = this;
}

CKestrelParamFreqDlg::~CKestrelParamFreqDlg() {
    onDestroyed();
    if (state().kestrel == this) state().kestrel = nullptr;
}

TunerPage* makeKestrelParamPage(DeviceState& state) { return new CKestrelParamFreqDlg(state); }

// ---- Life cycle and device hooks ----------------------------------------------

void CKestrelParamFreqDlg::onCreated() {
    // The sheet has taken the page in by now; a filter object that goes away
    // is removed from the window by Qt.
    window()->installEventFilter(this);
    // Both live as long as the page: the end packet and the time-out report
    // matter whichever tab is visible.
    m_packetRegistration =
        m_packetWindow->registerPacket(state().controller, kWatchedPacketId, kStreamMessage);
    m_timeoutRegistration = DevRegisterPacketCallback(state().controller, kTimeoutPacketId,
                                                      kTimeoutSubId, this, &timeoutHook);
    showValues();
}

void CKestrelParamFreqDlg::onDestroyed() {
    if (m_packetRegistration != 0) {
        m_packetWindow->unregister(state().controller, m_packetRegistration);
        m_packetRegistration = 0;
    }
    if (m_timeoutRegistration != 0) {
        DevUnregisterPacket(state().controller, m_timeoutRegistration);
        m_timeoutRegistration = 0;
    }
}

// The library may call the hook on its own thread (without a GUI dispatcher):
// the page is only touched from a task posted to the GUI thread. Qt drops the
// task if the page is gone by then; after DevUnregisterPacket no hook runs.
void CKestrelParamFreqDlg::timeoutHook(void* context, int, const uint8_t* packet) {
    if (!packet || packet[3] != kTimeoutSubId) return;
    auto* page = static_cast<CKestrelParamFreqDlg*>(context);
    QMetaObject::invokeMethod(page, [page] { page->onHardwareTimeout(); }, Qt::QueuedConnection);
}

void CKestrelParamFreqDlg::onHardwareTimeout() {
    if (state().controller == 0) return;
    say("Kestrel Hardware TimeOut! Reset default Parameters!", "Error", host::Icon::Error);
}

void CKestrelParamFreqDlg::onPacketMessage(uint32_t message, const VexPacket& packet) {
    if (message != kStreamMessage || state().controller == 0) return;
    if (!isEndPacket(packet.bytes)) return;
    closeController(state());
    m_ending = true;
    emit quitRequested(0);
}

void CKestrelParamFreqDlg::onShown() {
    if (m_ending) return;
    const VexHandle h = state().controller;
    // Zero counts: the controller does not answer as it should. The page asks
    // the sheet to close, which ends the program through its normal exit
    // sequence, as closing the window would.
    PCAPStopGetData(h, &m_yCount, &m_xCount);
    if (m_yCount == 0 || m_xCount == 0) {
        const QString text = QStringLiteral("PCAPStopGetData Fail! (Y: %1, X: %2)").arg(m_yCount).arg(m_xCount);
        host::messageBox(text, QStringLiteral("Quillet"), host::Icon::Error, host::Buttons::Ok, this);
        emit closeRequested();
        return;
    }
    PCAPGetRawPoint(h, &m_yCount, &m_xCount);
    if (m_yCount == 0 || m_xCount == 0) {
        const QString text = QStringLiteral("PCAPGetRawPoint Fail! (Y: %1, X: %2)").arg(m_yCount).arg(m_xCount);
        host::messageBox(text, QStringLiteral("Quillet"), host::Icon::Error, host::Buttons::Ok, this);
        emit closeRequested();
        return;
    }
    load();
}

// ---- Shortcuts ------------------------------------------------------------------

// Ctrl with S, L, K, D, F, R or E, Shift or not, while the page is the
// visible one. The filter sits on the page's window (the sheet): a key press
// that no control takes for itself travels up from the focused control to
// the window, so the page hears it whichever control has the focus, the tab
// bar included. The key is not consumed. Auto-repeat of a held key does not
// run the command again.
bool CKestrelParamFreqDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window() && event->type() == QEvent::KeyPress && isVisible()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && (key->modifiers() & Qt::ControlModifier)) runShortcut(key->key());
    }
    return TunerPage::eventFilter(watched, event);
}

bool CKestrelParamFreqDlg::runShortcut(int key) {
    if (m_ending) return false;
    switch (key) {
    case Qt::Key_S: onSaveParam(); return true;
    case Qt::Key_L: onLoadParam(); return true;
    case Qt::Key_K: onDacCalibration(); return true;
    case Qt::Key_D: onDefaultParam(); return true;
    case Qt::Key_F: onDefaultFreqParam(); return true;
    case Qt::Key_R: onResetController(); return true;
    case Qt::Key_E: onExportHeader(); return true;
    default: return false;
    }
}

// ---- Commands ---------------------------------------------------------------------

void CKestrelParamFreqDlg::onLoadParam() {
    if (m_ending) return;
    if (load()) say("Load Param OK!", "LumoraTuner", host::Icon::Information);
}

void CKestrelParamFreqDlg::onSaveParam() {
    if (m_ending) return;
    save();
}

void CKestrelParamFreqDlg::onDacCalibration() {
    if (m_ending) return;
    dacCalibration();
}

void CKestrelParamFreqDlg::onDefaultParam() {
    if (m_ending || !askDefaults()) return;
    const VexHandle h = state().controller;
    uint8_t buffer[VEX_PACKET_SIZE] = {};
    {
        host::WaitCursor wait;
        if (DevLoadDefaultFreqParam(h, buffer)) {
            DevResetController(h);
            say("Load Default Freq Param OK!", "LumoraTuner", host::Icon::Information);
        } else {
            say("Load Default Freq Param Fail!", "Error", host::Icon::Error);
        }
    }
    bool done = false;
    {
        host::WaitCursor wait;
        done = DevLoadDefaultParam(h) && switchToCurrentIndex();
        if (done) load();
    }
    if (done)
        say("Load Default Parameters OK!", " Error", host::Icon::Information);
    else
        say("Load Default Parameters Error!", " Error", host::Icon::Error);
}

void CKestrelParamFreqDlg::onDefaultFreqParam() {
    if (m_ending || !askDefaults()) return;
    const VexHandle h = state().controller;
    {
        host::WaitCursor wait;
        uint8_t buffer[VEX_PACKET_SIZE] = {};
        if (!DevLoadDefaultFreqParam(h, buffer)) {
            say("Load Default Freq Param Fail!", "Error", host::Icon::Error);
            return;
        }
        DevResetController(h);
        if (!switchToCurrentIndex()) {
            say("Load Freqency Parameters Error!", " Error", host::Icon::Error);
            return;
        }
        load();
    }
    say("Load Default Freq Param OK!", "LumoraTuner", host::Icon::Information);
    dacCalibration();
}

void CKestrelParamFreqDlg::onResetController() {
    if (m_ending) return;
    {
        host::WaitCursor wait;
        const VexHandle h = state().controller;
        PCAPStopGetData(h, &m_yCount, &m_xCount);
        DevResetController(h);
        PCAPGetRawPoint(h, &m_yCount, &m_xCount);
        switchToCurrentIndex();
        load();
    }
    say("Reset OK!", "LumoraTuner", host::Icon::Information);
}

// Asked with the normal cursor: the wait cursor belongs to the work that
// follows a Yes.
bool CKestrelParamFreqDlg::askDefaults() {
    return host::messageBox(QStringLiteral(" Are You Sure Go To Default Value ? "),
                            QStringLiteral(" WARING "), host::Icon::Warning, host::Buttons::YesNo,
                            this) == host::Answer::Yes;
}

bool CKestrelParamFreqDlg::switchToCurrentIndex() {
    if (m_freqIndex == kNoFreqIndex) return true;
    uint8_t buffer[VEX_PACKET_SIZE] = {};
    return DevSetFreqIndex(state().controller, buffer, m_freqIndex) != 0;
}

// ---- Load ---------------------------------------------------------------------------

bool CKestrelParamFreqDlg::load() {
    host::WaitCursor wait;
    if (!loadGeneral()) {
        say("Load Param Failed!", "Error", host::Icon::Error);
        return false;
    }
    // The general part has shown its values; the frequency part has none
    // on this page.
    const bool frequency = loadFrequency();
    if (!frequency) say("Load Param Failed!", "Error", host::Icon::Error);
    return frequency;
}

bool CKestrelParamFreqDlg::loadGeneral() {
    host::WaitCursor wait;
    takeValues();
    const VexHandle h = state().controller;
    // Each word is read twice: into the reference copy (its result is not
    // looked at) and into the working copy. A failed read leaves the word as
    // it was.
    for (int k = 0; k < kKestrelBlockWords; ++k) {
        uint16_t word = m_ref.word(k);
        DevReadWord(h, kKestrelFirstWord + k, &word);
        m_ref.setWord(k, word);
        word = m_work.word(k);
        if (!DevReadWord(h, kKestrelFirstWord + k, &word)) {
            say("Load paremeters Fail!", "Error!", host::Icon::Error);
            return false;
        }
        m_work.setWord(k, word);
    }
    // A checksum word that cannot be read gives nothing to compare with: the
    // block counts as unchecked, as a mismatch does.
    uint16_t stored = 0;
    const bool read = DevReadWord(h, kKestrelChecksumWord, &stored) != 0;
    if (!read || stored != m_work.checksum()) {
        say("CRC Fail!", " Error", host::Icon::Error);
        return false;
    }
    m_values = m_work;
    showValues();
    return true;
}

bool CKestrelParamFreqDlg::loadFrequency() {
    host::WaitCursor wait;
    const VexHandle h = state().controller;
    m_regs = {};
    // The entry belongs to the register block of this load: a save after a
    // failed frequency part must not send a block cleared here.
    m_pwmEntry = -1;
    uint8_t buffer[VEX_PACKET_SIZE] = {};
    const bool asked = DevSetFreqIndex(h, buffer, 255) != 0;
    // Byte 2 is taken even when the ask failed (the cleared buffer then says 0).
    const int reported = buffer[2];
    if (reported >= kKestrelFreqCount) {
        // No record and no register block exist past the five: the page has
        // no index in use, and the readers of its values see none.
        m_freqIndex = kNoFreqIndex;
        say("Load Freqency Parameters Error!", " Error", host::Icon::Error);
        return false;
    }
    m_freqIndex = reported;
    // Read twice: the first read gives the working copy, the second one
    // decides whether the part loaded.
    KestrelRegisters second;
    DevReadFreqRegs(h, m_regs.bytes.data(), m_freqIndex);
    const bool read = DevReadFreqRegs(h, second.bytes.data(), m_freqIndex) != 0;
    if (!asked || !read) {
        say("Load Freqency Parameters Error!", " Error", host::Icon::Error);
        return false;
    }
    m_pwmEntry = pwmEntryFor(m_regs.sampleRate());
    if (m_pwmEntry < 0) {
        // An unknown code is replaced by the slowest safe setting, which the
        // next save writes.
        m_pwmEntry = kFallbackPwmEntry;
        m_regs.setSampleRate(pwmTable()[size_t(m_pwmEntry)].sampleRate);
    }
    m_loadedRegs = m_regs;
    if (m_work.freqRecord(m_freqIndex).period() < pwmTable()[size_t(m_pwmEntry)].minimumPeriod())
        say("Period Error! Please update new firmware!", "Error", host::Icon::Error);
    return true;
}

// ---- Save and DAC calibration ----------------------------------------------------------

void CKestrelParamFreqDlg::save() {
    const VexHandle h = state().controller;
    {
        host::WaitCursor wait;
        takeValues();
        // Without a completed frequency part there is neither an index nor a
        // register block to send: nothing is read or written.
        if (m_pwmEntry < 0 || m_freqIndex == kNoFreqIndex) {
            say("PWM Setting Select Error!", "Error", host::Icon::Error);
            return;
        }
        m_work.takeCaptionedFrom(m_values);
        // The register block goes back as the controller holds it now, but
        // with the page's register values. Without a fresh read, the bytes
        // from the last load or an export would be sent for the wrong block.
        if (!DevReadFreqRegs(h, m_regs.bytes.data(), m_freqIndex)) {
            say("Save Freqency Parameters Error!", " Error", host::Icon::Error);
            return;
        }
        m_regs.restoreSavedBytes(m_loadedRegs, pwmTable()[size_t(m_pwmEntry)].sampleRate);

        uint16_t unused = 0;
        DevReadWord(h, kKestrelChecksumWord, &unused);
        // A failure leaves the words before it written and the old checksum:
        // the controller then reports "CRC Fail!" until a save completes.
        for (int k = 0; k < kKestrelBlockWords; ++k) {
            if (!DevWriteWord(h, kKestrelFirstWord + k, m_work.word(k))) {
                say(" Save paremeters Fail ! ", " Error ", host::Icon::Error);
                return;
            }
        }
        if (!DevWriteWord(h, kKestrelChecksumWord, m_work.checksum())) {
            say(" Save paremeters Fail ! ", " Error ", host::Icon::Error);
            return;
        }
        uint8_t buffer[VEX_PACKET_SIZE] = {};
        if (!DevSetFreqIndex(h, buffer, m_freqIndex) ||
            !DevWriteFreqRegs(h, buffer, m_freqIndex, m_regs.bytes.data())) {
            say("Save Freqency Parameters Error!", " Error", host::Icon::Error);
            return;
        }
        DevResetController(h);
        showValues();
    }
    dacCalibration();
}

void CKestrelParamFreqDlg::dacCalibration() {
    const VexHandle h = state().controller;
    {
        host::WaitCursor wait;
        const int64_t start = host::counterNs();
        auto takeTime = [start](int n) {
            const double ms = double(host::counterNs() - start) / 1e6;
            host::trace(QStringLiteral("Take Time %1: %2\r\n").arg(n).arg(ms, 0, 'f', 3));
        };
        if (!DevDACCalibration(h)) {
            say("DAC Cailabration Fail!", "Error", host::Icon::Error);
            return;
        }
        takeTime(1);
        takeTime(2);
        switchToCurrentIndex();
        takeTime(3);
        load();
        takeTime(4);
    }
    say("DAC Cailabration OK!", "LumoraTuner", host::Icon::Information);
}

// ---- Header export ------------------------------------------------------------------

void CKestrelParamFreqDlg::onExportHeader() {
    if (m_ending) return;
    applyReferenceValues(m_ref);
    takeValues();
    // No question before replacing a file: exporting again over the last
    // export is the usual case.
    QString name = host::saveFileName(this, QStringLiteral("Save As"), QStringLiteral("*.def"),
                                      QStringLiteral("Kestrel parameter file (*.def);;*.* (*)"),
                                      host::Overwrite::Replace);
    if (name.isEmpty()) return;
    // A name typed without an extension gets the header's own.
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".def");
    const QByteArray timeText =
        host::localTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm-'r'ss")).toLatin1();

    // A target that cannot be written ends the export without a word. The
    // text goes to a temporary file renamed over the target, which must not
    // replace a file the user may not write: whether they may is asked by
    // opening it for appending (which changes nothing), as the file system
    // decides it for this user, ACLs and read-only mounts included.
    const QFileInfo target(name);
    if (target.exists()) {
        QFile probe(name);
        if (!target.isFile() || !probe.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return;

    KestrelHeaderInputs in;
    in.values = m_values;
    in.reference = m_ref;
    in.working = m_work;
    in.loadedRegisters = m_loadedRegs;
    in.timeText = timeText;
    in.titleBase = state().titleBase.toLatin1();
    in.modelName = state().modelName.toLatin1();
    in.fwVersion = state().fwVersion.toLatin1();
    const VexHandle h = state().controller;
    // Each block is read into the working register copy; a save reads its
    // own block again before it writes.
    const KestrelHeader header = buildKestrelHeader(in, [this, h](int index, KestrelRegisters& out) {
        const bool ok = DevReadFreqRegs(h, m_regs.bytes.data(), index) != 0;
        out = m_regs;
        return ok;
    });
    if (header.failedIndex >= 0) say("Get Registers Fail!", "LumoraTuner", host::Icon::Error);
    file.write(header.text);
    // A file that could not be completed is not reported as exported; the
    // target keeps what it held.
    if (!file.commit()) return;
    say("Export Param  File OK!\r\n", "Lumoratuner", host::Icon::Information);
}

// ---- Values and messages ----------------------------------------------------------------

int CKestrelParamFreqDlg::touchThreshold(int freqRecord) const {
    if (freqRecord < 0 || freqRecord >= kKestrelFreqCount) return 0;
    return m_work.freqRecord(freqRecord).touchThreshold();
}

int CKestrelParamFreqDlg::waterThreshold(int freqRecord) const {
    if (freqRecord < 0 || freqRecord >= kKestrelFreqCount) return 0;
    return m_work.freqRecord(freqRecord).waterThreshold();
}

int CKestrelParamFreqDlg::period(int freqRecord) const {
    if (freqRecord < 0 || freqRecord >= kKestrelFreqCount) return 0;
    return m_work.freqRecord(freqRecord).period();
}

void CKestrelParamFreqDlg::takeValues() {
    m_values.setFlag(kKestrelSwapX, m_swapX->isChecked());
    m_values.setFlag(kKestrelSwapY, m_swapY->isChecked());
    m_values.setFlag(kKestrelSwapXY, m_swapXY->isChecked());
}

void CKestrelParamFreqDlg::showValues() {
    m_swapX->setChecked(m_values.flag(kKestrelSwapX));
    m_swapY->setChecked(m_values.flag(kKestrelSwapY));
    m_swapXY->setChecked(m_values.flag(kKestrelSwapXY));
}

void CKestrelParamFreqDlg::say(const char* text, const char* caption, host::Icon icon) {
    host::messageBox(QString::fromLatin1(text), QString::fromLatin1(caption), icon, host::Buttons::Ok,
                     this);
}

}  // namespace lumora

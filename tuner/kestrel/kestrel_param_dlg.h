// The "Kestrel Param" page, first page of the sheet for Heron-class
// controllers (type codes 6 and 8). It loads the controller's general
// parameter block and, for the scan frequency in use, its frequency record
// and register block; it writes them back, restores the controller's
// defaults, runs the DAC calibration, resets the controller and exports the
// parameters as a firmware header (Ctrl+E). Only the three swap flags can be
// changed here; every other value is kept as loaded and sent back unchanged.
#pragma once

#include <cstdint>

#include "device/vexlink.h"
#include "host/services.h"
#include "tuner/app/tuner_page.h"
#include "tuner/kestrel/kestrel_param_block.h"
#include "tuner/kestrel/kestrel_source.h"

class QCheckBox;
class QPushButton;

namespace lumora {

namespace host {
class PacketWindow;
}

class CKestrelParamFreqDlg : public TunerPage, public KestrelParamSource {
    Q_OBJECT
public:
    // Streamed data reaches the page as this message; it only looks for the
    // controller's end packet in it.
    static constexpr uint32_t kStreamMessage = 0x602;
    static constexpr uint8_t kWatchedPacketId = 0x3B;
    // The controller reports a hardware time-out as packet 0x36, sub id 0x6B.
    static constexpr uint8_t kTimeoutPacketId = 0x36;
    static constexpr uint8_t kTimeoutSubId = 0x6B;

    explicit CKestrelParamFreqDlg(DeviceState& state, QWidget* parent = nullptr);
    ~CKestrelParamFreqDlg() override;

    void onCreated() override;
    void onShown() override;
    void onDestroyed() override;

    // The commands of the six buttons and of Ctrl+E.
    void onSaveParam();
    void onLoadParam();
    void onDacCalibration();
    void onDefaultParam();
    void onDefaultFreqParam();
    void onResetController();
    void onExportHeader();

    // A posted packet message (the page's packet window calls this).
    void onPacketMessage(uint32_t message, const VexPacket& packet);

    // KestrelParamSource: the working copy as the other pages read it.
    int currentFreqIndex() const override { return m_freqIndex; }
    int touchThreshold(int freqRecord) const override;
    int waterThreshold(int freqRecord) const override;
    int period(int freqRecord) const override;
    int chkStrayTh() const override { return m_work.chkStrayTh(); }
    int chkStrayThWater() const override { return m_work.chkStrayThWater(); }

    // What the page holds.
    const KestrelParamBlock& workingBlock() const { return m_work; }
    const KestrelParamBlock& referenceBlock() const { return m_ref; }
    const KestrelParamBlock& values() const { return m_values; }
    const KestrelRegisters& workingRegisters() const { return m_regs; }
    const KestrelRegisters& loadedRegisters() const { return m_loadedRegs; }
    // 0-based entry of the PWM table chosen at the last load, -1 when none.
    int pwmEntry() const { return m_pwmEntry; }
    VexRegistration packetRegistration() const { return m_packetRegistration; }
    VexRegistration timeoutRegistration() const { return m_timeoutRegistration; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void timeoutHook(void* context, int unused, const uint8_t* packet);
    void onHardwareTimeout();

    // Load: both parts, "Load Param Failed!" after a failure of either.
    bool load();
    bool loadGeneral();
    bool loadFrequency();
    void save();
    void dacCalibration();
    // DevSetFreqIndex for the index in use; true without a call when no
    // index is known yet (there is nothing to switch back to).
    bool switchToCurrentIndex();
    // A modal message with the normal cursor, even inside a wait cursor.
    void say(const char* text, const char* caption, host::Icon icon);
    bool askDefaults();
    // The check boxes into the values, and back.
    void takeValues();
    void showValues();
    bool runShortcut(int key);

    KestrelParamBlock m_work;    // the values are taken from it and saved from it
    KestrelParamBlock m_ref;     // the export compares with it
    KestrelParamBlock m_values;  // the page's values as of the last good load
    KestrelRegisters m_regs;        // working register copy
    KestrelRegisters m_loadedRegs;  // the register values of the last load
    int m_freqIndex = kNoFreqIndex;
    int m_pwmEntry = -1;

    host::PacketWindow* m_packetWindow = nullptr;
    VexRegistration m_packetRegistration = 0;
    VexRegistration m_timeoutRegistration = 0;
    bool m_ending = false;
    int8_t m_yCount = 0;
    int8_t m_xCount = 0;

    QCheckBox* m_swapX = nullptr;
    QCheckBox* m_swapY = nullptr;
    QCheckBox* m_swapXY = nullptr;
};

// The page table's factory for the "Kestrel Param" tab.
TunerPage* makeKestrelParamPage(DeviceState& state);

}  // namespace lumora

// The "Parameters" page of an Osprey-class controller: loads the parameter
// block, lets the user change four flag bits of its word 0, writes the block
// back and starts the hardware calibration. Loading this page fills the
// in-memory block that the raw-data and image pages read.
#pragma once

#include <cstdint>

#include "device/vexlink.h"
#include "tuner/app/tuner_page.h"
#include "tuner/params/osprey_param_io.h"
#include "tuner/params/osprey_param_values.h"

class QCheckBox;
class QPushButton;

namespace lumora {

namespace host {
class PacketWindow;
}

class CParametersDlg : public TunerPage {
    Q_OBJECT
public:
    // Streamed data reaches the page as this message; it only looks for the
    // controller's end packet in it.
    static constexpr uint32_t kStreamMessage = 0x602;
    static constexpr uint8_t kWatchedPacketId = 0x3B;

    explicit CParametersDlg(DeviceState& state, QWidget* parent = nullptr);
    ~CParametersDlg() override;

    void onCreated() override;
    void onActivated() override;
    void onShown() override;
    void onDestroyed() override;

    // The commands of the three buttons.
    void onLoadParam();
    void onSaveParam();
    void onHardwareCalibration();

    // A posted packet message (the page's packet window calls this).
    void onPacketMessage(uint32_t message, const VexPacket& packet);

    // What the page holds, hidden values included.
    const OspreyParamValues& values() const { return m_values; }
    VexRegistration registration() const { return m_registration; }

private:
    // Runs Load with its failure handling. After a read failure the device is
    // closed and the program is ending.
    ParamResult load();
    void save();
    // The check boxes into the values, and back.
    void takeValues();
    void showValues();

    OspreyParamValues m_values;
    host::PacketWindow* m_packetWindow = nullptr;
    VexRegistration m_registration = 0;
    int m_activations = 0;
    // Set once the page has asked to end the program.
    bool m_ending = false;
    // Filled by PCAPStopGetData; the page does not use them.
    int8_t m_yCount = 0;
    int8_t m_xCount = 0;

    QCheckBox* m_inverseY = nullptr;
    QCheckBox* m_inverseX = nullptr;
    QCheckBox* m_swapXY = nullptr;
    QCheckBox* m_autoCalibration = nullptr;
    QPushButton* m_loadButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_calibrationButton = nullptr;
};

// The page table's factory for the "Parameters" tab.
TunerPage* makeParametersPage(DeviceState& state);

}  // namespace lumora

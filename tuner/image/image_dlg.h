// The "Image Data" page of Osprey-class controllers (type code 4): the
// controller's node images in 90 x 90 grids, drawn as one curve per line
// ("Clean Data") or as a table of numbers ("AD Level") by a drawing worker.
// The page itself only wires controls, keys and packets to the logic in
// image_model.h and hands frames from the worker to the screen.
#pragma once

#include <QImage>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "host/packet_window.h"
#include "tuner/app/tuner_page.h"
#include "tuner/image/image_frame.h"
#include "tuner/image/image_model.h"
#include "tuner/image/image_worker.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace lumora {

class CImageDlg : public TunerPage {
    Q_OBJECT
public:
    explicit CImageDlg(DeviceState& state, QWidget* parent = nullptr);
    ~CImageDlg() override;

    void onCreated() override;
    void onActivated() override;
    void onShown() override;
    void onHidden() override;
    void onDestroyed() override;

    // Message 0x602 (and any other registered message) from the packet window.
    void handlePacket(uint32_t message, const VexPacket& packet);

    // Commands of the buttons, also reachable by keys.
    void chooseView(int32_t displayMode);  // "Clean Data" / "AD Level"
    void shiftDown();                      // "<<"
    void shiftUp();                        // ">>"
    void swapDriveOrder();                 // "X / Y", key 's'
    void resetController();                // "Reset Controller"
    void hardwareCalibration();            // "Hardware Calibration"

    // Read access for tests and the screenshot tool.
    const image::ImageFields& fields() const { return m_fields; }
    int yCount() const { return m_yCount; }  // as the controller reported them
    int xCount() const { return m_xCount; }
    const image::SharedImage& shared() const { return m_shared; }
    const image::ImageDrawWorker* worker() const { return m_worker.get(); }
    image::ImageFrame* imageFrame() const { return m_image; }
    QLineEdit* thresholdBox() const { return m_thresholdBox; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void showFields();    // fields -> controls (and to the worker)
    void readControls();  // controls -> fields
    void publishSettings();
    void setCounts(int8_t yCount, int8_t xCount);
    void startStream();   // by orientation
    void resetWith(bool calibrate);
    void stopWorker();
    void takeFrame();  // shows the worker's latest frame, if a new one is there

    image::ImageFields m_fields;
    int8_t m_yCount = 0;
    int8_t m_xCount = 0;
    bool m_vantor = false;  // the type name contains "Vantor"
    bool m_created = false;
    bool m_firstActivation = true;
    bool m_showingFields = false;

    image::SharedImage m_shared;
    host::PacketWindow m_packets;
    image::FrameSlot m_nextFrame;
    QTimer m_frameTimer;
    // After what it uses, so that it is stopped first (the destructor
    // stops it explicitly as well).
    std::unique_ptr<image::ImageDrawWorker> m_worker;

    image::ImageFrame* m_image = nullptr;
    QRadioButton* m_cleanRadio = nullptr;
    QRadioButton* m_adLevelRadio = nullptr;
    QLineEdit* m_thresholdBox = nullptr;
    QLineEdit* m_shiftBox = nullptr;
    QLineEdit* m_driveBox = nullptr;
};

// Factory for the page table.
TunerPage* makeImageDataPage(DeviceState& state);

}  // namespace lumora

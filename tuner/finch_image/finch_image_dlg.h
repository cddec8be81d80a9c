// The "Finch Image Data" page of Heron-class controllers (type codes 6 and
// 8): the raw image as curves of its "DD" transform ("Clean Data") and the
// stray image as a colour-coded table with its uniformity check ("AD
// Level"), drawn by a worker into the page's image frame or, after 'f', into
// a full-screen view. The page wires controls, keys, clicks and packets to
// the logic of finch_model.h and hands the worker's frames to the screen.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "host/packet_window.h"
#include "host/screenshot.h"
#include "tuner/app/tuner_page.h"
#include "tuner/finch_image/finch_model.h"
#include "tuner/finch_image/finch_worker.h"
#include "tuner/finch_image/kestrel_values.h"
#include "tuner/image/image_frame.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace lumora {

class CFinchImageDataDlg;

// The page's "Image" frame: the image frame of the image pages, handing its
// mouse input to the page.
class CMyStatic : public image::ImageFrame {
    Q_OBJECT
public:
    explicit CMyStatic(CFinchImageDataDlg& page, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    CFinchImageDataDlg& m_page;
};

namespace finch {

// The full-screen view: a frameless top-level window of the screen's size
// that shows the worker's full-screen frames. Esc, 'f', 'F' or releasing
// the right button close it.
class FinchFullScreenView : public QWidget {
    Q_OBJECT
public:
    FinchFullScreenView();
    void setFrame(const QImage& frame);
    const QImage& frame() const { return m_frame; }

signals:
    void closed();
    void sizeChanged(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_frame;
};

}  // namespace finch

class CFinchImageDataDlg : public TunerPage {
    Q_OBJECT
public:
    explicit CFinchImageDataDlg(DeviceState& state, QWidget* parent = nullptr);
    ~CFinchImageDataDlg() override;

    void onCreated() override;
    void onActivated() override;
    void onShown() override;
    void onHidden() override;
    void onDestroyed() override;

    // Message 0x602 (and any other registered message) from the packet window.
    void handlePacket(uint32_t message, const VexPacket& packet);

    // Commands of the controls.
    void chooseView(int view);  // "Clean Data" / "AD Level"
    void shiftDown();           // "<"
    void shiftUp();             // ">"
    void resetController();     // "Reset Controller"
    void requestFullScreen();   // keys 'f' and 'F'
    void closeFullScreen();

    // Mouse input of the image frame, in frame coordinates.
    void frameClicked(Qt::MouseButton button, Qt::MouseButtons held, QPoint at, QSize frame);

    // Read access for tests and the screenshot tool.
    const finch::FinchFields& fields() const { return m_fields; }
    const finch::Selections& selections() const { return m_selections; }
    int yCount() const { return m_yCount; }  // as the image stream reported them
    int xCount() const { return m_xCount; }
    int pageYCount() const { return m_pageYCount; }  // the page-wide counts of the clicks
    int pageXCount() const { return m_pageXCount; }
    const finch::KestrelValues& kestrelValues() const { return m_kestrel; }
    const finch::SharedFinchImage& shared() const { return m_shared; }
    const finch::FinchDrawWorker* worker() const { return m_worker.get(); }
    CMyStatic* imageFrame() const { return m_image; }
    finch::FinchFullScreenView* fullScreenView() const { return m_fullScreen; }
    QLineEdit* thresholdBox() const { return m_thresholdBox; }
    QLabel* dataModeLabel() const { return m_dataModeLabel; }

    // Screenshot runs: the AD Level view with the threshold of the Kestrel
    // page and with a low one, a selected line, and both views full screen.
    // Shows view `index` of screenshotViewNames(); returns the window to grab.
    static QStringList screenshotViewNames();
    QWidget* showScreenshotView(int index);
    void endScreenshotViews();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void showFields();    // fields -> controls (and to the worker)
    void readControls();  // controls -> fields
    void publishSettings();
    void refreshKestrelValues();
    const KestrelParamSource* kestrel();
    void setCounts(int8_t yCount, int8_t xCount);
    void startImageStream();
    void switchModeWord(bool images);
    void stopWorker();
    void takeFrames();  // shows the worker's latest frames

    finch::FinchFields m_fields;
    finch::Selections m_selections;
    finch::KestrelValues m_kestrel;
    finch::ControllerKestrelValues m_controllerKestrel;  // when there is no Kestrel page
    int8_t m_yCount = 0;
    int8_t m_xCount = 0;
    int8_t m_pageYCount = 0;
    int8_t m_pageXCount = 0;
    bool m_created = false;
    bool m_firstActivation = true;
    bool m_showingFields = false;
    QString m_screenshotThreshold;  // the box before a screenshot run changed it

    finch::SharedFinchImage m_shared;
    host::PacketWindow m_packets;
    image::FrameSlot m_nextFrame;
    image::FrameSlot m_nextFullScreenFrame;
    QTimer m_frameTimer;
    QPointer<finch::FinchFullScreenView> m_fullScreen;
    // After what it uses, so that it is stopped first (the destructor
    // stops it explicitly as well).
    std::unique_ptr<finch::FinchDrawWorker> m_worker;

    CMyStatic* m_image = nullptr;
    QRadioButton* m_cleanRadio = nullptr;
    QRadioButton* m_adLevelRadio = nullptr;
    QLabel* m_dataModeLabel = nullptr;
    QLineEdit* m_thresholdBox = nullptr;
    QLineEdit* m_shiftBox = nullptr;
};

// Factory for the page table.
TunerPage* makeFinchImageDataPage(DeviceState& state);

}  // namespace lumora

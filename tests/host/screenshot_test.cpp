#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>
#include <memory>

#include "host/screenshot.h"
#include "tests/support/test_support.h"

namespace lumora::host {
namespace {

using lumora::test_support::app;

TEST(Screenshots, FilePartKeepsLettersAndDigits) {
    const struct {
        const char* caption;
        const char* part;
    } cases[] = {
        {"Draw Test", "Draw_Test"},
        {"Finch Image Data", "Finch_Image_Data"},
        {"PCB T1/T2", "PCB_T1_T2"},
        {"Analyze", "Analyze"},
    };
    for (const auto& c : cases) EXPECT_EQ(screenshotFilePart(c.caption), c.part) << c.caption;
}

TEST(Screenshots, OffWithoutTheFolderVariable) {
    app();
    unsetenv("LUMORA_SCREENSHOT_DIR");
    QDialog window;
    EXPECT_FALSE(scheduleScreenshots(&window, nullptr, "LumoraTuner"));
}

TEST(Screenshots, GrabsTheWindowAndEachTabThenCloses) {
    app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    setenv("LUMORA_SCREENSHOT_DIR", qPrintable(dir.path() + "/shots"), 1);
    setenv("LUMORA_SCREENSHOT_DELAY_MS", "10", 1);

    QDialog window;
    window.setWindowTitle("LumoraTuner_Release v2.3.2.6 for ZEMA- No-Link");
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget(&window);
    layout->addWidget(tabs);
    tabs->addTab(new QLabel("one"), "Raw Data");
    tabs->addTab(new QLabel("two"), "Image Data");
    window.resize(400, 300);

    ASSERT_TRUE(scheduleScreenshots(&window, tabs, "LumoraTuner"));
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a hang fails below instead
    window.show();
    loop.exec();
    unsetenv("LUMORA_SCREENSHOT_DIR");
    unsetenv("LUMORA_SCREENSHOT_DELAY_MS");

    EXPECT_FALSE(window.isVisible());
    const QDir shots(dir.path() + "/shots");
    EXPECT_EQ(shots.entryList({"*.png"}, QDir::Files, QDir::Name),
              QStringList({"LumoraTuner-0-window.png", "LumoraTuner-1-Raw_Data.png",
                           "LumoraTuner-2-Image_Data.png"}));
    const QImage image(shots.filePath("LumoraTuner-2-Image_Data.png"));
    ASSERT_FALSE(image.isNull());
    // The window below its title strip, nothing cut off.
    EXPECT_GE(image.width(), window.width());
    EXPECT_GT(image.height(), window.height());
    EXPECT_EQ(tabs->currentIndex(), 1);  // the last tab was selected for its grab
}

// A page with views of its own: one shown in the window, one in a window
// of its own.
class PageWithViews : public QLabel, public ScreenshotViews {
public:
    PageWithViews() : QLabel("views") {}
    QStringList screenshotViews() const override { return {"Other view", "Full screen"}; }
    QWidget* showScreenshotView(int index) override {
        shown << index;
        if (index == 0) return nullptr;
        separate = std::make_unique<QLabel>("separate");
        separate->resize(123, 45);
        separate->show();
        return separate.get();
    }
    void endScreenshotViews() override {
        ended = true;
        separate.reset();
    }
    QList<int> shown;
    bool ended = false;
    std::unique_ptr<QLabel> separate;
};

TEST(Screenshots, PagesNameFurtherViewsToGrab) {
    app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    setenv("LUMORA_SCREENSHOT_DIR", qPrintable(dir.path() + "/shots"), 1);
    setenv("LUMORA_SCREENSHOT_DELAY_MS", "10", 1);

    QDialog window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget(&window);
    layout->addWidget(tabs);
    // The page sits in a container, as the tuner's sheet holds its pages.
    auto* container = new QWidget;
    auto* page = new PageWithViews;
    (new QVBoxLayout(container))->addWidget(page);
    tabs->addTab(container, "Finch Image Data");
    tabs->addTab(new QLabel("two"), "Diagnostic");
    window.resize(400, 300);

    ASSERT_TRUE(scheduleScreenshots(&window, tabs, "LumoraTuner"));
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a hang fails below instead
    window.show();
    loop.exec();
    unsetenv("LUMORA_SCREENSHOT_DIR");
    unsetenv("LUMORA_SCREENSHOT_DELAY_MS");

    const QDir shots(dir.path() + "/shots");
    EXPECT_EQ(shots.entryList({"*.png"}, QDir::Files, QDir::Name),
              QStringList({"LumoraTuner-0-window.png", "LumoraTuner-1-Finch_Image_Data.png",
                           "LumoraTuner-1-Finch_Image_Data_Full_screen.png",
                           "LumoraTuner-1-Finch_Image_Data_Other_view.png",
                           "LumoraTuner-2-Diagnostic.png"}));
    EXPECT_EQ(page->shown, (QList<int>{0, 1}));
    EXPECT_TRUE(page->ended);
    // A window of its own is grabbed as it is, without the title strip.
    EXPECT_EQ(QImage(shots.filePath("LumoraTuner-1-Finch_Image_Data_Full_screen.png")).size(),
              QSize(123, 45));
    EXPECT_GT(QImage(shots.filePath("LumoraTuner-1-Finch_Image_Data_Other_view.png")).height(),
              window.height());
}

}  // namespace
}  // namespace lumora::host

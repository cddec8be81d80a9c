#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

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

// A dialog with a tab widget, screenshot variables that are unset again
// afterwards, and a run of the schedule until the window closes.
class ScreenshotRun : public ::testing::Test {
protected:
    ScreenshotRun() {
        app();
        auto* layout = new QVBoxLayout(&window);
        tabs = new QTabWidget(&window);
        layout->addWidget(tabs);
    }
    ~ScreenshotRun() override {
        for (const char* name : m_set) unsetenv(name);
    }
    // LUMORA_SCREENSHOT_DIR (under the temporary folder), a short delay, and
    // any further variables.
    void setUpRun(const QString& subFolder, std::initializer_list<std::pair<const char*, const char*>> more = {}) {
        ASSERT_TRUE(dir.isValid());
        set("LUMORA_SCREENSHOT_DIR", qPrintable(dir.path() + subFolder));
        set("LUMORA_SCREENSHOT_DELAY_MS", "10");
        for (auto [name, value] : more) set(name, value);
    }
    // Schedules the screenshots and runs until the window is finished (or
    // ten seconds have passed: a hang fails the test's checks instead).
    bool run(std::function<void()> finish = {}) {
        if (!scheduleScreenshots(&window, tabs, "LumoraTuner", std::move(finish))) return false;
        QEventLoop loop;
        QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        window.show();
        loop.exec();
        return true;
    }
    QStringList pngs(const QString& subFolder) const {
        return QDir(dir.path() + subFolder).entryList({"*.png"}, QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
    QDialog window;
    QTabWidget* tabs = nullptr;

private:
    void set(const char* name, const char* value) {
        setenv(name, value, 1);
        m_set.push_back(name);
    }
    std::vector<const char*> m_set;
};

TEST_F(ScreenshotRun, GrabsTheWindowAndEachTabThenCloses) {
    setUpRun("/shots");
    window.setWindowTitle("LumoraTuner_Release v2.3.2.6 for ZEMA- No-Link");
    tabs->addTab(new QLabel("one"), "Raw Data");
    tabs->addTab(new QLabel("two"), "Image Data");
    window.resize(400, 300);
    ASSERT_TRUE(run());

    EXPECT_FALSE(window.isVisible());
    const QDir shots(dir.path() + "/shots");
    EXPECT_EQ(pngs("/shots"), QStringList({"LumoraTuner-0-window.png", "LumoraTuner-1-Raw_Data.png",
                                           "LumoraTuner-2-Image_Data.png"}));
    const QImage image(shots.filePath("LumoraTuner-2-Image_Data.png"));
    ASSERT_FALSE(image.isNull());
    // The window below its title strip, nothing cut off.
    EXPECT_GE(image.width(), window.width());
    EXPECT_GT(image.height(), window.height());
    EXPECT_EQ(tabs->currentIndex(), 1);  // the last tab was selected for its grab
}

// A view other than the one a page starts with: the radio button named in
// LUMORA_SCREENSHOT_CHOOSE is chosen before the grab; a push button of the
// same caption is never pressed.
TEST_F(ScreenshotRun, ChoosesTheNamedRadioButtonsBeforeTheGrab) {
    setUpRun("", {{"LUMORA_SCREENSHOT_CHOOSE", "Stray Data;AD Level"}});
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    auto* clean = new QRadioButton("Clean Data", page);
    auto* stray = new QRadioButton("Stray Data", page);
    auto* command = new QPushButton("Stray Data", page);
    for (QWidget* w : std::initializer_list<QWidget*>{clean, stray, command}) pageLayout->addWidget(w);
    clean->setChecked(true);
    int commands = 0;
    QObject::connect(command, &QPushButton::clicked, [&] { ++commands; });
    bool strayAtGrab = false;
    tabs->addTab(page, "Raw Data");

    ASSERT_TRUE(run([&] {
        strayAtGrab = stray->isChecked();
        window.close();
    }));

    EXPECT_TRUE(strayAtGrab);
    EXPECT_FALSE(clean->isChecked());
    EXPECT_EQ(commands, 0);
}

// What a page shows only after a button press: the listed buttons of a tab
// are pressed after its grab, each followed by a grab of its own.
TEST_F(ScreenshotRun, PressesListedButtonsOfATabAndGrabsAfterEach) {
    setUpRun("", {{"LUMORA_SCREENSHOT_PRESS", "Diagnostic:Open Test,Missing;Other:Open Test"}});
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    auto* button = new QPushButton("Open Test", page);
    pageLayout->addWidget(button);
    int pressed = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++pressed; });
    tabs->addTab(page, "Diagnostic");
    window.resize(300, 200);
    ASSERT_TRUE(run());

    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(pngs(""), QStringList({"LumoraTuner-0-window.png", "LumoraTuner-1-Diagnostic.png",
                                     "LumoraTuner-1-Diagnostic_Missing.png",
                                     "LumoraTuner-1-Diagnostic_Open_Test.png"}));
}

// A page's further view (a full-screen window) is opened after its tab's
// grab, grabbed and closed again; a view that opens nothing is skipped.
TEST_F(ScreenshotRun, GrabsTheViewsAPageAdds) {
    setUpRun("/shots");
    auto* page = new QLabel("page");
    tabs->addTab(new QLabel("first"), "Parameters");
    tabs->addTab(page, "Draw Test");
    QLabel fullScreen("full screen");
    fullScreen.resize(320, 200);
    int opened = 0, closed = 0;
    addScreenshotView(page, "Full Screen",
                      [&]() -> QWidget* {
                          ++opened;
                          fullScreen.show();
                          return &fullScreen;
                      },
                      [&] {
                          ++closed;
                          fullScreen.hide();
                      });
    addScreenshotView(page, "Nothing", [] { return nullptr; }, [&] { ++closed; });
    window.resize(400, 300);
    ASSERT_TRUE(run());

    EXPECT_EQ(pngs("/shots"),
              QStringList({"LumoraTuner-0-window.png", "LumoraTuner-1-Parameters.png",
                           "LumoraTuner-2-Draw_Test-Full_Screen.png", "LumoraTuner-2-Draw_Test.png"}));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 2);
    EXPECT_FALSE(fullScreen.isVisible());
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace lumora::host

// The sheet's mapping of the page life cycle onto the TunerPage hooks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTabWidget>

#include <string>
#include <vector>

#include "tuner/app/device_state.h"
#include "tuner/app/tuner_page.h"
#include "tuner/app/tuner_sheet.h"
#include "tests/support/test_support.h"

namespace lumora {
namespace {

using lumora::test_support::app;

// Every hook of every page, in the order the sheet called them.
std::vector<std::string> g_log;

class LoggingPage : public TunerPage {
public:
    LoggingPage(DeviceState& state, const char* name) : TunerPage(state, name), m_name(name) {}
    ~LoggingPage() override { g_log.push_back(m_name + ":deleted"); }
    void onCreated() override { g_log.push_back(m_name + ":created"); }
    void onActivated() override { g_log.push_back(m_name + ":activated"); }
    void onShown() override {
        // Pages set activePage when shown; the visible page is the one
        // whose hooks ran last.
        g_log.push_back(m_name + (isVisible() ? ":shown" : ":shown-but-invisible"));
    }
    void onHidden() override { g_log.push_back(m_name + ":hidden"); }
    void onDestroyed() override { g_log.push_back(m_name + ":destroyed"); }

    void askToClose() { emit closeRequested(); }
    void askToQuit(int code) { emit quitRequested(code); }

private:
    std::string m_name;
};

TunerPage* makeA(DeviceState& s) { return new LoggingPage(s, "A"); }
TunerPage* makeB(DeviceState& s) { return new LoggingPage(s, "B"); }
TunerPage* makeC(DeviceState& s) { return new LoggingPage(s, "C"); }

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        g_log.clear();
    }
    std::vector<PageEntry> threePages() { return {{"Alpha", makeA}, {"Beta", makeB}, {"Gamma", makeC}}; }
    DeviceState state;
};

TEST_F(SheetTest, PagesAreMadeOnFirstSelectionOnly) {
    TunerSheet sheet(state, "title", threePages(), "unused");
    ASSERT_EQ(sheet.tabs()->count(), 3);
    EXPECT_EQ(sheet.tabs()->tabText(1), "Beta");
    EXPECT_TRUE(g_log.empty());  // nothing made before the sheet is shown

    sheet.show();
    EXPECT_EQ(g_log, (std::vector<std::string>{"A:created", "A:activated", "A:shown"}));
    EXPECT_EQ(sheet.page(1), nullptr);

    g_log.clear();
    sheet.tabs()->setCurrentIndex(2);
    // The old page lets go of the device before the new one takes it.
    EXPECT_EQ(g_log, (std::vector<std::string>{"A:hidden", "C:created", "C:activated", "C:shown"}));

    g_log.clear();
    sheet.tabs()->setCurrentIndex(0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"C:hidden", "A:activated", "A:shown"}));
    EXPECT_EQ(sheet.page(1), nullptr);  // Beta was never selected
}

TEST_F(SheetTest, ClosingHidesTheVisiblePageAndDestroysEveryMadePage) {
    {
        TunerSheet sheet(state, "title", threePages(), "unused");
        sheet.show();
        sheet.tabs()->setCurrentIndex(1);
        g_log.clear();
        sheet.reject();  // the window's close button
        EXPECT_EQ(g_log, (std::vector<std::string>{"B:hidden", "A:destroyed", "B:destroyed"}));
        EXPECT_FALSE(sheet.isVisible());
        g_log.clear();
    }
    // Hooks ran once; the pages are deleted with the sheet; C was never made.
    EXPECT_EQ(g_log, (std::vector<std::string>{"A:deleted", "B:deleted"}));
}

TEST_F(SheetTest, PageRequestsEndTheSheetOnceThePageHasReturned) {
    const struct {
        const char* name;
        bool quit;
        int code;
    } cases[] = {{"close", false, 0}, {"quit 0", true, 0}, {"quit 3", true, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_log.clear();
        TunerSheet sheet(state, "title", threePages(), "unused");
        sheet.show();
        auto* page = static_cast<LoggingPage*>(sheet.page(0));
        ASSERT_NE(page, nullptr);
        if (c.quit)
            page->askToQuit(c.code);
        else
            page->askToClose();
        // Nothing is torn down while the page's own handler runs.
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_EQ(g_log.back(), "A:shown");
        QCoreApplication::processEvents();
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(g_log.back(), "A:destroyed");
        EXPECT_EQ(sheet.quitCode().has_value(), c.quit);
        if (c.quit) {
            EXPECT_EQ(*sheet.quitCode(), c.code);
        }
    }
}

TEST_F(SheetTest, WithoutPagesShowsThePlaceholderUnderTheTitle) {
    TunerSheet sheet(state, "LumoraTuner_Release v2.3.2.6 for ZEMA- No-Link", {}, "No controller found.");
    sheet.show();
    EXPECT_EQ(sheet.windowTitle(), "LumoraTuner_Release v2.3.2.6 for ZEMA- No-Link");
    EXPECT_FALSE(sheet.tabs()->isVisible());
    const auto labels = sheet.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), "No controller found.");
    EXPECT_TRUE(labels[0]->isVisible());
    sheet.reject();
    EXPECT_TRUE(g_log.empty());
}

TEST_F(SheetTest, HasNoHelpButton) {
    TunerSheet sheet(state, "title", threePages(), "unused");
    EXPECT_FALSE(sheet.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_TRUE(sheet.isModal());
}

}  // namespace
}  // namespace lumora

// What the "Diagnostic" page keeps of its tests apart from its controls:
// the five result lists the item callbacks fill, the busy flag of the
// final-result handling, the stored result text, the graph series and the
// graph view. No widgets here, so a test drives it directly.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/test_records.h"
#include "tuner/diag/diag_lines.h"

namespace lumora::diag {

// Entries of a graph series: one per channel index.
constexpr int kSeriesLength = 128;

enum GraphView : int { kOpenView = 0, kADView = 1 };

// The five lists, one per item callback.
enum class ItemList { Open, Short, Mutual, MutualTable, ADLevel };

struct GraphSeries {
    std::array<int16_t, kSeriesLength> x{};
    std::array<int16_t, kSeriesLength> y{};
};

class DiagModel {
public:
    // The page's first showing: lists emptied, series zeroed, open view,
    // empty text, not busy.
    void reset();

    void addItem(ItemList list, const CTestResult& item);
    const std::vector<CTestResult>& items(ItemList list) const;

    // A test start empties the stored text (the box keeps showing the old
    // one until a result arrives). "Open Test" switches to the open view,
    // "ADLevel Test" to the AD view; the others leave the view as it is.
    void startTest(DiagTest test);

    // "Clean Screen": every series zeroed and the stored text emptied.
    void cleanScreen();

    // What the page does while a final result is handled, in this order:
    // put the text into the box, then (after the lists were emptied)
    // re-enable the test buttons, "ADLevel Test" only when asked.
    struct FinalSteps {
        std::function<void(const QString& text)> showText;
        std::function<void(bool adLevelEnabled)> enableTests;
    };

    // A final result with its overall result. Dropped (false returned) while
    // another final result is being handled: its items stay listed for the
    // next final result of the same test. The open test also writes each
    // listed value into the series of its axis; an index past the 128
    // entries is not written.
    bool handleFinal(DiagTest test, int overall, Flavour flavour, const DiagSettings& settings,
                     const FinalSteps& steps);

    bool busy() const { return m_busy; }
    const QString& resultText() const { return m_text; }
    int view() const { return m_view; }
    const GraphSeries& openSeries() const { return m_openSeries; }
    // The AD view's series: no test fills it, so the view stays flat.
    const GraphSeries& adSeries() const {
        static const GraphSeries kFlat{};
        return kFlat;
    }

private:
    std::vector<CTestResult>& list(ItemList list);
    void writeOpenSeries(const std::vector<CTestResult>& items);

    std::array<std::vector<CTestResult>, 5> m_lists;
    bool m_busy = false;
    QString m_text;
    int m_view = kOpenView;
    GraphSeries m_openSeries;
};

}  // namespace lumora::diag

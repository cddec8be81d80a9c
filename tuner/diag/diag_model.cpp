#include "tuner/diag/diag_model.h"

namespace lumora::diag {

namespace {

ItemList listOf(DiagTest test) {
    switch (test) {
    case DiagTest::Open: return ItemList::Open;
    case DiagTest::Short: return ItemList::Short;
    case DiagTest::Mutual: return ItemList::Mutual;
    case DiagTest::ADLevel: return ItemList::ADLevel;
    }
    return ItemList::Open;
}

}  // namespace

void DiagModel::reset() {
    for (auto& l : m_lists) l.clear();
    m_busy = false;
    m_text.clear();
    m_view = kOpenView;
    m_openSeries = {};
}

std::vector<CTestResult>& DiagModel::list(ItemList list) { return m_lists[static_cast<size_t>(list)]; }

const std::vector<CTestResult>& DiagModel::items(ItemList list) const {
    return m_lists[static_cast<size_t>(list)];
}

void DiagModel::addItem(ItemList l, const CTestResult& item) { list(l).push_back(item); }

void DiagModel::startTest(DiagTest test) {
    m_text.clear();
    if (test == DiagTest::Open) m_view = kOpenView;
    if (test == DiagTest::ADLevel) m_view = kADView;
}

void DiagModel::cleanScreen() {
    m_openSeries = {};
    m_text.clear();
}

void DiagModel::writeOpenSeries(const std::vector<CTestResult>& items) {
    for (const CTestResult& item : items) {
        // The series hold 128 channels; a controller reporting an index
        // beyond them must not write past the end.
        if (item.firstIndex < 0 || item.firstIndex >= kSeriesLength) continue;
        auto& series = item.firstAxis == kAxisY ? m_openSeries.y : m_openSeries.x;
        series[static_cast<size_t>(item.firstIndex)] = item.value;
    }
}

bool DiagModel::handleFinal(DiagTest test, int overall, Flavour flavour,
                            const DiagSettings& settings, const FinalSteps& steps) {
    if (m_busy) return false;
    m_busy = true;
    std::vector<CTestResult>& items = list(listOf(test));
    std::vector<CTestResult>& table = list(ItemList::MutualTable);
    const QString text = finalResultText(test, items, table, overall, flavour, settings);
    // The summary replaces the box's text; a listing adds to the stored text,
    // which the test's start emptied.
    m_text = showsSummary(test, items, table, settings.selection) ? text : m_text + text;
    if (test == DiagTest::Open) writeOpenSeries(items);
    if (steps.showText) steps.showText(m_text);
    items.clear();
    if (test == DiagTest::Mutual) table.clear();
    if (steps.enableTests) steps.enableTests(test != DiagTest::Mutual);
    m_busy = false;
    return true;
}

}  // namespace lumora::diag

// The tuner's one window: a dialog with a tab per page and no Help, OK or
// Cancel button (closing the window ends the program). It maps the
// property-page life cycle onto the TunerPage hooks:
//   - a page is made (factory) and gets onCreated() the first time its tab
//     is selected; the first tab is selected when the sheet is first shown;
//   - on a tab change the old page gets onHidden() first (its registrations
//     and stream end before the new page starts its own), then the new page
//     gets onActivated() and onShown();
//   - when the sheet closes, the visible page gets onHidden() and every page
//     made so far gets onDestroyed(); the pages are deleted with the sheet.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "tuner/app/page_table.h"

class QLabel;
class QTabWidget;

namespace lumora {

class TunerPage;

class TunerSheet : public QDialog {
    Q_OBJECT
public:
    // With no pages the sheet shows `placeholderText` instead of tabs.
    TunerSheet(DeviceState& state, const QString& title, std::vector<PageEntry> pages,
               const QString& placeholderText, QWidget* parent = nullptr);
    ~TunerSheet() override;

    QTabWidget* tabs() const { return m_tabs; }
    int pageCount() const { return int(m_entries.size()); }
    // The page of a tab, or nullptr while it has not been made.
    TunerPage* page(int index) const;
    // Set when a page ended the program (quitRequested).
    std::optional<int> quitCode() const { return m_quitCode; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void select(int index);
    TunerPage* ensureCreated(int index);
    void closeLater();
    void tearDown();

    DeviceState& m_state;
    std::vector<PageEntry> m_entries;
    std::vector<TunerPage*> m_pages;    // parallel to m_entries; null until made
    std::vector<QWidget*> m_containers; // the tab widgets that hold the pages
    QTabWidget* m_tabs = nullptr;
    QLabel* m_placeholder = nullptr;
    int m_current = -1;
    bool m_started = false;
    bool m_tornDown = false;
    std::optional<int> m_quitCode;
};

}  // namespace lumora

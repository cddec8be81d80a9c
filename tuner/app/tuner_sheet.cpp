#include "tuner/app/tuner_sheet.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "tuner/app/tuner_page.h"

namespace lumora {

TunerSheet::TunerSheet(DeviceState& state, const QString& title, std::vector<PageEntry> pages,
                       const QString& placeholderText, QWidget* parent)
    : QDialog(parent), m_state(state), m_entries(std::move(pages)) {
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    layout->addWidget(m_tabs);
    m_pages.assign(m_entries.size(), nullptr);
    for (const PageEntry& entry : m_entries) {
        auto* container = new QWidget(m_tabs);
        auto* containerLayout = new QVBoxLayout(container);
        containerLayout->setContentsMargins(0, 0, 0, 0);
        m_containers.push_back(container);
        m_tabs->addTab(container, QString::fromLatin1(entry.caption));
    }

    // The configurations without device pages (boot loader, type code 5,
    // unknown codes, no controller) still open the window with its title; it
    // shows one line that says why there is nothing to tune.
    if (m_entries.empty()) {
        m_tabs->hide();
        m_placeholder = new QLabel(placeholderText, this);
        m_placeholder->setAlignment(Qt::AlignCenter);
        m_placeholder->setWordWrap(true);
        m_placeholder->setMinimumSize(560, 320);
        layout->addWidget(m_placeholder);
    }

    // Connected after the tabs were added: the first selection happens when
    // the sheet is first shown, not while it is being built.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        // Once a page has ended the program no other page may start.
        if (m_started && !m_tornDown && !m_quitCode) select(index);
    });
}

TunerSheet::~TunerSheet() { tearDown(); }

TunerPage* TunerSheet::page(int index) const {
    return index >= 0 && index < int(m_pages.size()) ? m_pages[size_t(index)] : nullptr;
}

void TunerSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started || m_tornDown) return;
    m_started = true;
    if (!m_entries.empty()) select(m_tabs->currentIndex());
}

TunerPage* TunerSheet::ensureCreated(int index) {
    TunerPage*& page = m_pages[size_t(index)];
    if (page) return page;
    page = m_entries[size_t(index)].factory(m_state);
    if (!page) return nullptr;
    m_containers[size_t(index)]->layout()->addWidget(page);
    // A widget added to a visible parent would only show from the event
    // loop; the page must be visible by the time it hears onShown().
    page->show();
    // A page asks from inside its own handlers; closing is queued so that
    // the page is never torn down while one of its methods still runs.
    connect(page, &TunerPage::closeRequested, this, &TunerSheet::closeLater);
    connect(page, &TunerPage::quitRequested, this, [this](int exitCode) {
        if (!m_quitCode) m_quitCode = exitCode;
        closeLater();
    });
    page->onCreated();
    // Pages are made lazily, so the sheet grows to a page that needs more
    // room than the pages before it.
    const QSize wanted = sizeHint().expandedTo(size());
    if (wanted != size()) resize(wanted);
    return page;
}

void TunerSheet::select(int index) {
    if (index < 0 || index >= int(m_entries.size()) || index == m_current) return;
    if (TunerPage* old = page(m_current)) old->onHidden();
    m_current = index;
    if (TunerPage* now = ensureCreated(index)) {
        now->onActivated();
        now->onShown();
    }
}

void TunerSheet::closeLater() {
    QMetaObject::invokeMethod(this, [this] { reject(); }, Qt::QueuedConnection);
}

void TunerSheet::done(int result) {
    tearDown();
    QDialog::done(result);
}

void TunerSheet::tearDown() {
    if (m_tornDown) return;
    m_tornDown = true;
    if (TunerPage* visible = page(m_current)) visible->onHidden();
    for (TunerPage* p : m_pages)
        if (p) p->onDestroyed();
}

}  // namespace lumora

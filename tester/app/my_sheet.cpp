#include "tester/app/my_sheet.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "tester/app/test_page.h"

namespace lumora::tester {

CMySheet::CMySheet(CTestPage* page, QWidget* parent) : QDialog(parent), m_page(page) {
    setWindowTitle(QStringLiteral("LumoraTester"));
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(page, QStringLiteral("Auto Test"));
    // Plain buttons rather than a button box, which would make OK the
    // default button when shown: Enter is the page's ("Start Test"), never
    // the sheet's.
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* b : {m_ok, m_cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(page, &CTestPage::titleChanged, this, &QWidget::setWindowTitle);
    // Queued: the handler that asked for the end finishes first, then the
    // window closes and the exit sequence runs.
    connect(
        page, &CTestPage::quitRequested, this,
        [this](int exitCode) {
            m_quitCode = exitCode;
            done(kEndedByProgram);
        },
        Qt::QueuedConnection);
}

CMySheet::~CMySheet() { m_page->shutdown(); }

QPushButton* CMySheet::okButton() const { return m_ok; }
QPushButton* CMySheet::cancelButton() const { return m_cancel; }

void CMySheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) return;
    m_started = true;
    // Initialise once the window is on screen, so that a message raised by
    // the first search stands in front of it.
    QTimer::singleShot(0, m_page, &CTestPage::initialise);
    m_page->setFocus();
}

void CMySheet::done(int result) {
    // The exit sequence runs when the window goes, before the program ends.
    m_page->shutdown();
    QDialog::done(result);
}

int exitCodeForSheetResult(int result, int storedExitCode) {
    if (result == QDialog::Accepted) return 2;
    if (result == QDialog::Rejected) return 3;
    return storedExitCode;
}

}  // namespace lumora::tester

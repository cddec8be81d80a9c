#include "tester/my_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "tester/test_page.h"

namespace lumora::tester {

CMySheet::CMySheet(CTestPage* page, QWidget* parent) : QDialog(parent), m_page(page) {
    setWindowTitle(QStringLiteral("LumoraTester"));
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(page, QStringLiteral("Auto Test"));
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // Enter is the page's ("Start Test"), never the sheet's default button.
    for (QAbstractButton* b : m_buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(b)) {
            push->setAutoDefault(false);
            push->setDefault(false);
        }
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);

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

QPushButton* CMySheet::okButton() const { return m_buttons->button(QDialogButtonBox::Ok); }
QPushButton* CMySheet::cancelButton() const { return m_buttons->button(QDialogButtonBox::Cancel); }

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

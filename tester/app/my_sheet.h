// CMySheet: the tester's window, a tabbed dialog with the one page
// "Auto Test" and OK and Cancel (no Apply, no Help).
#pragma once

#include <QDialog>
#include <optional>

class QPushButton;
class QTabWidget;

namespace lumora::tester {

class CTestPage;

class CMySheet : public QDialog {
    Q_OBJECT
public:
    // The dialog result when the program ended the window itself.
    static constexpr int kEndedByProgram = 100;

    explicit CMySheet(CTestPage* page, QWidget* parent = nullptr);
    ~CMySheet() override;

    CTestPage* page() const { return m_page; }
    QTabWidget* tabs() const { return m_tabs; }
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;
    // The exit code the page asked for when it ended the program.
    std::optional<int> quitCode() const { return m_quitCode; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CTestPage* m_page = nullptr;
    QTabWidget* m_tabs = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::optional<int> m_quitCode;
    bool m_started = false;
};

// Exit code of the program for the way the sheet closed: 2 for OK, 3 for
// Cancel or the close box, else the code stored when the program ended it.
int exitCodeForSheetResult(int result, int storedExitCode);

}  // namespace lumora::tester

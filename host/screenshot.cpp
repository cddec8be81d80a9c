#include "host/screenshot.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace lumora::host {
namespace {

constexpr int kDefaultDelayMs = 1500;

// The grabbed window below a strip that shows its title; the strip is as wide
// as the title needs so that a long title is never cut.
QImage withTitleStrip(const QWidget& window, const QPixmap& grab) {
    const QFont font = window.font();
    const QFontMetrics metrics(font);
    const QString title = window.windowTitle();
    const int stripHeight = metrics.height() + 10;
    const int width = std::max(grab.width(), metrics.horizontalAdvance(title) + 20);
    QImage image(width, grab.height() + stripHeight, QImage::Format_RGB32);
    image.fill(window.palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.fillRect(0, 0, width, stripHeight, window.palette().color(QPalette::Highlight));
    painter.setPen(window.palette().color(QPalette::HighlightedText));
    painter.setFont(font);
    painter.drawText(QRect(10, 0, width - 10, stripHeight), Qt::AlignVCenter | Qt::AlignLeft, title);
    painter.drawPixmap(0, stripHeight, grab);
    painter.end();
    return image;
}

QString screenshotDir() { return qEnvironmentVariable("LUMORA_SCREENSHOT_DIR"); }

// LUMORA_SCREENSHOT_CHOOSE: radio buttons (by caption, separated by ';') to
// choose on each page before it is grabbed, for a view other than the one a
// page starts with ("Stray Data"). Only radio buttons: choosing one changes
// a view, never starts a command.
void chooseRadioButtons(QWidget* page) {
    if (!page) return;
    const QStringList captions =
        qEnvironmentVariable("LUMORA_SCREENSHOT_CHOOSE").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QRadioButton* radio : page->findChildren<QRadioButton*>())
        if (captions.contains(radio->text()) && radio->isEnabled()) radio->click();
}

int screenshotDelayMs() {
    bool ok = false;
    const int delay = qEnvironmentVariableIntValue("LUMORA_SCREENSHOT_DELAY_MS", &ok);
    return ok && delay >= 0 ? delay : kDefaultDelayMs;
}

QString programName() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("program") : name;
}

void saveShot(QWidget& window, const QString& path) {
    const QImage image = withTitleStrip(window, window.grab());
    if (image.save(path, "PNG"))
        std::fprintf(stderr, "screenshot: %s\n", qPrintable(QDir::toNativeSeparators(path)));
    else
        std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(QDir::toNativeSeparators(path)));
}

struct ScreenshotRun {
    QPointer<QWidget> window;
    QPointer<QTabWidget> tabs;
    QString dir;
    QString program;
    int delayMs = kDefaultDelayMs;
    std::function<void()> finish;

    void save(int n, const QString& what) {
        if (!window) return;
        saveShot(*window, QDir(dir).filePath(
                              QStringLiteral("%1-%2-%3.png").arg(program).arg(n).arg(screenshotFilePart(what))));
    }
};

void step(const std::shared_ptr<ScreenshotRun>& s, int tab) {
    if (!s->window || !s->window->isVisible()) return;
    // A person cannot change tabs while a message box is up: wait for it to
    // be answered (its own grab answers it), as they would.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != s->window) {
        QTimer::singleShot(s->delayMs, s->window, [s, tab] { step(s, tab); });
        return;
    }
    if (s->tabs && tab < s->tabs->count()) {
        s->tabs->setCurrentIndex(tab);
        chooseRadioButtons(s->tabs->widget(tab));
        QTimer::singleShot(s->delayMs, s->window, [s, tab] {
            if (!s->tabs) return;
            s->save(tab + 1, s->tabs->tabText(tab));
            step(s, tab + 1);
        });
        return;
    }
    if (s->finish)
        s->finish();
    else
        s->window->close();
}

}  // namespace

QString screenshotFilePart(const QString& caption) {
    QString part;
    part.reserve(caption.size());
    for (const QChar c : caption) part.append(c.isLetterOrNumber() && c.unicode() < 128 ? c : QChar('_'));
    return part;
}

bool scheduleScreenshots(QWidget* window, QTabWidget* tabs, const QString& program,
                         std::function<void()> finish) {
    const QString dir = screenshotDir();
    if (dir.isEmpty() || !window) return false;
    QDir().mkpath(dir);
    auto s = std::make_shared<ScreenshotRun>();
    s->window = window;
    s->tabs = tabs;
    s->dir = dir;
    s->program = program;
    s->finish = std::move(finish);
    s->delayMs = screenshotDelayMs();
    // The first grab waits the delay after the event loop starts, so the
    // window has been shown and its first page has drawn.
    QTimer::singleShot(s->delayMs, window, [s] {
        s->save(0, QStringLiteral("window"));
        step(s, 0);
    });
    return true;
}

bool scheduleMessageBoxScreenshot(QWidget* box, std::function<void()> answer) {
    const QString dir = screenshotDir();
    if (dir.isEmpty() || !box) return false;
    QDir().mkpath(dir);
    static int count = 0;
    const int n = ++count;
    QPointer<QWidget> guard(box);
    QTimer::singleShot(screenshotDelayMs(), box, [guard, dir, n, answer = std::move(answer)] {
        if (!guard) return;
        saveShot(*guard, QDir(dir).filePath(QStringLiteral("%1-message-%2.png").arg(programName()).arg(n)));
        answer();
    });
    return true;
}

}  // namespace lumora::host

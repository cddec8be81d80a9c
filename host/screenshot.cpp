#include "host/screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QRadioButton>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <vector>

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
    // The title goes with the file name, so that a run's log says which
    // window was grabbed (and scripts can check it without reading pixels).
    if (image.save(path, "PNG"))
        std::fprintf(stderr, "screenshot: %s title \"%s\"\n", qPrintable(QDir::toNativeSeparators(path)),
                     window.windowTitle().toUtf8().constData());
    else
        std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(QDir::toNativeSeparators(path)));
}

// LUMORA_SCREENSHOT_PRESS: entries "<tab caption>:<button>,<button>..."
// separated by ';'. The named buttons of that tab are pressed one by one
// after its grab, each followed by a grab of its own, so that what a page
// only shows after a button press (test results, graphs) can be looked at.
QHash<QString, QStringList> buttonsToPress() {
    QHash<QString, QStringList> out;
    const QString list = qEnvironmentVariable("LUMORA_SCREENSHOT_PRESS");
    for (const QString& entry : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            std::fprintf(stderr, "screenshot: LUMORA_SCREENSHOT_PRESS entry \"%s\" needs <tab>:<button>\n",
                         qPrintable(entry));
            continue;
        }
        QStringList& buttons = out[entry.left(colon).trimmed()];
        for (const QString& b : entry.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            buttons << b.trimmed();
    }
    return out;
}

struct ScreenshotRun {
    QPointer<QWidget> window;
    QPointer<QTabWidget> tabs;
    QString dir;
    QString program;
    int delayMs = kDefaultDelayMs;
    std::function<void()> finish;
    QHash<QString, QStringList> presses;

    void save(int n, const QString& what) {
        if (!window) return;
        saveShot(*window, QDir(dir).filePath(
                              QStringLiteral("%1-%2-%3.png").arg(program).arg(n).arg(screenshotFilePart(what))));
    }
};

// The views pages added (addScreenshotView), grabbed after their tab.
struct PageView {
    QPointer<QWidget> page;
    QString name;
    std::function<QWidget*()> open;
    std::function<void()> close;
};
std::vector<PageView>& pageViews() {
    static std::vector<PageView> views;
    return views;
}

void step(const std::shared_ptr<ScreenshotRun>& s, int tab);

// Opens, grabs and closes the views of the pages in `tab` from `index` on,
// one per delay, then goes on with the next tab.
void stepViews(const std::shared_ptr<ScreenshotRun>& s, int tab, size_t index) {
    QWidget* holder = s->tabs ? s->tabs->widget(tab) : nullptr;
    auto& views = pageViews();
    for (; index < views.size(); ++index) {
        const PageView& v = views[index];
        if (holder && v.page && (v.page == holder || holder->isAncestorOf(v.page))) break;
    }
    if (!holder || index >= views.size()) {
        step(s, tab + 1);
        return;
    }
    QPointer<QWidget> opened = views[index].open();
    QTimer::singleShot(s->delayMs, s->window, [s, tab, index, opened] {
        if (!s->tabs) return;
        const PageView& v = pageViews()[index];
        if (opened)
            saveShot(*opened, QDir(s->dir).filePath(QStringLiteral("%1-%2-%3-%4.png")
                                                        .arg(s->program)
                                                        .arg(tab + 1)
                                                        .arg(screenshotFilePart(s->tabs->tabText(tab)),
                                                             screenshotFilePart(v.name))));
        if (v.page && v.close) v.close();
        stepViews(s, tab, index + 1);
    });
}

// Presses the tab's next listed button, waits and grabs; then the next one,
// and after the last the views the page adds.
void press(const std::shared_ptr<ScreenshotRun>& s, int tab, int index) {
    if (!s->window || !s->window->isVisible() || !s->tabs) return;
    const QString caption = s->tabs->tabText(tab);
    const QStringList buttons = s->presses.value(caption);
    if (index >= buttons.size()) {
        stepViews(s, tab, 0);
        return;
    }
    const QString name = buttons[index];
    QAbstractButton* target = nullptr;
    if (QWidget* page = s->tabs->widget(tab))
        for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
            if (b->text() == name) target = b;
    if (target && target->isEnabled())
        target->click();
    else
        std::fprintf(stderr, "screenshot: no enabled button \"%s\" on \"%s\"\n", qPrintable(name),
                     qPrintable(caption));
    QTimer::singleShot(s->delayMs, s->window, [s, tab, index, caption, name] {
        s->save(tab + 1, caption + QLatin1Char('-') + name);
        press(s, tab, index + 1);
    });
}

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
            press(s, tab, 0);
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
    s->presses = buttonsToPress();
    // The first grab waits the delay after the event loop starts, so the
    // window has been shown and its first page has drawn.
    QTimer::singleShot(s->delayMs, window, [s] {
        s->save(0, QStringLiteral("window"));
        step(s, 0);
    });
    return true;
}

void addScreenshotView(QWidget* page, const QString& name, std::function<QWidget*()> open,
                       std::function<void()> close) {
    if (screenshotDir().isEmpty() || !page || !open) return;
    pageViews().push_back({page, name, std::move(open), std::move(close)});
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

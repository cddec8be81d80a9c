// Screenshots of a program's window for the documentation and for review
// (scripts/screenshots.sh). Off unless LUMORA_SCREENSHOT_DIR is set.
#pragma once

#include <QString>
#include <functional>

class QTabWidget;
class QWidget;

namespace lumora::host {

// When LUMORA_SCREENSHOT_DIR names a folder: once the event loop runs, waits
// LUMORA_SCREENSHOT_DELAY_MS (default 1500) and grabs `window` into
// <dir>/<program>-0-window.png, then selects each tab of `tabs` in turn
// (tabs may be null), waits the same delay and grabs <dir>/<program>-<n>-
// <caption>.png with n counting tabs from 1, and finally calls `finish`
// (default: window->close()). Each image carries a strip above the window
// with its title, since a window grab holds no title bar.
// LUMORA_SCREENSHOT_PRESS ("<tab caption>:<button>,<button>...", entries
// separated by ';') presses those buttons of that tab one by one after its
// grab, each followed by the delay and a grab <dir>/<program>-<n>-<caption>_
// <button>.png. Radio buttons named in LUMORA_SCREENSHOT_CHOOSE (captions
// separated by ';') are chosen on each page before its grab. Returns whether
// screenshots were scheduled.
bool scheduleScreenshots(QWidget* window, QTabWidget* tabs, const QString& program,
                         std::function<void()> finish = {});

// Message boxes under LUMORA_SCREENSHOT_DIR: the box is grabbed into
// <dir>/<program>-message-<n>.png after the delay and then answered with
// Ok or Yes, so that an unattended run never waits for a click.
// Returns whether the box will be grabbed and answered.
bool scheduleMessageBoxScreenshot(QWidget* box, std::function<void()> answer);

// A further view of a page for the screenshot run, such as a full-screen
// window: after the tab that holds `page` is grabbed, `open` is called and
// the window it returns (none: nothing is grabbed) is grabbed after the delay
// into <dir>/<program>-<n>-<caption>-<name>.png; then `close` is called.
// Does nothing unless LUMORA_SCREENSHOT_DIR is set.
void addScreenshotView(QWidget* page, const QString& name, std::function<QWidget*()> open,
                       std::function<void()> close);

// The file name part of a tab caption: letters and digits kept, any other
// character becomes '_' ("Draw Test" -> "Draw_Test").
QString screenshotFilePart(const QString& caption);

}  // namespace lumora::host

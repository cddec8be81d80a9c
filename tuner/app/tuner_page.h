// Base of every page of the tuner's sheet. The sheet maps the property-page
// life cycle onto these hooks, all called on the GUI thread:
//   created   - the first time the page's tab is selected (the page builds
//               its controls lazily here or in its constructor)
//   activated - the page's tab is about to become the current one
//   shown     - the page became the visible page
//   hidden    - another tab was selected (called on the old page before the
//               new page is activated), or the sheet closes while this page
//               is the visible one
//   destroyed - the sheet closes (before the page is deleted)
// closeRequested and quitRequested are acted on once the page's handler has
// returned, so a page may emit them from anywhere.
#pragma once

#include <QString>
#include <QWidget>

namespace lumora {

struct DeviceState;

// Gives a control its object name and returns it: the tests and the
// screenshot runs find a page's controls by these names.
template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

class TunerPage : public QWidget {
    Q_OBJECT
public:
    TunerPage(DeviceState& state, const QString& caption, QWidget* parent = nullptr)
        : QWidget(parent), m_state(state), m_caption(caption) {}

    const QString& caption() const { return m_caption; }
    DeviceState& state() { return m_state; }

    virtual void onCreated() {}
    virtual void onActivated() {}
    virtual void onShown() {}
    virtual void onHidden() {}
    virtual void onDestroyed() {}

signals:
    // The page asks the sheet to close (e.g. the stream could not start).
    void closeRequested();
    // The page ends the program with this exit code (end packet, fatal failure).
    void quitRequested(int exitCode);

private:
    DeviceState& m_state;
    QString m_caption;
};

}  // namespace lumora

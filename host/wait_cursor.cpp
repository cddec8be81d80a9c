#include "host/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace lumora::host {

// Without a GUI application (a test of plain logic) there is no cursor to set.
WaitCursor::WaitCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_set = true;
    }
}

WaitCursor::~WaitCursor() {
    if (m_set && QCoreApplication::instance()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace lumora::host

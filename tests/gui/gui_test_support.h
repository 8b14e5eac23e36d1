// Shared set-up of the GUI tests: one offscreen QApplication for the whole run.
#pragma once

#include <QApplication>

namespace orvel::gui::test {

// The application object, created on first use with the offscreen platform unless another
// platform was asked for.
QApplication& app();

// Runs the event loop for up to `ms` or until `done` returns true.
template <class F>
bool spin_until(F done, int ms = 2000);

}  // namespace orvel::gui::test

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

template <class F>
bool orvel::gui::test::spin_until(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// One QApplication for a GoogleTest program, made on first use on the main thread, on the
// offscreen platform unless the environment names another.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <functional>

namespace ostrel::test {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "ostrel-test";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: tearing Qt down among the other static destructors at exit crashes.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// As a test fixture's first member, makes the application before the fixture's widgets.
struct QtAppFirst {
    QtAppFirst() { qtApp(); }
};

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
inline bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

}  // namespace ostrel::test

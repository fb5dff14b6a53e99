#include "phone/ui/WorkerWait.h"

#include <QApplication>
#include <QLabel>
#include <QThread>
#include <QVBoxLayout>

#include "sync/CWorkerThread.h"

namespace ostrel::phone {

bool runWhileDispatching(const std::string& threadName, std::function<void()> work,
                         const std::function<void()>& poll) {
    sync::CWorkerThread thread(
        [&work](void*) -> uint32_t {
            work();
            return 0;
        },
        nullptr, threadName);
    if (!thread.Start(false)) {
        return false;
    }
    // Wait ends in Signaled or, once the thread has already ended, Failed; both reap it.
    while (thread.Wait(0) == sync::WaitResult::TimedOut) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        if (poll) {
            poll();
        }
        QThread::msleep(1);
    }
    return true;
}

QWidget* makeWaitWindow(QWidget* parent, const QString& text) {
    auto* window = new QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QLabel(text, window));
    window->setObjectName(QStringLiteral("waitWindow"));
    return window;
}

}  // namespace ostrel::phone

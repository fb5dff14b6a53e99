// Telephone calls, window side: running a blocking job on a named worker thread while the
// window thread keeps dispatching its events, so the window stays responsive (and can cancel)
// during a gateway lookup or a card upload.
#pragma once

#include <functional>
#include <string>

#include <QString>

class QWidget;

namespace ostrel::phone {

// Runs `work` on a thread named `threadName` and processes the window's events until it has
// ended, calling `poll` (if given) every millisecond or so on the window thread. False when
// the thread could not be started (then `work` did not run).
bool runWhileDispatching(const std::string& threadName, std::function<void()> work,
                         const std::function<void()>& poll = {});

// A small frameless window with one line of text, shown while an upload runs.
QWidget* makeWaitWindow(QWidget* parent, const QString& text);

}  // namespace ostrel::phone

// The Ostrel client program.
#include <QApplication>

#include <string>
#include <vector>

#include "app/ui/OstrelApplication.h"
#include "fault/CrashHandler.h"

int main(int argc, char** argv) {
    // First of all, so that a fault anywhere below leaves a report.
    static ostrel::fault::CrashHandler crashHandler;
    crashHandler.install();

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvero"));
    // Closing the window only hides it; the program ends through Exit.
    QApplication::setQuitOnLastWindowClosed(false);

    ostrel::app::OstrelApplication::Options options;
    for (int i = 1; i < argc; ++i) {
        options.arguments.emplace_back(argv[i]);
    }
    options.crashHandler = &crashHandler;
    ostrel::app::OstrelApplication client(std::move(options));
    if (!client.initialise()) {
        return 0;
    }
    client.exitOnTerminationSignals();
    return application.exec();
}

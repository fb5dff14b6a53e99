// ferrule: the problem reporter the client's crash handler starts after a crash.
#include <QApplication>

#include <string>
#include <vector>

#include "reporter/CFerruleDlg.h"
#include "reporter/ClientLauncher.h"
#include "reporter/ReportText.h"
#include "reporter/ReporterSwitches.h"

int main(int argc, char** argv) {
    using namespace ostrel::reporter;
    unblockAllSignals();
    // Read before QApplication, which takes the options it knows out of argv.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ReporterSwitches switches = parseReporterSwitches(arguments);
    const std::string reportText = buildReportText(currentSystemInfo(), switches.reportFile);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Talvero");
    CFerruleDlg dialog(switches, reportText);
    dialog.exec();
    return 0;
}

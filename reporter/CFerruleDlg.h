// Problem reporter: ferrule's main dialog "Talvero - Send problem report". It tells the user
// the client had to close, shows the report on request, sends it on a thread of its own while
// it keeps dispatching events, and starts the client again. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "reporter/CHyperlinkLabel.h"
#include "reporter/ProblemReportPoster.h"
#include "reporter/ReporterSwitches.h"
#include "webservice/HttpRequester.h"

namespace ostrel::reporter {

struct FerruleDialogOptions {
    // Starts the client from its path; true when it started. Default: startClient.
    std::function<bool(const std::string&)> startClient;
    uint32_t timeoutSeconds = kReportTimeoutSeconds;
    webservice::HttpRequesterOptions requesterOptions;
};

class CFerruleDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Talvero - Send problem report";

    CFerruleDlg(ReporterSwitches switches, std::string reportText,
                FerruleDialogOptions options = {}, QWidget* parent = nullptr);
    ~CFerruleDlg() override;

    QLabel* headline() const { return headline_; }
    QCheckBox* restartBox() const { return restart_; }
    CHyperlinkLabel* reportLink() const { return link_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* dontSendButton() const { return dontSend_; }
    bool isSending() const { return sending_; }

public slots:
    // "Send Problem Report": posts the report, shows the outcome, restarts, closes.
    void sendReport();
    // "Dont Send": restarts if asked and closes; the server is never contacted.
    void dontSend();
    // The "here" link: the report viewer, modal.
    void showReport();

protected:
    // Escape and the close button answer like "Dont Send", except while the report is going.
    void reject() override;

private:
    void restartClientIfAsked();

    ReporterSwitches switches_;
    std::string reportText_;
    FerruleDialogOptions options_;
    bool sending_ = false;

    QLabel* headline_;
    QCheckBox* restart_;
    CHyperlinkLabel* link_;
    QPushButton* send_;
    QPushButton* dontSend_;
};

}  // namespace ostrel::reporter

#include "netconfig/ui/CMyPropertySheet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace ostrel::netconfig {

namespace {

QString text(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string plain(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

QLabel* note(const char* s, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(s), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CMyPropertySheet::Result CMyPropertySheet::Open(NetworkSettingsHost& host, QWidget* parent) {
    Result result;
    if (host.CallActive()) {
        QMessageBox::information(parent, QStringLiteral("Network Settings"),
                                 QString::fromLatin1(kCallActiveRefusal));
        result.outcome = Outcome::RefusedDuringCall;
        return result;
    }
    const NetworkSettings before = LoadNetworkSettings();
    CMyPropertySheet sheet(host, before, parent);
    if (sheet.exec() != QDialog::Accepted) {
        return result;
    }
    result.outcome = Outcome::Saved;
    result.saved = sheet.Saved();
    result.listeningPortChanged = result.saved.useAlternatePort != before.useAlternatePort ||
                                  result.saved.listeningPort != before.listeningPort;
    return result;
}

CMyPropertySheet::CMyPropertySheet(NetworkSettingsHost& host, const NetworkSettings& settings,
                                   QWidget* parent)
    : QDialog(parent), host_(host), saved_(settings) {
    setWindowTitle(QStringLiteral("Network Settings"));
    auto* layout = new QVBoxLayout(this);

    auto* proxyGroup = new QGroupBox(QStringLiteral("HTTP Proxy"), this);
    auto* proxyGrid = new QGridLayout(proxyGroup);
    useProxy_ = new QCheckBox(QStringLiteral("Use a proxy server"), proxyGroup);
    proxyHost_ = new QLineEdit(proxyGroup);
    proxyPort_ = new QLineEdit(proxyGroup);
    proxyGrid->addWidget(useProxy_, 0, 0, 1, 4);
    proxyGrid->addWidget(new QLabel(QStringLiteral("Proxy IP address/hostname:")), 1, 0);
    proxyGrid->addWidget(proxyHost_, 1, 1);
    proxyGrid->addWidget(new QLabel(QStringLiteral("Port:")), 1, 2);
    proxyGrid->addWidget(proxyPort_, 1, 3);
    layout->addWidget(proxyGroup);

    auto* portGroup = new QGroupBox(QStringLiteral("Listening Port"), this);
    auto* portGrid = new QGridLayout(portGroup);
    alternatePort_ = new QCheckBox(QStringLiteral("Use another port (Not recommended)"));
    listeningPort_ = new QLineEdit(portGroup);
    portGrid->addWidget(alternatePort_, 0, 0, 1, 2);
    portGrid->addWidget(new QLabel(QStringLiteral("Listening Port:")), 1, 0);
    portGrid->addWidget(listeningPort_, 1, 1);
    portGrid->addWidget(note("Do not change this setting unless your Network/ISP blocks the "
                             "default port (1720) and allows you to communicate on a different "
                             "port.\r\n",
                             portGroup),
                        2, 0, 1, 2);
    layout->addWidget(portGroup);

    auto* modeGroup =
        new QGroupBox(QStringLiteral("Internet connection and incoming calls configuration"));
    auto* modeLayout = new QVBoxLayout(modeGroup);
    direct_ =
        new QRadioButton(QStringLiteral("[Default Setting] Directly connected to internet. "
                                        "Allow incoming calls from internet."));
    firewall_ =
        new QRadioButton(QStringLiteral("Connected through a firewall. Allow incoming "
                                        "calls from internet through my firewall."));
    privateNetwork_ = new QRadioButton(QStringLiteral(
        "Connected through a firewall that does not allow incoming calls from internet."));
    modeLayout->addWidget(direct_);
    modeLayout->addWidget(firewall_);
    modeLayout->addWidget(privateNetwork_);
    pages_ = new QStackedWidget(modeGroup);

    auto* directPage = new QGroupBox(QStringLiteral("Direct Connection"));
    auto* directLayout = new QVBoxLayout(directPage);
    directLayout->addWidget(
        note("Use this option if you connect directly to the internet using "
             "Modem / DSL / Cable Modem / AOL etc.",
             directPage));
    directLayout->addWidget(
        note("If you run a personal firewall program, allow this program to "
             "receive UDP packets on the listening port.",
             directPage));
    auto* directTest = new QPushButton(QStringLiteral("Apply Settings and Test"), directPage);
    directLayout->addWidget(directTest);
    pages_->addWidget(directPage);

    auto* firewallPage = new QGroupBox(QStringLiteral("Firewall Settings"));
    auto* firewallLayout = new QVBoxLayout(firewallPage);
    firewallLayout->addWidget(
        new QLabel(QStringLiteral("Public IP address of your firewall/router "
                                  "hardware:")));
    firewallAddress_ = new QLineEdit(firewallPage);
    firewallLayout->addWidget(firewallAddress_);
    autoDetect_ = new QCheckBox(QStringLiteral("Auto detect Firewall IP Address?"), firewallPage);
    firewallLayout->addWidget(autoDetect_);
    firewallLayout->addWidget(
        note("Your firewall must forward the UDP packets that arrive at the "
             "listening port to this computer.",
             firewallPage));
    firewallLayout->addWidget(
        note("This software is tested to work with most of the NAT based "
             "firewalls/router hardwares.",
             firewallPage));
    auto* learnFirewall =
        new QLabel(QStringLiteral("<a href=\"help\">Learn More about Firewall </a>"));
    firewallLayout->addWidget(learnFirewall);
    auto* firewallTest = new QPushButton(
        QStringLiteral("Apply Settings and Verify firewall port forward"), firewallPage);
    firewallLayout->addWidget(firewallTest);
    pages_->addWidget(firewallPage);

    auto* lanPage = new QGroupBox(QStringLiteral("Private network or LAN Settings"));
    auto* lanLayout = new QVBoxLayout(lanPage);
    lanLayout->addWidget(
        note("Users on the internet cannot call you through this firewall. You "
             "can still call them, and users of your own network can call you "
             "when you allow it below.",
             lanPage));
    lanCalls_ = new QCheckBox(
        QStringLiteral("I would like to receive calls from other users in my network/LAN"));
    lanLayout->addWidget(lanCalls_);
    lanLayout->addWidget(new QLabel(QStringLiteral("LAN IP Address or hostname of this computer")));
    lanAddress_ = new QLineEdit(lanPage);
    lanLayout->addWidget(lanAddress_);
    auto* learnLan = new QLabel(QStringLiteral("<a href=\"help\">Learn More</a>"));
    lanLayout->addWidget(learnLan);
    pages_->addWidget(lanPage);

    modeLayout->addWidget(pages_);
    modeLayout->addWidget(
        note("Note: You will always be able to make outgoing calls as long as "
             "your network/ISP allows UDP packets.",
             modeGroup));
    layout->addWidget(modeGroup);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Confirm()) {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { host_.OpenHelp(); });
    connect(learnFirewall, &QLabel::linkActivated, this, [this] { host_.OpenHelp(); });
    connect(learnLan, &QLabel::linkActivated, this, [this] { host_.OpenHelp(); });
    connect(directTest, &QPushButton::clicked, this, &CMyPropertySheet::applyAndTest);
    connect(firewallTest, &QPushButton::clicked, this, &CMyPropertySheet::applyAndTest);
    for (QCheckBox* box : {useProxy_, autoDetect_, lanCalls_}) {
        connect(box, &QCheckBox::toggled, this, &CMyPropertySheet::updateEnabled);
    }
    connect(alternatePort_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            listeningPort_->setText(QString::number(kDefaultListeningPort));
        }
        updateEnabled();
    });
    for (QRadioButton* radio : {direct_, firewall_, privateNetwork_}) {
        connect(radio, &QRadioButton::toggled, this, &CMyPropertySheet::updateEnabled);
    }

    ShowForm(FormFromSettings(settings));
}

QRadioButton* CMyPropertySheet::pageButton(ConnectionPage page) const {
    switch (page) {
        case ConnectionPage::Firewall:
            return firewall_;
        case ConnectionPage::PrivateNetwork:
            return privateNetwork_;
        default:
            return direct_;
    }
}

void CMyPropertySheet::ShowForm(const NetworkSettingsForm& form) {
    useProxy_->setChecked(form.useProxy);
    proxyHost_->setText(text(form.proxyHost));
    proxyPort_->setText(text(form.proxyPort));
    alternatePort_->setChecked(form.useAlternatePort);
    listeningPort_->setText(text(form.listeningPort));
    pageButton(form.page)->setChecked(true);
    autoDetect_->setChecked(form.autoDetectFirewall);
    firewallAddress_->setText(text(form.firewallAddress));
    lanCalls_->setChecked(form.lanCalls);
    lanAddress_->setText(text(form.lanAddress));
    updateEnabled();
}

NetworkSettingsForm CMyPropertySheet::Form() const {
    NetworkSettingsForm form;
    form.useProxy = useProxy_->isChecked();
    form.proxyHost = plain(proxyHost_->text());
    form.proxyPort = plain(proxyPort_->text());
    form.useAlternatePort = alternatePort_->isChecked();
    form.listeningPort = plain(listeningPort_->text());
    form.page = firewall_->isChecked()         ? ConnectionPage::Firewall
                : privateNetwork_->isChecked() ? ConnectionPage::PrivateNetwork
                                               : ConnectionPage::Direct;
    form.autoDetectFirewall = autoDetect_->isChecked();
    form.firewallAddress = plain(firewallAddress_->text());
    form.lanCalls = lanCalls_->isChecked();
    form.lanAddress = plain(lanAddress_->text());
    return form;
}

void CMyPropertySheet::updateEnabled() {
    proxyHost_->setEnabled(useProxy_->isChecked());
    proxyPort_->setEnabled(useProxy_->isChecked());
    listeningPort_->setEnabled(alternatePort_->isChecked());
    firewallAddress_->setEnabled(!autoDetect_->isChecked());
    pages_->setCurrentIndex(firewall_->isChecked() ? 1 : privateNetwork_->isChecked() ? 2 : 0);
}

bool CMyPropertySheet::Confirm() {
    NetworkSettings settings = CollectNetworkSettings(Form());
    const FormCheck check = CheckNetworkSettings(settings);
    if (check != FormCheck::Ok) {
        QMessageBox::warning(this, windowTitle(), text(CheckMessage(check)));
        return false;
    }
    if (NeedsProxyFirewallQuestion(settings) &&
        QMessageBox::question(this, QString::fromLatin1(kProxyFirewallQuestionTitle),
                              QString::fromLatin1(kProxyFirewallQuestion),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return false;
    }
    if (NeedsFirewallInformation(settings)) {
        QMessageBox::information(this, QString::fromLatin1(kFirewallInformationTitle),
                                 text(FirewallInformationText(settings.listeningPort)));
    }
    if (NeedsLanOnlyNotice(settings)) {
        QMessageBox::information(this, QString::fromLatin1(kLanOnlyTitle),
                                 QString::fromLatin1(kLanOnlyNotice));
    }
    SaveNetworkSettings(settings);
    saved_ = settings;
    return true;
}

void CMyPropertySheet::applyAndTest() {
    if (Confirm()) {
        accept();
        host_.OpenReachabilityTest();
    }
}

}  // namespace ostrel::netconfig

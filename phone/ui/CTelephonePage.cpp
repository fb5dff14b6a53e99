#include "phone/ui/CTelephonePage.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "phone/DialPad.h"
#include "phone/TelephoneCall.h"
#include "phone/ui/CEnterCallingCardDlg.h"
#include "phone/ui/CLookupFailedDlg.h"
#include "phone/ui/WorkerWait.h"

namespace ostrel::phone {

namespace {

// Unresolved lookup hosts reported by the lookup thread, shown by the window thread.
class UnresolvedHosts : public GatewayLookupObserver {
public:
    void hostUnresolved(const std::string&) override { count_.fetch_add(1); }
    // How many arrived since the last call.
    int take() { return count_.exchange(0); }

private:
    std::atomic<int> count_{0};
};

// prepareTelephoneCall's questions, answered by the page and its host.
class PageCallUi : public TelephoneCallUi {
public:
    PageCallUi(CTelephonePage& page, PhoneHost& host) : page_(page), host_(host) {}

    std::string numberText() override { return page_.numberText().toStdString(); }
    void showMessage(std::string_view text) override {
        host_.showMessage(&page_, QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }
    bool askForCard(CallingCard& card, Provider& provider) override {
        return CEnterCallingCardDlg::ask(host_, &page_, card, provider);
    }
    bool runLookup(GatewayLookupRequest& request) override {
        host_.setConnectingText(QString::fromLatin1(kResolvingText));
        UnresolvedHosts unresolved;
        const bool ran = runWhileDispatching(
            kLookupThreadName, [&] { lookupGateway(request, &unresolved); },
            [&] {
                if (host_.cancelRequested() && request.cancel.load() == 0) {
                    request.cancel.store(1);
                    host_.setConnectingText(QString::fromLatin1(kCancellingText));
                }
                for (int n = unresolved.take(); n > 0; --n) {
                    host_.showMessage(&page_, QString::fromLatin1(kHostUnresolvedText));
                }
            });
        for (int n = unresolved.take(); n > 0; --n) {
            host_.showMessage(&page_, QString::fromLatin1(kHostUnresolvedText));
        }
        return ran && request.result.load() == 1;
    }
    void showLookupFailure() override {
        CLookupFailedDlg dialog(host_, &page_);
        host_.runDialog(dialog);
    }
    void numberCalled(const std::string& number) override {
        page_.addRecentNumber(number);
        page_.saveRecentNumbers();
        page_.loadRecentNumbers();
    }

private:
    CTelephonePage& page_;
    PhoneHost& host_;
};

}  // namespace

CTelephonePage::CTelephonePage(PhoneHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("Telephone"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Enter phone number to call"), this));

    number_ = new QComboBox(this);
    number_->setEditable(true);
    number_->setInsertPolicy(QComboBox::NoInsert);
    number_->setObjectName(QStringLiteral("number"));
    number_->setToolTip(
        tr("Enter the phone number or IP address or a computer name you wish to call."));
    layout->addWidget(number_);

    auto* pad = new QGridLayout;
    for (size_t i = 0; i < kDialKeys.size(); ++i) {
        const DialKey key = kDialKeys[i];
        auto* b = new QPushButton(QString(QChar::fromLatin1(key.digit)), this);
        b->setObjectName(QStringLiteral("dial%1").arg(key.buttonId));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, key] { pressDialKey(key.digit); });
        pad->addWidget(b, static_cast<int>(i / 3), static_cast<int>(i % 3));
        buttons_.emplace_back(key.buttonId, b);
    }
    auto* del = new QPushButton(tr("Delete"), this);
    del->setObjectName(QStringLiteral("dial%1").arg(kDeleteButtonId));
    del->setFocusPolicy(Qt::NoFocus);
    connect(del, &QPushButton::clicked, this, [this] { deleteLastCharacter(); });
    pad->addWidget(del, 4, 1);
    buttons_.emplace_back(kDeleteButtonId, del);
    layout->addLayout(pad);

    examples_ = new QLabel(QStringLiteral("<a href=\"examples\">%1</a>").arg(tr("Examples")), this);
    examples_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(examples_, &QLabel::linkActivated, this,
            [this] { host_.openServicePage(kExamplesPage); });
    layout->addWidget(examples_);

    // Key-ups are looked at before any child gets them, as Ctrl+digit must work whichever
    // control of the page has the focus.
    qApp->installEventFilter(this);
    loadRecentNumbers();
}

CTelephonePage::~CTelephonePage() {
    qApp->removeEventFilter(this);
}

QPushButton* CTelephonePage::button(int id) const {
    for (const auto& [buttonId, b] : buttons_) {
        if (buttonId == id) {
            return b;
        }
    }
    return nullptr;
}

QString CTelephonePage::numberText() const {
    return number_->currentText();
}

void CTelephonePage::setNumberText(const QString& text) {
    number_->setEditText(text);
}

void CTelephonePage::pressDialKey(char c) {
    setNumberText(numberText() + QChar::fromLatin1(c));
    sendDigits(std::string(1, c));
}

void CTelephonePage::sendDigits(const std::string& text) {
    if (text.empty() || !host_.isCallActive()) {
        return;
    }
    // The click is played outside the engine guard: it lasts a moment and the guard is
    // wanted by the connecting and notification paths meanwhile.
    const std::string_view click = keyClickFor(text);
    if (!click.empty()) {
        host_.playKeyClick(click);
    }
    host_.withEngine([&](engine::Engine& e) {
        if (e.isCallActive()) {
            e.sendDigits(text);
        }
    });
}

void CTelephonePage::deleteLastCharacter() {
    QString text = numberText();
    if (!text.isEmpty()) {
        text.chop(1);
        setNumberText(text);
    }
}

void CTelephonePage::loadRecentNumbers() {
    // Reloading the list keeps what is typed in the field.
    const QString typed = numberText();
    number_->clear();
    recent_.load();
    for (const auto& n : recent_.entries()) {
        number_->addItem(QString::fromStdString(n));
    }
    setNumberText(typed);
}

bool CTelephonePage::saveRecentNumbers() const {
    return recent_.save();
}

void CTelephonePage::addRecentNumber(const std::string& number) {
    recent_.add(number);
}

bool CTelephonePage::prepareTelephoneCall(engine::ConnectionRequest& request, bool quiet) {
    PageCallUi ui(*this, host_);
    return phone::prepareTelephoneCall(request, host_.cardBook(), ui, quiet);
}

bool CTelephonePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (widget != nullptr && (widget == this || isAncestorOf(widget)) &&
            (key->modifiers() & Qt::ControlModifier) && !key->isAutoRepeat() && key->key() > 0 &&
            key->key() < 0x80 && isDialDigit(static_cast<char>(key->key()))) {
            pressDialKey(static_cast<char>(key->key()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ostrel::phone

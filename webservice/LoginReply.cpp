#include "webservice/LoginReply.h"

#include "webservice/ReplyText.h"
#include "webservice/XmlReplyParser.h"

namespace ostrel::webservice {

namespace {

class LoginGrammar : public XmlReplyGrammar {
public:
    explicit LoginGrammar(LoginReply& reply) : reply_(reply) {}

    void OnStart(std::string_view element) override {
        if (element == "provider") {
            provider_ = Provider();
        } else if (element == "provider_gatewaylookup_host") {
            host_ = GatewayHost();
        } else if (element == "provider_param") {
            param_ = ProviderParam();
        } else if (element == "calling_card") {
            card_ = CallingCard();
        }
    }

    void OnEnd(std::string_view element, const std::string& value) override {
        if (element == "errorcode") {
            reply_.error = value == "0" ? 0 : 1;
        } else if (element == "err_description") {
            reply_.errDescription = value;
        } else if (element == "show_user_message") {
            reply_.showUserMessage = value;
        } else if (element == "url_to_navigate") {
            reply_.urlToNavigate = value;
        } else if (element == "popup_url") {
            reply_.popupUrl = value;
        } else if (element == "userid") {
            reply_.buddyNames.push_back(value.substr(0, kMaxBuddyNameBytes));
        } else if (element == "provider_id") {
            provider_.id = static_cast<uint32_t>(ReadReplyInteger(value));
        } else if (element == "provider_display_name") {
            provider_.displayName = value;
        } else if (element == "provider_gatewaylookup_host_name") {
            host_.name = value;
        } else if (element == "provider_gatewaylookup_host_port") {
            host_.port = static_cast<uint32_t>(ReadReplyInteger(value));
        } else if (element == "provider_gatewaylookup_host") {
            provider_.gatewayHosts.push_back(host_);
        } else if (element == "provider_param_name") {
            param_.name = value;
        } else if (element == "provider_param_value") {
            param_.value = value;
        } else if (element == "provider_param") {
            provider_.params.push_back(param_);
        } else if (element == "provider") {
            reply_.providers.push_back(provider_);
        } else if (element == "calling_card_provider") {
            card_.providerId = static_cast<uint32_t>(ReadReplyInteger(value));
        } else if (element == "calling_card_account_number") {
            card_.accountNumber = value;
        } else if (element == "calling_card_pin_number") {
            card_.pin = value;
        } else if (element == "calling_card_isdefault") {
            card_.isDefault = static_cast<uint32_t>(ReadReplyInteger(value));
        } else if (element == "calling_card") {
            reply_.callingCards.push_back(card_);
        }
    }

private:
    LoginReply& reply_;
    Provider provider_;
    GatewayHost host_;
    ProviderParam param_;
    CallingCard card_;
};

}  // namespace

bool ParseLoginReply(std::string_view text, LoginReply& reply) {
    reply.Reset();
    LoginGrammar grammar(reply);
    return ParseXmlReply(text, grammar);
}

}  // namespace ostrel::webservice

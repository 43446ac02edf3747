#include "messenger/demo/demo_service.h"

#include <string>
#include <utility>

#include "messenger/decimal_text.h"
#include "messenger/known_contacts.h"
#include "messenger/status_codes.h"

namespace messenger::demo {

namespace {

struct ContactSeed {
    const char16_t* signinName;
    const char16_t* friendlyName;
    std::int32_t status;
};

constexpr ContactSeed kContacts[] = {
    {u"alex.moreau@example.com", u"Alex", status::kOnline},
    {u"Bea.Lindqvist@example.net", u"Bea ~ back on Monday", status::kAway},
    {u"chris_w@example.com", u"Chris W", status::kBusy},
    {u"dana.okafor@example.org", u"Dana", status::kOnline},
    {u"eli.katz@example.com", u"eli (exam week)", status::kOffline},
    {u"fatima.haddad@example.net", u"Fatima", status::kOnThePhone},
    {u"gus.tavares@example.com", u"GUS", status::kOutToLunch},
    {u"hana.kimura@example.org", u"Hana", status::kBeRightBack},
};

bool canBeSet(std::int32_t code) {
    switch (code) {
        case status::kOnline:
        case status::kInvisible:
        case status::kBusy:
        case status::kBeRightBack:
        case status::kAway:
        case status::kOnThePhone:
        case status::kOutToLunch: return true;
        default: return false;
    }
}

class DemoClient final : public Client {
public:
    DemoClient(std::shared_ptr<DemoService> service, EventSink& sink)
        : service_(std::move(service)), subscription_(service_->subscribe(sink)) {}
    ~DemoClient() override { service_->unsubscribe(subscription_); }
    DemoClient(const DemoClient&) = delete;
    DemoClient& operator=(const DemoClient&) = delete;

    std::u16string mySigninName() const override { return service_->mySigninName(); }
    std::u16string myFriendlyName() const override { return service_->myFriendlyName(); }
    std::int32_t myStatus() const override { return service_->myStatus(); }
    void requestMyStatus(std::int32_t status) override { service_->requestMyStatus(status); }

private:
    std::shared_ptr<DemoService> service_;
    int subscription_;
};

}  // namespace

DemoService::DemoService(Post post)
    : post_(std::move(post)),
      mySigninName_(u"Sam.Rivers@example.com"),
      myFriendlyName_(u"Sam"),
      myStatus_(status::kOnline) {
    for (const ContactSeed& seed : kContacts) {
        contacts_.push_back(
            std::make_shared<DemoContact>(seed.signinName, seed.friendlyName, seed.status));
    }
}

DemoService::~DemoService() {
    *alive_ = false;
}

std::shared_ptr<ConversationWindow> DemoService::makeWindow(
    std::vector<std::shared_ptr<DemoContact>> members) {
    return std::make_shared<KnownConversation>(
        std::vector<std::shared_ptr<Contact>>(members.begin(), members.end()));
}

int DemoService::subscribe(EventSink& sink) {
    const int id = nextSubscription_++;
    sinks_.emplace(id, &sink);
    return id;
}

void DemoService::unsubscribe(int subscription) {
    sinks_.erase(subscription);
}

void DemoService::deliver(const std::function<void(EventSink&)>& event) {
    // A handler may detach (or attach) while an event is delivered: look each
    // subscriber up again rather than walking a list that may have changed.
    std::vector<int> ids;
    ids.reserve(sinks_.size());
    for (const auto& [id, sink] : sinks_) {
        ids.push_back(id);
    }
    for (int id : ids) {
        auto found = sinks_.find(id);
        if (found != sinks_.end()) {
            event(*found->second);
        }
    }
}

void DemoService::raiseContactNameChanged(const std::shared_ptr<Contact>& contact) {
    deliver([&](EventSink& sink) { sink.contactNameChanged(contact); });
}

void DemoService::raiseContactStatusChanged(const std::shared_ptr<Contact>& contact) {
    deliver([&](EventSink& sink) { sink.contactStatusChanged(contact); });
}

void DemoService::raiseConversationOpened(const std::shared_ptr<ConversationWindow>& window) {
    deliver([&](EventSink& sink) { sink.conversationOpened(window); });
}

void DemoService::raiseConversationClosed(const std::shared_ptr<ConversationWindow>& window) {
    deliver([&](EventSink& sink) { sink.conversationClosed(window); });
}

void DemoService::raiseMyNameChanged() {
    deliver([](EventSink& sink) { sink.myNameChanged(); });
}

void DemoService::raiseMyStatusChanged() {
    deliver([](EventSink& sink) { sink.myStatusChanged(); });
}

void DemoService::changeContactStatus(const std::shared_ptr<DemoContact>& contact,
                                      std::int32_t status) {
    contact->setStatus(status);
    raiseContactStatusChanged(contact);
}

void DemoService::changeContactName(const std::shared_ptr<DemoContact>& contact,
                                    std::u16string name) {
    contact->setFriendlyName(std::move(name));
    raiseContactNameChanged(contact);
}

void DemoService::changeMyFriendlyName(std::u16string name) {
    myFriendlyName_ = std::move(name);
    raiseMyNameChanged();
}

void DemoService::changeMyStatus(std::int32_t status) {
    myStatus_ = status;
    raiseMyStatusChanged();
}

void DemoService::requestMyStatus(std::int32_t status) {
    if (!canBeSet(status)) {
        throw Error(errc::kInvalidArgument,
                    u"The client cannot set status " + decimalText(status) + u".");
    }
    myStatus_ = status;
    post_([this, alive = std::weak_ptr<bool>(alive_)] {
        if (auto stillAlive = alive.lock(); stillAlive && *stillAlive) {
            raiseMyStatusChanged();
        }
    });
}

std::unique_ptr<Client> connect(const std::shared_ptr<DemoService>& service, EventSink& sink) {
    return std::make_unique<DemoClient>(service, sink);
}

}  // namespace messenger::demo

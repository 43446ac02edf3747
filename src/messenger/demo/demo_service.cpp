#include "demo_service.h"

#include <string>
#include <utility>

namespace messenger::demo {

namespace {

struct ContactSeed {
    const char16_t* signinName;
    const char16_t* friendlyName;
    std::int32_t status;
};

constexpr ContactSeed kContacts[] = {
    {u"alex.moreau@example.com", u"Alex", MISTATUS_ONLINE},
    {u"Bea.Lindqvist@example.net", u"Bea ~ back on Monday", MISTATUS_AWAY},
    {u"chris_w@example.com", u"Chris W", MISTATUS_BUSY},
    {u"dana.okafor@example.org", u"Dana", MISTATUS_ONLINE},
    {u"eli.katz@example.com", u"eli (exam week)", MISTATUS_OFFLINE},
    {u"fatima.haddad@example.net", u"Fatima", MISTATUS_ON_THE_PHONE},
    {u"gus.tavares@example.com", u"GUS", MISTATUS_OUT_TO_LUNCH},
    {u"hana.kimura@example.org", u"Hana", MISTATUS_BE_RIGHT_BACK},
};

constexpr std::int32_t kServerUnavailable = static_cast<std::int32_t>(0x800706BA);

bool canBeSet(std::int32_t status) {
    switch (status) {
        case MISTATUS_ONLINE:
        case MISTATUS_INVISIBLE:
        case MISTATUS_BUSY:
        case MISTATUS_BE_RIGHT_BACK:
        case MISTATUS_AWAY:
        case MISTATUS_ON_THE_PHONE:
        case MISTATUS_OUT_TO_LUNCH:
            return true;
        default:
            return false;
    }
}

class DemoClient final : public Client {
public:
    DemoClient(std::shared_ptr<DemoService> service, EventSink& sink)
        : service_(std::move(service)), subscription_(service_->subscribe(sink)) {}
    ~DemoClient() override { service_->unsubscribe(subscription_); }
    DemoClient(const DemoClient&) = delete;
    DemoClient& operator=(const DemoClient&) = delete;

    std::u16string MySigninName() const override {
        service_->faults().check(Call::MySigninName);
        return service_->mySigninName();
    }
    std::u16string MyFriendlyName() const override {
        service_->faults().check(Call::MyFriendlyName);
        return service_->myFriendlyName();
    }
    std::int32_t MyStatus() const override {
        service_->faults().check(Call::MyStatus);
        return service_->myStatus();
    }
    void SetMyStatus(std::int32_t status) override {
        service_->faults().check(Call::SetMyStatus);
        service_->requestMyStatus(status);
    }

private:
    std::shared_ptr<DemoService> service_;
    int subscription_;
};

}  // namespace

DemoService::DemoService(Post post)
    : post_(std::move(post)),
      mySigninName_(u"Sam.Rivers@example.com"),
      myFriendlyName_(u"Sam"),
      myStatus_(MISTATUS_ONLINE) {
    for (const ContactSeed& seed : kContacts) {
        addContact(seed.signinName, seed.friendlyName, seed.status);
    }
}

DemoService::~DemoService() {
    *alive_ = false;
}

std::shared_ptr<DemoContact> DemoService::addContact(std::u16string signinName,
                                                     std::u16string friendlyName,
                                                     std::int32_t status) {
    auto contact = std::make_shared<DemoContact>(faults_, std::move(signinName),
                                                 std::move(friendlyName), status);
    contacts_.push_back(contact);
    return contact;
}

std::shared_ptr<DemoConversationWindow> DemoService::makeWindow(
    std::vector<std::shared_ptr<DemoContact>> members) {
    return std::make_shared<DemoConversationWindow>(faults_, std::move(members));
}

int DemoService::subscribe(EventSink& sink) {
    faults_->check(Call::Attach);
    const int id = nextSubscription_++;
    sinks_.emplace(id, &sink);
    return id;
}

void DemoService::unsubscribe(int subscription) {
    sinks_.erase(subscription);
}

void DemoService::crash() {
    crashed_ = true;
    for (std::size_t call = 0; call < kCallKinds; ++call) {
        faults_->failCall(static_cast<Call>(call), kServerUnavailable,
                          u"The RPC server is unavailable.", 0, 0);
    }
}

void DemoService::deliver(const std::function<void(EventSink&)>& event) {
    if (crashed_) {
        return;
    }
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

void DemoService::raiseContactFriendlyNameChange(const std::shared_ptr<Object>& contact,
                                                 std::int32_t hr,
                                                 const std::u16string& previousName) {
    deliver([&](EventSink& sink) { sink.OnContactFriendlyNameChange(hr, contact, previousName); });
}

void DemoService::raiseContactStatusChange(const std::shared_ptr<Object>& contact,
                                           std::int32_t status) {
    deliver([&](EventSink& sink) { sink.OnContactStatusChange(contact, status); });
}

void DemoService::raiseIMWindowCreated(const std::shared_ptr<Object>& window) {
    deliver([&](EventSink& sink) { sink.OnIMWindowCreated(window); });
}

void DemoService::raiseIMWindowDestroyed(const std::shared_ptr<Object>& window) {
    deliver([&](EventSink& sink) { sink.OnIMWindowDestroyed(window); });
}

void DemoService::raiseMyFriendlyNameChange(std::int32_t hr, const std::u16string& previousName) {
    deliver([&](EventSink& sink) { sink.OnMyFriendlyNameChange(hr, previousName); });
}

void DemoService::raiseMyStatusChange(std::int32_t hr, std::int32_t status) {
    deliver([&](EventSink& sink) { sink.OnMyStatusChange(hr, status); });
}

void DemoService::changeContactStatus(const std::shared_ptr<DemoContact>& contact,
                                      std::int32_t status) {
    contact->setStatus(status);
    raiseContactStatusChange(contact, status);
}

void DemoService::changeContactName(const std::shared_ptr<DemoContact>& contact,
                                    std::u16string name) {
    std::u16string previous = contact->friendlyName();
    contact->setFriendlyName(std::move(name));
    raiseContactFriendlyNameChange(contact, 0, previous);
}

void DemoService::changeMyFriendlyName(std::u16string name) {
    std::u16string previous = std::exchange(myFriendlyName_, std::move(name));
    raiseMyFriendlyNameChange(0, previous);
}

void DemoService::changeMyStatus(std::int32_t status) {
    myStatus_ = status;
    raiseMyStatusChange(0, status);
}

void DemoService::requestMyStatus(std::int32_t status) {
    if (!canBeSet(status)) {
        std::string digits = std::to_string(status);
        throw Error(
            errc::kInvalidArgument,
            u"The client cannot set status " + std::u16string(digits.begin(), digits.end()) + u".");
    }
    myStatus_ = status;
    post_([this, alive = std::weak_ptr<bool>(alive_), status] {
        if (auto stillAlive = alive.lock(); stillAlive && *stillAlive) {
            raiseMyStatusChange(0, status);
        }
    });
}

std::unique_ptr<Client> connect(const std::shared_ptr<DemoService>& service, EventSink& sink) {
    return std::make_unique<DemoClient>(service, sink);
}

}  // namespace messenger::demo

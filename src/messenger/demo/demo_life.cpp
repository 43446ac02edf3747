#include "messenger/demo/demo_life.h"

#include <algorithm>
#include <array>

#include "messenger/status_codes.h"

namespace messenger::demo {

namespace {

constexpr std::array kContactStatuses{
    status::kOnline, status::kBusy,      status::kBeRightBack, status::kAway,
    status::kIdle,   status::kOffline,   status::kOnThePhone,  status::kOutToLunch,
    status::kOnline, status::kInvisible,
};

constexpr std::array kNicknames{
    u"~*~ sunshine ~*~", u"brb coffee",           u"(L) weekend (L)", u"working from home",
    u"On a train",       u"NEW PHONE, ask me",    u"la la la",        u"exams :(",
    u"Happy Birthday!",  u"listening: Radiohead",
};

constexpr std::array kMyNames{u"Sam", u"Sam - at the library", u"sam (back at 5)", u"Sam :)"};

}  // namespace

DemoLife::DemoLife(std::shared_ptr<DemoService> service, std::uint32_t seed, int meanIntervalMs,
                   QObject* parent)
    : QObject(parent),
      service_(std::move(service)),
      random_(seed),
      meanIntervalMs_(std::max(1, meanIntervalMs)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step();
        scheduleNext();
    });
}

void DemoLife::start() {
    scheduleNext();
}

void DemoLife::scheduleNext() {
    // Between half and one and a half times the mean, so events do not tick.
    timer_.start(meanIntervalMs_ / 2 + randomBelow(meanIntervalMs_ + 1));
}

int DemoLife::randomBelow(int bound) {
    return std::uniform_int_distribution<int>(0, bound - 1)(random_);
}

std::shared_ptr<DemoContact> DemoLife::randomContact() {
    const auto& contacts = service_->contacts();
    return contacts[static_cast<std::size_t>(randomBelow(static_cast<int>(contacts.size())))];
}

void DemoLife::step() {
    // Conversations close a few steps after they opened.
    for (auto it = openWindows_.begin(); it != openWindows_.end();) {
        if (--it->stepsLeft <= 0) {
            auto window = it->window;
            it = openWindows_.erase(it);
            service_->raiseConversationClosed(window);
            return;
        }
        ++it;
    }

    const int roll = randomBelow(100);
    if (roll < 45) {
        auto contact = randomContact();
        std::int32_t status = contact->status();
        while (status == contact->status()) {
            status = kContactStatuses[static_cast<std::size_t>(
                randomBelow(static_cast<int>(kContactStatuses.size())))];
        }
        service_->changeContactStatus(contact, status);
    } else if (roll < 65) {
        service_->changeContactName(
            randomContact(),
            kNicknames[static_cast<std::size_t>(randomBelow(static_cast<int>(kNicknames.size())))]);
    } else if (roll < 85) {
        std::vector<std::shared_ptr<DemoContact>> members;
        const int wanted = 1 + randomBelow(3);
        while (static_cast<int>(members.size()) < wanted) {
            auto contact = randomContact();
            if (std::find(members.begin(), members.end(), contact) == members.end()) {
                members.push_back(contact);
            }
        }
        auto window = service_->makeWindow(std::move(members));
        openWindows_.push_back({window, 2 + randomBelow(4)});
        service_->raiseConversationOpened(window);
    } else if (roll < 92) {
        // The user's own client goes idle after a while, and back; a status
        // the user chose is left alone.
        if (service_->myStatus() == status::kOnline) {
            service_->changeMyStatus(status::kIdle);
        } else if (service_->myStatus() == status::kIdle) {
            service_->changeMyStatus(status::kOnline);
        }
    } else {
        service_->changeMyFriendlyName(
            kMyNames[static_cast<std::size_t>(randomBelow(static_cast<int>(kMyNames.size())))]);
    }
}

}  // namespace messenger::demo

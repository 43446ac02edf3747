#include "demo_life.h"

#include <algorithm>
#include <array>

namespace messenger::demo {

namespace {

constexpr std::array kContactStatuses{
    MISTATUS_ONLINE, MISTATUS_BUSY,      MISTATUS_BE_RIGHT_BACK, MISTATUS_AWAY,
    MISTATUS_IDLE,   MISTATUS_OFFLINE,   MISTATUS_ON_THE_PHONE,  MISTATUS_OUT_TO_LUNCH,
    MISTATUS_ONLINE, MISTATUS_INVISIBLE,
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
            service_->raiseIMWindowDestroyed(window);
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
        service_->raiseIMWindowCreated(window);
    } else if (roll < 92) {
        // The user's own client goes idle after a while, and back; a status
        // the user chose is left alone.
        if (service_->myStatus() == MISTATUS_ONLINE) {
            service_->changeMyStatus(MISTATUS_IDLE);
        } else if (service_->myStatus() == MISTATUS_IDLE) {
            service_->changeMyStatus(MISTATUS_ONLINE);
        }
    } else {
        service_->changeMyFriendlyName(
            kMyNames[static_cast<std::size_t>(randomBelow(static_cast<int>(kMyNames.size())))]);
    }
}

}  // namespace messenger::demo

#include "messenger/purple/event_order.h"

namespace messenger::purple {

namespace {

// Whatever a delivery does, the line is free again afterwards.
class Delivering {
public:
    explicit Delivering(bool& flag) : flag_(flag) { flag_ = true; }
    ~Delivering() { flag_ = false; }
    Delivering(const Delivering&) = delete;
    Delivering& operator=(const Delivering&) = delete;

private:
    bool& flag_;
};

}  // namespace

void EventOrder::fill(Place place, Delivery delivery) {
    if (place < first_ || place - first_ >= waiting_.size()) {
        return;
    }
    waiting_[place - first_] = std::move(delivery);
    // A delivery may fill or clear places itself: the outer loop goes on.
    if (delivering_) {
        return;
    }
    const Delivering guard(delivering_);
    while (!waiting_.empty() && waiting_.front()) {
        Delivery next = std::move(*waiting_.front());
        waiting_.pop_front();
        ++first_;
        // One bad event must not stop the line: the rest are still told.
        try {
            next();
        } catch (...) {
            thrown_(std::current_exception());
        }
    }
}

void EventOrder::clear() {
    first_ += waiting_.size();
    waiting_.clear();
}

}  // namespace messenger::purple

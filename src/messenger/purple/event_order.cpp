#include "messenger/purple/event_order.h"

namespace messenger::purple {

void EventOrder::fill(Place place, Delivery delivery) {
    if (place < first_ || place - first_ >= waiting_.size()) {
        return;
    }
    waiting_[place - first_] = std::move(delivery);
    // A delivery may fill or clear places itself: the outer loop goes on.
    if (delivering_) {
        return;
    }
    delivering_ = true;
    while (!waiting_.empty() && waiting_.front()) {
        Delivery next = std::move(*waiting_.front());
        waiting_.pop_front();
        ++first_;
        next();
    }
    delivering_ = false;
}

void EventOrder::clear() {
    first_ += waiting_.size();
    waiting_.clear();
}

}  // namespace messenger::purple

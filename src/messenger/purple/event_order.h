#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <optional>

namespace messenger::purple {

// Hands events on in the order the client signalled them. Each event takes
// a place when its signal comes and is delivered once what it needs has
// been read and every event before it has been delivered.
class EventOrder {
public:
    using Place = std::uint64_t;
    using Delivery = std::function<void()>;
    // Told of a delivery that threw; the events after it are still delivered.
    using Thrown = std::function<void(std::exception_ptr)>;

    explicit EventOrder(Thrown thrown) : thrown_(std::move(thrown)) {}

    Place reserve() {
        waiting_.emplace_back();
        return first_ + waiting_.size() - 1;
    }
    // Delivers this event when its turn comes, and any ready ones after it.
    // A place from before clear() is ignored.
    void fill(Place place, Delivery delivery);
    // Forgets every event not yet delivered.
    void clear();
    std::size_t size() const { return waiting_.size(); }

private:
    std::deque<std::optional<Delivery>> waiting_;
    Place first_ = 0;  // the place of waiting_.front()
    bool delivering_ = false;
    Thrown thrown_;
};

}  // namespace messenger::purple

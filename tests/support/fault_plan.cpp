#include "fault_plan.h"

namespace testing {

void FaultPlan::failCall(int skip, std::int32_t number, std::u16string description) {
    failing_ = calls_ + skip;
    failure_.emplace(number, std::move(description));
}

void FaultPlan::check(const void* object) {
    if (crashed_) {
        throw messenger::Error(static_cast<std::int32_t>(0x800706BA), u"The RPC server is unavailable.");
    }
    if (object && released_.count(object)) {
        throw messenger::Error(messenger::errc::kDisconnected,
                               u"The object invoked has disconnected from its clients.");
    }
    if (calls_++ == failing_) {
        throw *failure_;
    }
}

}  // namespace testing

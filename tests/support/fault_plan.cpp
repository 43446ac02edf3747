#include "support/fault_plan.h"

namespace testsupport {

void FaultPlan::failCall(int skip, std::int32_t number, std::u16string description) {
    failing_ = calls_ + skip;
    failure_.emplace(number, std::move(description));
}

void FaultPlan::check() {
    if (crashed_) {
        throw messenger::Error(static_cast<std::int32_t>(0x800706BA), u"The RPC server is unavailable.");
    }
    if (calls_++ == failing_) {
        throw *failure_;
    }
}

}  // namespace testsupport

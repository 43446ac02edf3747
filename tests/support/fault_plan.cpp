#include "fault_plan.h"

namespace messenger::demo {

void FaultPlan::failCall(Call call, std::int32_t number, std::u16string description, int skip,
                         int times) {
    plans_[index(call)] = Plan{true, skip, times, number, std::move(description)};
}

void FaultPlan::clear() {
    plans_ = {};
    recorded_.clear();
}

void FaultPlan::check(Call call) {
    ++counts_[index(call)];
    if (recording_) {
        recorded_.push_back(call);
    }
    Plan& plan = plans_[index(call)];
    if (!plan.armed) {
        return;
    }
    if (plan.skip > 0) {
        --plan.skip;
        return;
    }
    Error error(plan.number, plan.description);
    if (plan.times > 0 && --plan.times == 0) {
        plan = Plan{};
    }
    throw error;
}

}  // namespace messenger::demo

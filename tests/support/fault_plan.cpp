#include "fault_plan.h"

namespace testing {

namespace {
std::size_t index(Call call) {
    return static_cast<std::size_t>(call);
}
}  // namespace

void FaultPlan::failCall(Call call, std::int32_t number, std::u16string description, int skip, int times) {
    plans_[index(call)] = Plan{true, skip, times, number, std::move(description)};
}

void FaultPlan::crash() {
    crashed_ = true;
    for (std::size_t call = 0; call < kCallKinds; ++call) {
        failCall(static_cast<Call>(call), static_cast<std::int32_t>(0x800706BA), u"The RPC server is unavailable.", 0,
                 0);
    }
}

void FaultPlan::clear() {
    plans_ = {};
    calls_ = {};
}

void FaultPlan::check(Call call, const void* object) {
    calls_.push_back(call);
    if (object && released_.count(object)) {
        throw messenger::Error(messenger::errc::kDisconnected,
                               u"The object invoked has disconnected from its clients.");
    }
    Plan& plan = plans_[index(call)];
    if (!plan.armed) {
        return;
    }
    if (plan.skip > 0) {
        --plan.skip;
        return;
    }
    messenger::Error error(plan.number, plan.description);
    if (plan.times > 0 && --plan.times == 0) {
        plan = Plan{};
    }
    throw error;
}

}  // namespace testing

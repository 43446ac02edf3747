#pragma once

#include <memory>

#include "fault_plan.h"
#include "shell/main_window.h"

namespace testing {

// Attaches through connect, then puts the client and every object it hands
// over behind faults: each call is counted and fails as the plan says.
shell::ClientFactory withFaults(shell::ClientFactory connect, std::shared_ptr<FaultPlan> faults);

}  // namespace testing

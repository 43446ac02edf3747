#pragma once

#include <memory>

#include "shell/main_window.h"
#include "support/fault_plan.h"

namespace testsupport {

// Attaches through connect, then puts the client and every object it hands
// over behind faults: each call is counted and fails as the plan says.
shell::ClientFactory withFaults(shell::ClientFactory connect, std::shared_ptr<FaultPlan> faults);

}  // namespace testsupport

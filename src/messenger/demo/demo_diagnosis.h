#pragma once

#include <cstdint>

#include "messenger/diagnosis.h"

namespace messenger::demo {

// The simulated client's part of the --diagnose report: what it is, the
// story it plays (seed and mean interval) and its events as they come, its
// invented names passed through placeholders as a real client's are.
void diagnose(std::uint32_t seed, int meanIntervalMs, const DiagnosisRequest& request,
              const ReportLine& write);

}  // namespace messenger::demo

#pragma once

#include "messenger/diagnosis.h"

namespace messenger::com {

// What a diagnosis finds of the client: how its class and event interface
// are registered, whether it runs, its objects' members as its own type
// information gives them beside the ids the program uses, then its events
// for request.watchFor. Attaches only to a client already running: asking
// for its class would start it.
void diagnose(const DiagnosisRequest& request, const ReportLine& write);

}  // namespace messenger::com

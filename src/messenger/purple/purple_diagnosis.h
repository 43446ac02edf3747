#pragma once

#include <QDBusConnection>
#include <QString>

#include <chrono>

#include "messenger/diagnosis.h"

namespace messenger::purple {

// The libpurple binding's part of the --diagnose report, on the bus given
// (`address` names it in the report): the bus, the client's process and
// version, each account with its status types and buddy count, then every
// signal the client raises for request.watchFor. accountName: the account
// --account names, if any. Each call waits at most answerWithin, and once
// one goes unanswered the client is asked nothing more: a hung client
// delays the report once, not once a call.
void diagnose(QDBusConnection bus, const QString& address, const QString& accountName,
              const DiagnosisRequest& request, const ReportLine& write,
              std::chrono::milliseconds answerWithin);

}  // namespace messenger::purple

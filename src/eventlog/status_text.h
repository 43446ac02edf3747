#pragma once

#include <QString>

#include <cstdint>

namespace eventlog {

// The words shown for a client status code, in the caption and in the log.
QString GetStatusText(std::int16_t status);

}  // namespace eventlog

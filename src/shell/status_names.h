#pragma once

#include <QString>

#include <cstdint>

namespace shell {

// The words shown for a client status code, in the caption and in the log.
QString statusText(std::int16_t status);

// Status codes are shown as signed 16-bit values; anything wider is a failed
// call (messenger::Error) rather than a silently truncated, wrong status.
std::int16_t narrowStatus(std::int32_t status);

}  // namespace shell

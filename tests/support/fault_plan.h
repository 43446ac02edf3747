#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "messenger/error.h"

namespace testsupport {

// Which calls on a client (see withFaults) fail, and how.
class FaultPlan {
public:
    // Counts a call and throws when it is due to fail.
    void check();
    int callCount() const { return calls_; }

    // The call after `skip` more calls fails, once.
    void failCall(int skip, std::int32_t number, std::u16string description);
    // The client program dies: every call fails as a call into a process
    // that has gone does, and no event comes any more.
    void crash() { crashed_ = true; }
    bool hasCrashed() const { return crashed_; }

private:
    int calls_ = 0;
    int failing_ = -1;
    std::optional<messenger::Error> failure_;
    bool crashed_ = false;
};

}  // namespace testsupport

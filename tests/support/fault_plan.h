#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "messenger/error.h"

namespace testing {

// Every kind of call the program makes on a client.
enum class Call {
    Attach,
    MySigninName,
    MyFriendlyName,
    MyStatus,
    RequestMyStatus,
    ContactSigninName,
    ContactFriendlyName,
    ContactStatus,
    WindowContacts,
    ContactsCount,
    ContactsItem,
};
inline constexpr std::size_t kCallKinds = 11;

// Which calls on a client (see withFaults) fail, and how.
class FaultPlan {
public:
    // The call fails once `skip` further calls of its kind have succeeded,
    // then `times` times in a row (0: from then on).
    void failCall(Call call, std::int32_t number, std::u16string description, int skip = 0, int times = 1);
    // The client program dies: every call fails as a call into a process
    // that has gone does, and no event comes any more.
    void crash();
    bool hasCrashed() const { return crashed_; }
    // The client lets go of this object: calls on it fail from now on.
    void release(const void* object) { released_.insert(object); }

    // Counts the call on object and throws the planned Error when it is due.
    void check(Call call, const void* object = nullptr);
    // The calls made since the last clear, in order.
    const std::vector<Call>& calls() const { return calls_; }
    void clear();

private:
    struct Plan {
        bool armed = false;
        int skip = 0;
        int times = 0;
        std::int32_t number = 0;
        std::u16string description;
    };

    std::array<Plan, kCallKinds> plans_{};
    std::vector<Call> calls_;
    std::set<const void*> released_;
    bool crashed_ = false;
};

}  // namespace testing

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "../messenger_error.h"

namespace messenger::demo {

// Every kind of call a program can make on the demo client.
enum class Call {
    Attach,
    MySigninName,
    MyFriendlyName,
    MyStatus,
    SetMyStatus,
    ContactSigninName,
    ContactFriendlyName,
    ContactStatus,
    WindowContacts,
    ContactsCount,
    ContactsItem,
};
inline constexpr std::size_t kCallKinds = 11;

// Which calls fail, and how: lets tests fail any chosen call with a chosen
// number and description.
class FaultPlan {
public:
    // The call fails once `skip` further calls of its kind have succeeded, then
    // `times` times in a row (0: from then on).
    void failCall(Call call, std::int32_t number, std::u16string description, int skip = 0,
                  int times = 1);
    void clear();

    // Counts the call and throws the planned Error when it is due.
    void check(Call call);
    std::uint64_t callCount(Call call) const { return counts_[index(call)]; }

    // Keeps the order of calls from now on, for tests that check it.
    void recordCalls() { recording_ = true; }
    const std::vector<Call>& recordedCalls() const { return recorded_; }

private:
    struct Plan {
        bool armed = false;
        int skip = 0;
        int times = 0;
        std::int32_t number = 0;
        std::u16string description;
    };
    static std::size_t index(Call call) { return static_cast<std::size_t>(call); }

    std::array<Plan, kCallKinds> plans_{};
    std::array<std::uint64_t, kCallKinds> counts_{};
    bool recording_ = false;
    std::vector<Call> recorded_;
};

}  // namespace messenger::demo

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "messenger/client.h"

namespace messenger::demo {

// A contact of the simulated client. Its values change only through the
// service (DemoService) or the simulation.
class DemoContact final : public Contact {
public:
    DemoContact(std::u16string signinName, std::u16string friendlyName, std::int32_t status)
        : signinName_(std::move(signinName)),
          friendlyName_(std::move(friendlyName)),
          status_(status) {}

    std::u16string signinName() const override { return signinName_; }
    std::u16string friendlyName() const override { return friendlyName_; }
    std::int32_t status() const override { return status_; }

    void setFriendlyName(std::u16string name) { friendlyName_ = std::move(name); }
    void setStatus(std::int32_t status) { status_ = status; }

private:
    std::u16string signinName_;
    std::u16string friendlyName_;
    std::int32_t status_;
};

}  // namespace messenger::demo

#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "messenger/client.h"

// A way to reach a real client (COM, D-Bus, ...). Each binding offers one;
// the build chooses which bindings a program has.
namespace messenger {

// A command-line option a binding takes, as --name <value>.
struct BindingOption {
    std::u16string name;
    std::u16string valueName;
    std::u16string description;
    std::u16string valueNeeded;  // "an account name", for error messages
};

// The values given for a binding's options, by option name.
using BindingSettings = std::map<std::u16string, std::u16string>;

struct Binding {
    std::vector<BindingOption> options;
    // Attaches to the running client for sink; throws Error when none can be.
    std::function<std::unique_ptr<Client>(EventSink& sink, const BindingSettings& settings)>
        connect;
};

// The bindings this program was built with, in the order to try them.
const std::vector<Binding>& builtInBindings();

}  // namespace messenger

#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "messenger/client.h"
#include "messenger/diagnosis.h"

// A way to reach a real client (COM, D-Bus, ...). Each binding offers one;
// the build chooses which bindings a program has.
namespace messenger {

// A command-line option a binding takes, as --name <value> (or --name alone
// where valueName is empty). Members left out of an initializer are empty.
struct BindingOption {
    std::u16string name{};
    std::u16string valueName{};
    std::u16string description{};
    std::u16string valueNeeded{};  // "an account name", for error messages
    // Whether a value is one the binding can take; unset, any but "" is.
    std::function<bool(const std::u16string& value)> accepts{};
};

// The values given for a binding's options, by option name.
using BindingSettings = std::map<std::u16string, std::u16string>;

struct Binding {
    // The option that chooses this binding (as --demo), or none (an empty
    // name) for a binding the program tries in turn when none is chosen. A
    // chosen binding is never tried unasked, and its options apply with it
    // alone.
    BindingOption choice{};
    std::vector<BindingOption> options{};
    // Attaches to the running client for sink; throws Error when none can be.
    std::function<std::unique_ptr<Client>(EventSink& sink, const BindingSettings& settings)>
        connect{};
    // Writes this binding's part of the --diagnose report: what it finds of
    // its client, then the client's events for request.watchFor, running
    // the thread's event loop meanwhile. Never starts the client, and
    // changes nothing in it. Reports failures in the report, not by throwing.
    std::function<void(const BindingSettings& settings, const DiagnosisRequest& request,
                       const ReportLine& write)>
        diagnose{};
};

// The bindings this program was built with, in the order to try them.
const std::vector<Binding>& builtInBindings();

}  // namespace messenger

#include "shell/client_choice.h"

#include <optional>

namespace shell {

namespace {

// The real clients, tried in turn; the first failure is the one reported.
// With none built in, attaching fails as attaching to a client that is not
// installed does.
std::unique_ptr<messenger::Client> tryInTurn(const std::vector<messenger::Binding>& bindings,
                                             messenger::EventSink& sink,
                                             const messenger::BindingSettings& settings) {
    std::optional<messenger::Error> firstFailure;
    for (const messenger::Binding& binding : bindings) {
        if (!binding.choice.name.empty()) {
            continue;
        }
        try {
            return binding.connect(sink, settings);
        } catch (const messenger::Error& error) {
            if (!firstFailure) {
                firstFailure = error;
            }
        }
    }
    if (firstFailure) {
        throw *firstFailure;
    }
    throw messenger::Error(
        messenger::errc::kClassNotRegistered,
        u"No messenger client was found. Start your messenger client and sign in, then "
        u"start Quavel Logger again. To try Quavel Logger without one, start it with "
        u"--demo.");
}

}  // namespace

ClientFactory chooseClient(const std::vector<messenger::Binding>& bindings,
                           const Options& options) {
    if (options.chosenBinding) {
        return [connect = bindings.at(*options.chosenBinding).connect,
                settings = options.clientSettings](messenger::EventSink& sink) {
            return connect(sink, settings);
        };
    }
    return [bindings, settings = options.clientSettings](messenger::EventSink& sink) {
        return tryInTurn(bindings, sink, settings);
    };
}

}  // namespace shell

#include "messenger/binding.h"
#include "messenger/purple/purple_client.h"

namespace messenger::purple {

Binding binding() {
    // Only a libpurple client has several accounts to choose from.
    BindingOption account{u"account", u"name",
                          u"Log the client account <name> (as in alice@example.org) rather than "
                          u"the first one signed in.",
                          u"an account name"};
    return {.options = {std::move(account)},
            .connect = [](EventSink& sink, const BindingSettings& settings) {
                const auto chosen = settings.find(u"account");
                return connect(sink, chosen == settings.end()
                                         ? QString()
                                         : QString::fromStdU16String(chosen->second));
            }};
}

}  // namespace messenger::purple

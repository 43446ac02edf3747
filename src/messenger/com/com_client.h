#pragma once

#include <chrono>
#include <memory>

#include "messenger/client.h"

namespace messenger::com {

// Attaches to MSN Messenger / Windows Messenger through its automation
// object, on the calling thread, which must be a single-threaded apartment
// that pumps messages (the user-interface thread): the client's events
// arrive there. Throws Error when the client cannot be created or refuses
// its events. Once attached, a client that quits is looked for every
// checkEvery, without starting it, and attached again when it runs.
std::unique_ptr<Client> connect(EventSink& sink,
                                std::chrono::milliseconds checkEvery = std::chrono::seconds(5));

}  // namespace messenger::com

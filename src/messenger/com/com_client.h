#pragma once

#include <memory>

#include "messenger/client.h"

namespace messenger::com {

// Attaches to MSN Messenger / Windows Messenger through its automation
// object, on the calling thread, which must be a single-threaded apartment
// that pumps messages (the user-interface thread): the client's events
// arrive there. Throws Error when the client cannot be created or refuses
// its events.
std::unique_ptr<Client> connect(EventSink& sink);

}  // namespace messenger::com

#include "messenger/com/com_client.h"

#include <ocidl.h>

#include "messenger/binding.h"
#include "messenger/com/com_error.h"
#include "messenger/com/com_handles.h"
#include "messenger/com/dispatch_calls.h"
#include "messenger/com/messenger_events.h"
#include "messenger/com/messenger_members.h"

namespace messenger::com {

namespace {

// COM on this thread for as long as the client is attached. Where the thread
// already has its apartment (Qt initialises OLE on its GUI thread) this only
// counts one more user of it. A multithreaded apartment would take the
// client's events on threads of COM's own, behind the caller's back: refused.
class Apartment {
public:
    Apartment() {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (hr == RPC_E_CHANGED_MODE) {
            throw Error(static_cast<std::int32_t>(hr),
                        u"Quavel Logger can attach to the messenger client only from a "
                        u"single-threaded apartment, where its events can arrive.");
        }
        if (FAILED(hr)) {
            throw errorFor(hr, u"Starting COM");
        }
        initialised_ = true;
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (initialised_) {
            CoUninitialize();
        }
    }

private:
    bool initialised_ = false;
};

ComPtr<IDispatch> createMessenger() {
    ComPtr<IDispatch> messenger;
    SetErrorInfo(0, nullptr);
    const HRESULT hr =
        CoCreateInstance(kMessengerClass, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                         IID_IDispatch, messenger.putVoid());
    if (hr == REGDB_E_CLASSNOTREG) {
        throw Error(static_cast<std::int32_t>(hr),
                    u"No messenger client was found: MSN Messenger or Windows Messenger is not "
                    u"installed. Install and start it, sign in, then start Quavel Logger again. "
                    u"To try Quavel Logger without one, start it with --demo.");
    }
    check(hr, u"Starting the messenger client");
    return messenger;
}

class ComClient final : public Client {
public:
    explicit ComClient(EventSink& sink)
        : messenger_(createMessenger()), ids_(std::make_shared<MemberIds>()) {
        // Check the members the program uses up front, so a client without
        // them is reported at once, by name.
        for (const Member& member :
             {member::kMySigninName, member::kMyFriendlyName, member::kMyStatus}) {
            ids_->idOf(messenger_.get(), member);
        }
        subscribe(sink);
    }

    ComClient(const ComClient&) = delete;
    ComClient& operator=(const ComClient&) = delete;

    ~ComClient() override {
        if (events_) {
            events_->detach();
        }
        if (connectionPoint_) {
            connectionPoint_->Unadvise(cookie_);
        }
    }

    std::u16string mySigninName() const override { return readText(member::kMySigninName); }
    std::u16string myFriendlyName() const override { return readText(member::kMyFriendlyName); }
    std::int32_t myStatus() const override {
        return toInt32(read(member::kMyStatus).get(), u"Reading MyStatus");
    }
    void requestMyStatus(std::int32_t status) override {
        putProperty(messenger_.get(), ids_->idOf(messenger_.get(), member::kMyStatus), status,
                    u"Setting MyStatus");
    }

private:
    void subscribe(EventSink& sink) {
        HRESULT hr = S_OK;
        const auto container =
            messenger_.query<IConnectionPointContainer>(IID_IConnectionPointContainer, &hr);
        check(hr, u"Subscribing to the messenger client's events");
        SetErrorInfo(0, nullptr);
        check(container->FindConnectionPoint(kMessengerEvents, connectionPoint_.put()),
              u"Subscribing to the messenger client's events");
        events_ = MessengerEvents::create(sink, ids_);
        SetErrorInfo(0, nullptr);
        check(connectionPoint_->Advise(events_.get(), &cookie_),
              u"Subscribing to the messenger client's events");
    }

    Variant read(const Member& member) const {
        return getProperty(messenger_.get(), ids_->idOf(messenger_.get(), member),
                           u"Reading " + nameOf(member));
    }
    std::u16string readText(const Member& member) const {
        return toText(read(member).get(), u"Reading " + nameOf(member));
    }

    Apartment apartment_;
    ComPtr<IDispatch> messenger_;
    std::shared_ptr<MemberIds> ids_;
    ComPtr<IConnectionPoint> connectionPoint_;
    ComPtr<MessengerEvents> events_;
    DWORD cookie_ = 0;
};

}  // namespace

std::unique_ptr<Client> connect(EventSink& sink) {
    return std::make_unique<ComClient>(sink);
}

Binding binding() {
    return {.connect = [](EventSink& sink, const BindingSettings&) { return connect(sink); }};
}

}  // namespace messenger::com

#include "messenger/com/com_client.h"

#include <ocidl.h>

#include "messenger/binding.h"
#include "messenger/com/client_process.h"
#include "messenger/com/client_watch.h"
#include "messenger/com/com_diagnosis.h"
#include "messenger/com/com_error.h"
#include "messenger/com/com_handles.h"
#include "messenger/com/dispatch_calls.h"
#include "messenger/com/messenger_events.h"
#include "messenger/com/messenger_members.h"
#include "messenger/status_codes.h"

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

// One attachment to a running client: its object, checked, and the
// subscription to its events. A new one for each time the client runs: a
// client started again may be another version, with other ids.
class Session {
public:
    Session(ComPtr<IDispatch> messenger, EventSink& sink)
        : messenger_(std::move(messenger)), ids_(std::make_shared<MemberIds>()) {
        // Check the members the program uses up front, so a client without
        // them is reported at once, by name.
        for (const Member& member :
             {member::kMySigninName, member::kMyFriendlyName, member::kMyStatus}) {
            ids_->idOf(messenger_.get(), member);
        }
        subscribe(sink);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        if (events_) {
            events_->detach();
        }
        // A client that has quit can no longer be told.
        if (connectionPoint_ && !clientGone_) {
            connectionPoint_->Unadvise(cookie_);
        }
    }

    void clientGone() { clientGone_ = true; }

    Variant read(const Member& member) const {
        return getProperty(messenger_.get(), ids_->idOf(messenger_.get(), member),
                           u"Reading " + nameOf(member));
    }
    void write(const Member& member, std::int32_t value) {
        putProperty(messenger_.get(), ids_->idOf(messenger_.get(), member), value,
                    u"Setting " + nameOf(member));
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

    ComPtr<IDispatch> messenger_;
    std::shared_ptr<MemberIds> ids_;
    ComPtr<IConnectionPoint> connectionPoint_;
    ComPtr<MessengerEvents> events_;
    DWORD cookie_ = 0;
    bool clientGone_ = false;
};

// The running client's object where it is running, else none: never starts
// it. Where the client's process is there but it offers its object only
// through its class, the class is asked once the process has been seen for a
// whole check interval, time enough to have registered it.
ComPtr<IDispatch> runningMessenger(bool seenBefore) {
    ComPtr<IUnknown> active;
    if (SUCCEEDED(GetActiveObject(kMessengerClass, nullptr, active.put()))) {
        if (auto messenger = active.query<IDispatch>(IID_IDispatch)) {
            return messenger;
        }
    }
    return seenBefore ? createMessenger() : ComPtr<IDispatch>();
}

// The client, attached while it runs. When its process ends the user is
// told, the user's status reads offline, and the client is attached again
// once it runs again, found without starting it.
class ComClient final : public Client {
public:
    ComClient(EventSink& sink, std::chrono::milliseconds checkEvery)
        : sink_(sink),
          checkEvery_(checkEvery),
          watch_([this] { clientEnded(); }, [this] { lookForClient(); }),
          session_(std::make_unique<Session>(createMessenger(), sink)) {
        toldStatus_ = myStatus();
        watchClientProcess();
    }

    std::u16string mySigninName() const override {
        return session_ ? signinName_ = readText(member::kMySigninName) : signinName_;
    }
    std::u16string myFriendlyName() const override {
        return session_ ? friendlyName_ = readText(member::kMyFriendlyName) : friendlyName_;
    }
    std::int32_t myStatus() const override {
        return session_ ? toInt32(session_->read(member::kMyStatus).get(), u"Reading MyStatus")
                        : status::kOffline;
    }
    void requestMyStatus(std::int32_t status) override {
        if (!session_) {
            throw Error(errc::kClientGone,
                        u"Your messenger client is not running. Start it, and Quavel Logger "
                        u"attaches to it again.");
        }
        session_->write(member::kMyStatus, status);
    }

private:
    std::u16string readText(const Member& member) const {
        return toText(session_->read(member).get(), u"Reading " + nameOf(member));
    }

    void watchClientProcess() {
        program_ = clientProgramPath();
        const auto running = processesRunning(program_);
        if (!running.empty()) {
            watch_.watchProcess(running.front());
        }
    }

    void clientEnded() {
        if (!session_) {
            return;
        }
        session_->clientGone();
        session_.reset();
        sink_.clientFailed(Error(errc::kClientGone,
                                 u"Your messenger client has quit. Quavel Logger attaches to it "
                                 u"again when it is running again."));
        tellMyStatus();
        seenRunning_ = false;
        watch_.startTicking(checkEvery_);
    }

    void lookForClient() {
        if (processesRunning(program_).empty()) {
            seenRunning_ = false;
            return;
        }
        try {
            auto messenger = runningMessenger(std::exchange(seenRunning_, true));
            if (!messenger) {
                return;
            }
            session_ = std::make_unique<Session>(std::move(messenger), sink_);
        } catch (const Error&) {
            return;  // still starting, or signing in: the next check tries again
        }
        watch_.stopTicking();
        watchClientProcess();
        tellMyStatus();
    }

    void tellMyStatus() {
        try {
            const std::int32_t status = myStatus();
            if (status != std::exchange(toldStatus_, status)) {
                sink_.myStatusChanged();
            }
        } catch (const Error& error) {
            sink_.clientFailed(error);
        }
    }

    Apartment apartment_;
    EventSink& sink_;
    std::chrono::milliseconds checkEvery_;
    ClientWatch watch_;
    std::unique_ptr<Session> session_;
    std::wstring program_;
    mutable std::u16string signinName_;
    mutable std::u16string friendlyName_;
    std::int32_t toldStatus_ = status::kOffline;
    bool seenRunning_ = false;
};

}  // namespace

std::unique_ptr<Client> connect(EventSink& sink, std::chrono::milliseconds checkEvery) {
    return std::make_unique<ComClient>(sink, checkEvery);
}

Binding binding() {
    return {.connect = [](EventSink& sink, const BindingSettings&) { return connect(sink); },
            .diagnose = [](const BindingSettings&, const DiagnosisRequest& request,
                           const ReportLine& write) { diagnose(request, write); }};
}

}  // namespace messenger::com

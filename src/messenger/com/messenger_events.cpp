#include "messenger/com/messenger_events.h"

#include "messenger/com/com_error.h"
#include "messenger/com/com_objects.h"
#include "messenger/com/messenger_members.h"

namespace messenger::com {

namespace {

// One event's arguments, by their declared position (COM passes them last
// first). Only the objects are read: the other arguments repeat what the
// program reads afresh.
class EventArguments {
public:
    EventArguments(const DISPPARAMS& parameters, UINT expected, std::u16string eventName)
        : parameters_(parameters), name_(std::move(eventName)) {
        if (parameters.cNamedArgs != 0) {
            throw Error(static_cast<std::int32_t>(DISP_E_NONAMEDARGS),
                        name_ + u": the messenger client passed named arguments.");
        }
        if (parameters.cArgs != expected || (expected > 0 && !parameters.rgvarg)) {
            throw Error(static_cast<std::int32_t>(DISP_E_BADPARAMCOUNT),
                        name_ + u": the messenger client passed " + decimalText(parameters.cArgs) +
                            u" arguments instead of " + decimalText(expected) + u".");
        }
    }

    ComPtr<IDispatch> object(UINT position) const {
        return toObject(at(position), context(position));
    }

private:
    const VARIANT& at(UINT position) const {
        return parameters_.rgvarg[parameters_.cArgs - 1 - position];
    }
    std::u16string context(UINT position) const {
        return name_ + u", argument " + static_cast<char16_t>(u'1' + position);
    }

    const DISPPARAMS& parameters_;
    std::u16string name_;
};

// The program is never handed a null object: an event without one is a
// failure of the client's.
template <typename Wrapper>
std::shared_ptr<Wrapper> wrap(ComPtr<IDispatch> object, const std::shared_ptr<MemberIds>& ids,
                              const std::u16string& eventName) {
    if (!object) {
        throw Error(errc::kNullObject, eventName + u": the messenger client passed no object.");
    }
    return std::make_shared<Wrapper>(std::move(object), ids);
}

}  // namespace

ComPtr<MessengerEvents> MessengerEvents::create(EventSink& sink, std::shared_ptr<MemberIds> ids) {
    // COM reference counting owns it from here: the last Release deletes it.
    return ComPtr<MessengerEvents>::adopt(new MessengerEvents(sink, std::move(ids)));
}

MessengerEvents::MessengerEvents(EventSink& sink, std::shared_ptr<MemberIds> ids)
    : sink_(&sink), ids_(std::move(ids)) {}

HRESULT MessengerEvents::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kMessengerEvents) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG MessengerEvents::AddRef() {
    return ++references_;
}

ULONG MessengerEvents::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT MessengerEvents::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT MessengerEvents::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT MessengerEvents::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT MessengerEvents::Invoke(DISPID id, REFIID iid, LCID, WORD, DISPPARAMS* parameters,
                                VARIANT* result, EXCEPINFO*, UINT*) {
    if (iid != IID_NULL) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (result) {
        VariantInit(result);
    }
    if (!sink_) {
        return S_OK;
    }
    try {
        DISPPARAMS none{};
        deliver(id, parameters ? *parameters : none);
        return S_OK;
    } catch (const Error& error) {
        report(error);
        return static_cast<HRESULT>(error.number());
    } catch (const std::bad_alloc&) {
        report(Error(errc::kOutOfMemory, u"There is not enough memory to handle a client event."));
        return E_OUTOFMEMORY;
    } catch (...) {
        // Nothing may cross back into the client.
        report(Error(errc::kFail, u"A client event could not be handled."));
        return E_UNEXPECTED;
    }
}

void MessengerEvents::deliver(DISPID id, const DISPPARAMS& parameters) {
    switch (id) {
        case event::kOnContactFriendlyNameChange: {
            const EventArguments arguments(parameters, 3, u"OnContactFriendlyNameChange");
            sink_->contactNameChanged(
                wrap<ComContact>(arguments.object(1), ids_, u"OnContactFriendlyNameChange"));
            break;
        }
        case event::kOnMyFriendlyNameChange: {
            EventArguments(parameters, 2, u"OnMyFriendlyNameChange");
            sink_->myNameChanged();
            break;
        }
        case event::kOnContactStatusChange: {
            const EventArguments arguments(parameters, 2, u"OnContactStatusChange");
            sink_->contactStatusChanged(
                wrap<ComContact>(arguments.object(0), ids_, u"OnContactStatusChange"));
            break;
        }
        case event::kOnMyStatusChange: {
            EventArguments(parameters, 2, u"OnMyStatusChange");
            sink_->myStatusChanged();
            break;
        }
        case event::kOnIMWindowCreated: {
            const EventArguments arguments(parameters, 1, u"OnIMWindowCreated");
            sink_->conversationOpened(
                wrap<ComConversationWindow>(arguments.object(0), ids_, u"OnIMWindowCreated"));
            break;
        }
        case event::kOnIMWindowDestroyed: {
            const EventArguments arguments(parameters, 1, u"OnIMWindowDestroyed");
            sink_->conversationClosed(
                wrap<ComConversationWindow>(arguments.object(0), ids_, u"OnIMWindowDestroyed"));
            break;
        }
        default: break;  // The client raises many events the program has no use for.
    }
}

void MessengerEvents::report(const Error& error) {
    try {
        if (sink_) {
            sink_->clientFailed(error);
        }
    } catch (...) {
        // A failing report must not cross back into the client either.
    }
}

}  // namespace messenger::com

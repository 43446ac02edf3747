#include "messenger_events.h"

#include "com_error.h"
#include "com_objects.h"
#include "messenger_members.h"

namespace messenger::com {

namespace {

// One event's arguments, by their declared position. COM passes them last
// first.
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

    std::int32_t number(UINT position) const { return toInt32(at(position), context(position)); }
    std::u16string text(UINT position) const { return toText(at(position), context(position)); }
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

template <typename Wrapper>
std::shared_ptr<Object> wrap(ComPtr<IDispatch> object, const std::shared_ptr<MemberIds>& ids) {
    if (!object)
        return nullptr;
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
    if (!object)
        return E_POINTER;
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
    if (left == 0)
        delete this;
    return left;
}

HRESULT MessengerEvents::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT MessengerEvents::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT MessengerEvents::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT MessengerEvents::Invoke(DISPID id, REFIID iid, LCID, WORD, DISPPARAMS* parameters,
                                VARIANT* result, EXCEPINFO*, UINT*) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (result)
        VariantInit(result);
    if (!sink_)
        return S_OK;
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
            sink_->OnContactFriendlyNameChange(arguments.number(0),
                                               wrap<ComContact>(arguments.object(1), ids_),
                                               arguments.text(2));
            break;
        }
        case event::kOnMyFriendlyNameChange: {
            const EventArguments arguments(parameters, 2, u"OnMyFriendlyNameChange");
            sink_->OnMyFriendlyNameChange(arguments.number(0), arguments.text(1));
            break;
        }
        case event::kOnContactStatusChange: {
            const EventArguments arguments(parameters, 2, u"OnContactStatusChange");
            sink_->OnContactStatusChange(wrap<ComContact>(arguments.object(0), ids_),
                                         arguments.number(1));
            break;
        }
        case event::kOnMyStatusChange: {
            const EventArguments arguments(parameters, 2, u"OnMyStatusChange");
            sink_->OnMyStatusChange(arguments.number(0), arguments.number(1));
            break;
        }
        case event::kOnIMWindowCreated: {
            const EventArguments arguments(parameters, 1, u"OnIMWindowCreated");
            sink_->OnIMWindowCreated(wrap<ComConversationWindow>(arguments.object(0), ids_));
            break;
        }
        case event::kOnIMWindowDestroyed: {
            const EventArguments arguments(parameters, 1, u"OnIMWindowDestroyed");
            sink_->OnIMWindowDestroyed(wrap<ComConversationWindow>(arguments.object(0), ids_));
            break;
        }
        default: break;  // The client raises many events the program has no use for.
    }
}

void MessengerEvents::report(const Error& error) {
    try {
        if (sink_)
            sink_->OnClientError(error);
    } catch (...) {
        // A failing report must not cross back into the client either.
    }
}

}  // namespace messenger::com

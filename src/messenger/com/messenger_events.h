#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <atomic>
#include <memory>
#include <oleauto.h>

#include "messenger/client.h"
#include "messenger/com/com_handles.h"
#include "messenger/com/dispatch_calls.h"

namespace messenger::com {

// The object the client raises its events on (DMessengerEvents). It turns
// the six events the program uses into calls on an EventSink, checks each
// event's arguments first, and ignores every other event the client raises.
// Its lifetime is COM's: it lives while anyone holds a reference.
class MessengerEvents final : public IDispatch {
public:
    static ComPtr<MessengerEvents> create(EventSink& sink, std::shared_ptr<MemberIds> ids);
    // From here on events are ignored, even from a client that still holds us.
    void detach() { sink_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO*, UINT* badArgument) override;

private:
    MessengerEvents(EventSink& sink, std::shared_ptr<MemberIds> ids);
    ~MessengerEvents() = default;
    void deliver(DISPID id, const DISPPARAMS& parameters);
    void report(const Error& error);

    std::atomic<ULONG> references_{1};
    EventSink* sink_;
    std::shared_ptr<MemberIds> ids_;
};

}  // namespace messenger::com

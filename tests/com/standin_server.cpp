#include "standin_server.h"

#include <cstdio>
#include <cstdlib>

#include "messenger_members.h"
#include "standin_messenger.h"

namespace {

constexpr UINT kRunWork = WM_APP + 1;
constexpr DWORD kPatience = 10000;  // a stand-in that takes longer has hung

struct Work {
    const std::function<void()>* work;
    HANDLE done;
};

}  // namespace

StandInServer::StandInServer(Apartment apartment, Registration registration)
    : apartment_(apartment), registration_(registration) {
    standin::world = standin::World{};
    if (apartment_ == Apartment::TheTests) {
        registerClass();
        return;
    }
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, threadMain, this, 0, &threadId_);
    waitPumping(ready_);
}

StandInServer::~StandInServer() {
    if (apartment_ == Apartment::TheTests) {
        standin::world.dropSubscribers();
        revokeClass();
        return;
    }
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    // Releasing the subscriber on the way out calls back into this apartment.
    waitPumping(thread_);
    CloseHandle(thread_);
    CloseHandle(ready_);
}

void StandInServer::registerClass() {
    if (registration_ == Registration::NotRegistered)
        return;
    const HRESULT hr = CoRegisterClassObject(messenger::com::kMessengerClass, standin::messengerFactory(),
                                             CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    if (FAILED(hr)) {
        std::fprintf(stderr, "cannot register the stand-in class object: 0x%08lX\n", static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

void StandInServer::revokeClass() {
    if (cookie_ != 0)
        CoRevokeClassObject(cookie_);
    cookie_ = 0;
}

DWORD WINAPI StandInServer::threadMain(void* self) {
    auto& server = *static_cast<StandInServer*>(self);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists from here
    server.registerClass();
    SetEvent(server.ready_);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kRunWork) {
            auto* work = reinterpret_cast<Work*>(message.lParam);
            (*work->work)();
            SetEvent(work->done);
        } else {
            DispatchMessageW(&message);
        }
    }
    standin::world.dropSubscribers();
    server.revokeClass();
    CoUninitialize();
    return 0;
}

void StandInServer::run(const std::function<void()>& work) {
    if (apartment_ == Apartment::TheTests) {
        work();
        return;
    }
    Work message{&work, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    PostThreadMessageW(threadId_, kRunWork, 0, reinterpret_cast<LPARAM>(&message));
    waitPumping(message.done);
    CloseHandle(message.done);
}

void StandInServer::waitPumping(HANDLE handle) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited > kPatience) {
            std::fprintf(stderr, "the stand-in's apartment did not answer within %lu ms\n",
                         static_cast<unsigned long>(kPatience));
            std::fflush(stderr);
            std::_Exit(3);
        }
        const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, kPatience - waited, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            return;
        pumpMessages(0);
    }
}

void pumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (milliseconds > 0)
            Sleep(1);
    } while (GetTickCount() - start < milliseconds);
}

#include "messenger/com/client_watch.h"

#include "messenger/com/com_error.h"

namespace messenger::com {

namespace {

constexpr UINT kProcessEnded = WM_APP + 1;
constexpr UINT_PTR kTickTimer = 1;
constexpr wchar_t kWindowClass[] = L"QuavelLoggerClientWatch";

void registerWindowClass(WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    // Already registered by an earlier watch is as good.
    RegisterClassExW(&windowClass);
}

}  // namespace

ClientWatch::ClientWatch(std::function<void()> ended, std::function<void()> tick)
    : ended_(std::move(ended)), tick_(std::move(tick)) {
    registerWindowClass(&ClientWatch::windowProcedure);
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!window_) {
        throw errorFor(HRESULT_FROM_WIN32(GetLastError()), u"Watching the messenger client");
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ClientWatch::~ClientWatch() {
    stopWatchingProcess();
    DestroyWindow(window_);
}

bool ClientWatch::watchProcess(DWORD id) {
    stopWatchingProcess();
    process_ = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process_) {
        return false;
    }
    if (!RegisterWaitForSingleObject(&wait_, process_, &ClientWatch::processEnded, window_,
                                     INFINITE, WT_EXECUTEONLYONCE)) {
        wait_ = nullptr;
        stopWatchingProcess();
        return false;
    }
    return true;
}

void ClientWatch::stopWatchingProcess() {
    if (wait_) {
        // Waits for a callback under way, so none posts after this.
        UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
        wait_ = nullptr;
    }
    if (process_) {
        CloseHandle(process_);
        process_ = nullptr;
    }
    MSG stale;
    while (PeekMessageW(&stale, window_, kProcessEnded, kProcessEnded, PM_REMOVE)) {
    }
}

void ClientWatch::startTicking(std::chrono::milliseconds interval) {
    SetTimer(window_, kTickTimer, static_cast<UINT>(interval.count()), nullptr);
}

void ClientWatch::stopTicking() {
    KillTimer(window_, kTickTimer);
}

void CALLBACK ClientWatch::processEnded(void* window, BOOLEAN) {
    // On a pool thread: the news goes to the watch's own thread.
    PostMessageW(static_cast<HWND>(window), kProcessEnded, 0, 0);
}

LRESULT CALLBACK ClientWatch::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    auto* watch = reinterpret_cast<ClientWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const bool ended = message == kProcessEnded;
    if (!watch || !(ended || (message == WM_TIMER && wParam == kTickTimer))) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing may unwind through the system's window code.
    try {
        if (ended) {
            watch->stopWatchingProcess();
            watch->ended_();
        } else {
            watch->tick_();
        }
    } catch (...) {
    }
    return 0;
}

}  // namespace messenger::com

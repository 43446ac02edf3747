#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <chrono>
#include <functional>

namespace messenger::com {

// Tells, on the thread that made it, when a process ends, and ticks while
// the client is away. Both arrive as messages of a window of its own, so
// they come through whatever loop pumps the thread's messages (Qt's too),
// and never while a call is under way elsewhere on the stack.
class ClientWatch {
public:
    ClientWatch(std::function<void()> ended, std::function<void()> tick);
    ClientWatch(const ClientWatch&) = delete;
    ClientWatch& operator=(const ClientWatch&) = delete;
    ~ClientWatch();

    // ended() once process `id` has ended; false where it cannot be watched.
    bool watchProcess(DWORD id);
    void stopWatchingProcess();
    // tick() every interval until stopTicking().
    void startTicking(std::chrono::milliseconds interval);
    void stopTicking();

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM, LPARAM);
    static void CALLBACK processEnded(void* window, BOOLEAN);

    std::function<void()> ended_;
    std::function<void()> tick_;
    HWND window_ = nullptr;
    HANDLE process_ = nullptr;
    HANDLE wait_ = nullptr;
};

}  // namespace messenger::com

#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <functional>

// Where the stand-in client lives while a test runs: in the test's own
// apartment, or in a second single-threaded apartment of the same process,
// so that calls and events cross through the real marshaller.
class StandInServer {
public:
    enum class Apartment { TheTests, SecondThread };
    enum class Registration { Registered, NotRegistered };

    explicit StandInServer(Apartment apartment, Registration registration = Registration::Registered);
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;
    ~StandInServer();

    // Runs work in the stand-in's apartment and waits for it. Meanwhile this
    // thread pumps its messages, so events the work raises reach it.
    void run(const std::function<void()>& work);

private:
    static DWORD WINAPI threadMain(void* self);
    void registerClass();
    void revokeClass();
    void waitPumping(HANDLE handle);

    Apartment apartment_;
    Registration registration_;
    DWORD cookie_ = 0;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE ready_ = nullptr;
};

// Delivers the messages this thread has waiting, for about the given time.
void pumpMessages(DWORD milliseconds);

#include "shell/console_text.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include "shell/app_identity.h"

namespace shell {

namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

bool writeTo(HANDLE handle, const QString& text) {
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        return WriteConsoleW(handle, text.utf16(), static_cast<DWORD>(text.size()), &written,
                             nullptr);
    }
    // A file or a pipe: UTF-8, as other programs read it.
    const QByteArray bytes = text.toUtf8();
    return WriteFile(handle, bytes.constData(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr);
}

}  // namespace

void printForUser(ConsoleStream stream, const QString& text) {
    // Output sent somewhere on purpose goes there.
    const HANDLE given =
        GetStdHandle(stream == ConsoleStream::Error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (given != nullptr && given != INVALID_HANDLE_VALUE && writeTo(given, text)) {
        return;
    }
    // A windowed program gets no console of its own; started from one, it
    // writes to that one, on a line of its own since the prompt is back.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const Handle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
        const bool written = console.valid() && writeTo(console.get(), u'\n' + text);
        FreeConsole();
        if (written) {
            return;
        }
    }
    // Started from Explorer or a shortcut: a message box says it.
    const QString caption = productName();
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.utf16()),
                reinterpret_cast<const wchar_t*>(caption.utf16()),
                MB_OK | (stream == ConsoleStream::Error ? MB_ICONWARNING : MB_ICONINFORMATION));
}

}  // namespace shell

#include "process/platform_win.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "process/platform.h"

namespace palmota::platform {

namespace {

std::atomic<bool> terminationFlag{false};
std::atomic<bool> cancelBlockingCalls{false};
// Signalled once a termination request came: for an event loop's event notifier.
HANDLE terminationSignal = nullptr;
// The thread that may sit in a blocking read of its standard input.
HANDLE mainThread = nullptr;

bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// The console sends its control events on a thread of its own. Ctrl+C and Ctrl+Break
// only ask: the program ends its exchange and closes the port on its own. Closing the
// console, logging off and shutting down end the process as soon as this returns, so the
// handler waits here while the program finishes (the system allows it about five
// seconds; no exchange lasts that long) and the process ends from its main thread.
BOOL WINAPI onControlEvent(DWORD event) {
    terminationFlag = true;
    if (terminationSignal) ::SetEvent(terminationSignal);
    if (cancelBlockingCalls && mainThread) ::CancelSynchronousIo(mainThread);
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return TRUE;
        default:
            ::Sleep(INFINITE);
            return TRUE;
    }
}

// Reopens one standard stream of the C library on `device` when the handle under it is
// missing, so that writing to it succeeds instead of failing the program's output.
void reopen(DWORD which, FILE* stream, const char* device, const char* mode) {
    if (usable(::GetStdHandle(which)) && _fileno(stream) >= 0) return;
    if (std::freopen(device, mode, stream) == nullptr) std::abort();
}

}  // namespace

void ensureStandardStreams() {
    // A window program has no console: started from one, it writes its messages (--help,
    // --version, the trace) there, as on Linux; started otherwise they go nowhere.
    const bool attached = !usable(::GetStdHandle(STD_OUTPUT_HANDLE)) &&
                          !usable(::GetStdHandle(STD_ERROR_HANDLE)) &&
                          ::AttachConsole(ATTACH_PARENT_PROCESS);
    if (attached) {
        reopen(STD_OUTPUT_HANDLE, stdout, "CONOUT$", "w");
        reopen(STD_ERROR_HANDLE, stderr, "CONOUT$", "w");
    }
    reopen(STD_INPUT_HANDLE, stdin, "NUL", "r");
    reopen(STD_OUTPUT_HANDLE, stdout, "NUL", "w");
    reopen(STD_ERROR_HANDLE, stderr, "NUL", "w");
}

void installTerminationHandlers(bool interruptBlockingCalls) {
    if (!terminationSignal) terminationSignal = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (interruptBlockingCalls && !mainThread) {
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                          &mainThread, 0, FALSE, DUPLICATE_SAME_ACCESS);
        cancelBlockingCalls = true;
    }
    ::SetConsoleCtrlHandler(onControlEvent, TRUE);
}

bool terminationRequested() {
    return terminationFlag;
}

int terminationFd() {
    return -1;
}

void* terminationEvent() {
    return terminationSignal;
}

std::string accountName() {
    wchar_t name[257];  // UNLEN + 1
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!::GetUserNameW(name, &size) || size == 0) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size - 1), nullptr,
                                             0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size - 1), text.data(), length,
                          nullptr, nullptr);
    return text;
}

std::string fileIdentity(const std::string& path) {
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), wide.data(),
                          length);
    // Opened for nothing but its information, beside whoever holds it open.
    const HANDLE file =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known) return {};
    const auto index =
        (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return std::to_string(info.dwVolumeSerialNumber) + ':' + std::to_string(index);
}

}  // namespace palmota::platform

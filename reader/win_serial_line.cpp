#include "reader/win_serial_line.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

#include "reader/clock.h"
#include "reader/protocol.h"

namespace palmota {

namespace {
// A command is one or two bytes: at 9600 baud they leave in about 2 ms.
constexpr DWORD kWriteTimeoutMs = 1000;
// No wait is longer than an hour: the longest the protocol asks for is a few seconds.
constexpr double kLongestWaitMs = 3600.0 * 1000.0;
constexpr std::string_view kDevicePrefix = "\\\\.\\";

HANDLE asHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

// The system's own words for an error number, without the line end it adds.
std::string systemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text),
        0, nullptr);
    std::string message = length && text ? std::string(text, length) : std::string();
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    if (message.empty()) message = "system error " + std::to_string(error);
    return message;
}

OpenError openErrorFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return {OpenError::Kind::NoSuchDevice, systemMessage(error), {}};
        // Windows opens a serial port for one program at a time: a port that exists but
        // refuses this user is held by another program.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return {OpenError::Kind::Busy, {}, {}};
        default:
            return {OpenError::Kind::Other, systemMessage(error), {}};
    }
}

// A read returns once it has the count asked for, or when `total` milliseconds have passed
// since it began, or, when `interval` is not 0, when that long passed between two bytes
// (MAXDWORD with a total of 0: at once, with what is there).
bool setTimeouts(HANDLE handle, DWORD interval, DWORD total) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = interval;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = total;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    return ::SetCommTimeouts(handle, &timeouts) != 0;
}

}  // namespace

WinSerialLine::WinSerialLine() : handle_(INVALID_HANDLE_VALUE) {}

WinSerialLine::~WinSerialLine() {
    close();
}

bool WinSerialLine::open(const std::string& device) {
    close();
    error_ = {};
    // COM10 and above are reachable only through the device namespace; every port is.
    const std::string path =
        device.rfind(kDevicePrefix, 0) == 0 ? device : std::string(kDevicePrefix) + device;
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = openErrorFor(::GetLastError());
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        // It opened, but it has no line settings: a disk, a printer, the console.
        error_ = {OpenError::Kind::NotASerialDevice, systemMessage(::GetLastError()), {}};
        ::CloseHandle(handle);
        return false;
    }
    dcb.BaudRate = protocol::kBaudRate;
    dcb.ByteSize = protocol::kDataBits;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(handle, &dcb) || !setTimeouts(handle, MAXDWORD, 0)) {
        error_ = {OpenError::Kind::NotASerialDevice, systemMessage(::GetLastError()), {}};
        ::CloseHandle(handle);
        return false;
    }
    ::SetupComm(handle, protocol::kReceiveBufferSize * 4, protocol::kReceiveBufferSize);
    // Drop what the system received before this opening.
    ::PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    handle_ = handle;
    readInterval_ = MAXDWORD;
    readTotal_ = 0;
    received_.clear();
    failed_ = false;
    return true;
}

bool WinSerialLine::isOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

void WinSerialLine::close() {
    if (isOpen()) ::CloseHandle(asHandle(handle_));
    handle_ = INVALID_HANDLE_VALUE;
    received_.clear();
    failed_ = false;
}

std::size_t WinSerialLine::write(const Bytes& bytes) {
    if (!isOpen() || failed_ || bytes.empty()) return 0;
    DWORD written = 0;
    if (!::WriteFile(asHandle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr))
        failed_ = true;
    return written;
}

int WinSerialLine::systemQueue() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(asHandle(handle_), &errors, &status)) {
        failed_ = true;
        return 0;
    }
    return static_cast<int>(status.cbInQue);
}

bool WinSerialLine::setReadTimeouts(unsigned long interval, unsigned long total) {
    if (interval == readInterval_ && total == readTotal_) return true;
    if (!setTimeouts(asHandle(handle_), interval, total)) {
        failed_ = true;
        return false;
    }
    readInterval_ = interval;
    readTotal_ = total;
    return true;
}

bool WinSerialLine::pull() {
    if (!isOpen() || failed_) return false;
    const int room = protocol::kReceiveBufferSize - static_cast<int>(received_.size());
    const int count = std::min(systemQueue(), room);
    if (count <= 0) return !failed_;
    // The system holds at least `count` bytes: a read of exactly that many returns at once,
    // whatever time-outs the last wait set.
    char chunk[protocol::kReceiveBufferSize];
    DWORD got = 0;
    if (!::ReadFile(asHandle(handle_), chunk, static_cast<DWORD>(count), &got, nullptr)) {
        // A Ctrl+C cancels the main thread's blocking calls (see waitForBytes); the bytes
        // stay with the system for the next read.
        if (::GetLastError() == ERROR_OPERATION_ABORTED) return true;
        failed_ = true;
        return false;
    }
    received_.append(chunk, got);
    return true;
}

int WinSerialLine::bytesWaiting() {
    if (!isOpen() || failed_) return static_cast<int>(received_.size());
    const int waiting = static_cast<int>(received_.size()) + systemQueue();
    return std::min(waiting, protocol::kReceiveBufferSize);
}

Bytes WinSerialLine::readAll() {
    if (!isOpen()) return {};
    pull();
    Bytes all;
    all.swap(received_);
    return all;
}

unsigned long WinSerialLine::readTimeoutMs(std::chrono::duration<double> timeLeft) {
    const double ms = std::ceil(std::max(timeLeft.count(), 0.0) * 1000.0);
    return static_cast<unsigned long>(std::clamp(ms, 1.0, kLongestWaitMs));
}

bool WinSerialLine::waitForBytes(std::chrono::duration<double> timeLeft) {
    if (!isOpen() || failed_) return false;
    if (static_cast<int>(received_.size()) >= protocol::kReceiveBufferSize) return true;
    // One byte, with no interval time-out: the read ends the moment a byte is there, or
    // after the time left. The byte may already be waiting; the caller counts again after
    // each wait, and the bytes after it stay in the system's queue, counted there.
    if (!setReadTimeouts(0, readTimeoutMs(timeLeft))) return false;
    char byte = 0;
    DWORD got = 0;
    if (!::ReadFile(asHandle(handle_), &byte, 1, &got, nullptr)) {
        // A Ctrl+C cancels the main thread's blocking read so that a session waiting on
        // its input ends; a wait on the Reader is not that read, and goes on: an exchange
        // under way always runs to its end (never a credit command without its amount).
        if (::GetLastError() == ERROR_OPERATION_ABORTED) return true;
        failed_ = true;
        return false;
    }
    received_.append(&byte, got);
    return true;
}

}  // namespace palmota

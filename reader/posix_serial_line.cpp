#include "reader/posix_serial_line.h"

#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string_view>

#include "reader/clock.h"
#include "reader/posix_device_checks.h"
#include "reader/protocol.h"

namespace palmota {

namespace {
// A command is one or two bytes: at 9600 baud they leave in about 2 ms.
constexpr int kWriteTimeoutMs = 1000;
// One pull takes at most this many chunks from the system; the receive buffer bounds it.
constexpr int kMaxChunksPerPull = 16;
constexpr auto kLongestWaitSlice = std::chrono::milliseconds{100};

// The name the serial library gives the device's lock file: LCK..ttyUSB0 for
// /dev/ttyUSB0, LCK.._tmp_reader for /tmp/reader.
std::string lockName(const std::string& device) {
    constexpr std::string_view kDeviceDirectory = "/dev/";
    std::string name =
        device.rfind(kDeviceDirectory, 0) == 0 ? device.substr(kDeviceDirectory.size()) : device;
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

// Whether the serial library can open `device` under that very name: it encodes names
// back to bytes in the local encoding, which loses bytes that are not valid there, and
// it makes a lock file named after the device.
bool carriedAsIs(const std::string& device) {
    const QByteArray bytes(device.data(), static_cast<qsizetype>(device.size()));
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes &&
           lockName(device).size() <= posix_device::kLongestFileName;
}

}  // namespace

PosixSerialLine::PosixSerialLine() = default;
PosixSerialLine::~PosixSerialLine() = default;

bool PosixSerialLine::open(const std::string& device) {
    error_ = {};
    bool missing = false;
    bool denied = false;
    if (std::string why = posix_device::characterDeviceProblem(device, &missing, &denied);
        !why.empty()) {
        // A path this user may not even look at (a link into another user's process, as
        // the emulator's --link is) gets no group to join: only its owner may use it.
        const auto kind = missing  ? OpenError::Kind::NoSuchDevice
                          : denied ? OpenError::Kind::PermissionDenied
                                   : OpenError::Kind::NotASerialDevice;
        error_ = {kind, why, {}};
        return false;
    }
    // Set raw, the terminal the program runs in would lose its echo and line editing, and
    // the first command would ring it.
    if (posix_device::isControllingTerminal(device)) {
        error_ = {OpenError::Kind::NotASerialDevice, "it is this program's own terminal", {}};
        return false;
    }
    // A name the serial library cannot carry goes to it as the device it resolves to.
    std::string name = device;
    if (!carriedAsIs(name)) {
        name = posix_device::canonicalPath(device);
        if (name.empty() || !carriedAsIs(name)) {
            const auto lock = posix_device::lockProblem(lockName(device));
            error_.reason = lock.kind == posix_device::LockProblem::Kind::NameTooLong
                                ? lock.detail
                                : "the device name is not valid in the local encoding";
            return false;
        }
    }
    port_.setPortName(
        QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size()))));
    port_.setReadBufferSize(protocol::kReceiveBufferSize);
    port_.setBaudRate(protocol::kBaudRate);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(protocol::kDataBits));
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(static_cast<QSerialPort::StopBits>(protocol::kStopBits));
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        explainOpenFailure(name);
        port_.clearError();
        return false;
    }
    // The serial library's lock file is named after the name it was given: a device opened
    // by two names (/dev/ttyUSB0 and its by-id link) would be used by two programs at once,
    // and root passes its exclusive hold. A lock on the device itself is shared by all names.
    if (std::string holder; !posix_device::lockDevice(port_.handle(), &holder)) {
        port_.close();
        port_.clearError();
        error_ = {OpenError::Kind::Busy, holder, {}};
        return false;
    }
    // Pseudo-terminals and some adapters have no DTR line; that is not a failure.
    port_.setDataTerminalReady(true);
    // Drop what the system received before this opening, not only what Qt buffered.
    port_.clear(QSerialPort::Input);
    port_.readAll();
    port_.clearError();
    return true;
}

bool PosixSerialLine::isOpen() const {
    return port_.isOpen();
}

void PosixSerialLine::close() {
    if (port_.isOpen()) port_.close();
    port_.clearError();
}

bool PosixSerialLine::broken() const {
    return !port_.isOpen() || port_.error() == QSerialPort::ResourceError;
}

void PosixSerialLine::explainOpenFailure(const std::string& device) {
    const auto failure = port_.error();
    error_.reason = port_.errorString().toStdString();
    if (failure == QSerialPort::DeviceNotFoundError) {
        error_.kind = OpenError::Kind::NoSuchDevice;
        return;
    }
    if (failure == QSerialPort::UnsupportedOperationError || error_.reason.empty()) {
        error_.kind = OpenError::Kind::NotASerialDevice;
        return;
    }
    if (failure != QSerialPort::PermissionError) return;
    // The library says "permission" for a refused open, a device held exclusively by
    // another program, and a lock file it could not make: tell them apart.
    if (::access(device.c_str(), R_OK | W_OK) != 0) {
        error_.kind = OpenError::Kind::PermissionDenied;
        error_.group = posix_device::accessGroup(device);
        return;
    }
    using Lock = posix_device::LockProblem::Kind;
    const posix_device::LockProblem lock = posix_device::lockProblem(lockName(device));
    if (lock.kind == Lock::HeldByProcess) {
        error_ = {OpenError::Kind::Busy, lock.detail, {}};
        return;
    }
    if (lock.kind != Lock::None) {
        error_.reason = lock.detail;
        return;
    }
    // Nothing else explains it: the system's own answer decides.
    switch (const int number = posix_device::openErrorNumber(device); number) {
        case EBUSY:
            error_ = {OpenError::Kind::Busy, std::generic_category().message(number), {}};
            break;
        case EACCES:
        case EPERM:
            error_ = {OpenError::Kind::PermissionDenied, std::generic_category().message(number),
                      posix_device::accessGroup(device)};
            break;
        default:
            break;
    }
}

std::size_t PosixSerialLine::write(const Bytes& bytes) {
    if (broken()) return 0;
    const qint64 queued = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (queued <= 0) return 0;
    // Without an event loop, Qt only hands the bytes to the system when asked to; what it
    // still holds afterwards did not reach the device.
    port_.waitForBytesWritten(kWriteTimeoutMs);
    return static_cast<std::size_t>(std::max<qint64>(0, queued - port_.bytesToWrite()));
}

void PosixSerialLine::pull() {
    // Take what the system has received, without blocking, until the receive buffer is
    // full; the rest stays with the system.
    for (int i = 0; i < kMaxChunksPerPull && !broken(); ++i) {
        if (port_.bytesAvailable() >= protocol::kReceiveBufferSize) break;
        if (!port_.waitForReadyRead(0)) break;
    }
}

int PosixSerialLine::bytesWaiting() {
    pull();
    return static_cast<int>(port_.bytesAvailable());
}

Bytes PosixSerialLine::readAll() {
    if (!port_.isOpen()) return {};
    pull();
    const QByteArray data = port_.readAll();
    return Bytes(data.constData(), static_cast<std::size_t>(data.size()));
}

bool PosixSerialLine::waitForBytes(std::chrono::duration<double> timeLeft) {
    if (broken()) return false;
    // The system may wake a poll late by a thousandth of its timeout: 3 ms on a 3-second
    // limit. Waiting in slices keeps that slack under a tenth of a millisecond; the
    // exchange checks the time after each slice anyway.
    const double left = std::min(timeLeft, Seconds{kLongestWaitSlice}).count();
    const auto ms = static_cast<int>(std::ceil(left * 1000.0));
    if (port_.waitForReadyRead(ms < 1 ? 1 : ms)) return true;
    const auto failure = port_.error();
    if (failure == QSerialPort::TimeoutError || failure == QSerialPort::NoError) {
        port_.clearError();
        return true;
    }
    // The device went away or failed: nothing more will come, so stop waiting at once.
    return false;
}

}  // namespace palmota

#include "reader/qt_serial_line.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <system_error>
#include <vector>

#include "reader/clock.h"

namespace palmota {

namespace {
constexpr int kBaudRate = 9600;
// A command is one or two bytes: at 9600 baud they leave in about 2 ms.
constexpr int kWriteTimeoutMs = 1000;
// One pull takes at most this many chunks from the system; the receive buffer bounds it.
constexpr int kMaxChunksPerPull = 16;
constexpr auto kLongestWaitSlice = std::chrono::milliseconds{100};

std::string systemError(int error) {
    return std::generic_category().message(error);
}

#ifndef _WIN32
// Only a character device can be a serial port: anything else (a regular file typed as
// the port, a directory) is refused before it is opened, so nothing is ever written to it.
std::string notASerialDevice(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return systemError(errno);
    if (!S_ISCHR(info.st_mode)) return "not a serial device";
    return {};
}

// The group whose members may read and write the device; empty when only its owner may.
std::string accessGroup(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return "dialout";
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
    struct group entry {};
    struct group* owner = nullptr;
    std::vector<char> names(4096);
    if (::getgrgid_r(info.st_gid, &entry, names.data(), names.size(), &owner) == 0 && owner)
        return owner->gr_name;
    return std::to_string(info.st_gid);
}
#endif
}  // namespace

QtSerialLine::QtSerialLine() = default;
QtSerialLine::~QtSerialLine() = default;

bool QtSerialLine::open(const std::string& device) {
    error_ = {};
#ifndef _WIN32
    if (std::string why = notASerialDevice(device); !why.empty()) {
        const bool missing = why == systemError(ENOENT);
        error_ = {
            missing ? OpenError::Kind::NoSuchDevice : OpenError::Kind::NotASerialDevice, why, {}};
        return false;
    }
#endif
    port_.setPortName(QString::fromStdString(device));
    port_.setReadBufferSize(kReceiveBufferSize);
    port_.setBaudRate(kBaudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto failure = port_.error();
        const std::string said = port_.errorString().toStdString();
        error_.reason = said;
        if (failure == QSerialPort::DeviceNotFoundError) {
            error_.kind = OpenError::Kind::NoSuchDevice;
#ifndef _WIN32
        } else if (failure == QSerialPort::PermissionError &&
                   ::access(device.c_str(), R_OK | W_OK) != 0) {
            error_.kind = OpenError::Kind::PermissionDenied;
            error_.group = accessGroup(device);
#endif
        } else if (failure == QSerialPort::PermissionError) {
            error_.kind = OpenError::Kind::Busy;
        } else if (failure == QSerialPort::UnsupportedOperationError || said.empty()) {
            error_.kind = OpenError::Kind::NotASerialDevice;
        }
        port_.clearError();
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

bool QtSerialLine::isOpen() const {
    return port_.isOpen();
}

void QtSerialLine::close() {
    if (port_.isOpen()) port_.close();
    port_.clearError();
}

bool QtSerialLine::broken() const {
    return !port_.isOpen() || port_.error() == QSerialPort::ResourceError;
}

void QtSerialLine::write(const Bytes& bytes) {
    if (broken()) return;
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Without an event loop, Qt only hands the bytes to the system when asked to.
    port_.waitForBytesWritten(kWriteTimeoutMs);
}

void QtSerialLine::pull() {
    // Take what the system has received, without blocking, until the receive buffer is
    // full; the rest stays with the system.
    for (int i = 0; i < kMaxChunksPerPull && !broken(); ++i) {
        if (port_.bytesAvailable() >= kReceiveBufferSize) break;
        if (!port_.waitForReadyRead(0)) break;
    }
}

int QtSerialLine::bytesWaiting() {
    pull();
    return static_cast<int>(port_.bytesAvailable());
}

Bytes QtSerialLine::readAll() {
    pull();
    const QByteArray data = port_.readAll();
    return Bytes(data.constData(), static_cast<std::size_t>(data.size()));
}

bool QtSerialLine::waitForBytes(std::chrono::duration<double> timeLeft) {
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

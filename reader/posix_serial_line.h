#pragma once

#include <QSerialPort>

#include "reader/serial_line.h"

namespace palmota {

// The serial line on Linux and other POSIX systems: a QSerialPort used without an event
// loop, on a character device the checks of posix_device_checks.h have let through. Reads
// pull what the system has received into the receive buffer (protocol::kReceiveBufferSize
// bytes); what does not fit stays with the system for a later read. Needs a
// QCoreApplication in the process.
class PosixSerialLine final : public SerialLine {
  public:
    PosixSerialLine();
    ~PosixSerialLine() override;

    bool open(const std::string& device) override;
    bool isOpen() const override;
    void close() override;
    std::size_t write(const Bytes& bytes) override;
    int bytesWaiting() override;
    Bytes readAll() override;
    bool waitForBytes(std::chrono::duration<double> timeLeft) override;
    OpenError openError() const override { return error_; }

  private:
    void explainOpenFailure(const std::string& device);
    void pull();
    bool broken() const;

    QSerialPort port_;
    OpenError error_;
};

}  // namespace palmota

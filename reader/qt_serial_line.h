#pragma once

#include <QSerialPort>

#include "reader/serial_line.h"

namespace palmota {

// The real serial line: a QSerialPort used without an event loop. Reads pull what the
// system has received into a receive buffer of 1024 bytes; what does not fit stays
// with the system for a later read. Needs a QCoreApplication in the process.
class QtSerialLine final : public SerialLine {
  public:
    static constexpr int kReceiveBufferSize = 1024;

    QtSerialLine();
    ~QtSerialLine() override;

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

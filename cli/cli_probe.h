#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

#include "reader/bytes.h"
#include "reader/clock.h"
#include "reader/serial_line.h"

namespace palmota::cli {

// What one port said to the ready check, for palmota-cli probe.
struct ProbeResult {
    enum class State { Ready, Answered, NoAnswer, Busy, CannotOpen };
    std::string device;
    State state = State::NoAnswer;
    Bytes reply;         // Ready, Answered: what came back
    std::string reason;  // Busy, CannotOpen: why, for technicians
    Seconds took{0};
};

// Opens `device` with the Reader's line settings, sends the ready check 00 and nothing
// else, waits at most a second for an answer and closes the port again. The line refuses
// anything that is not a serial device before opening it, so nothing reaches a file.
ProbeResult probePort(SerialLine& line, Clock& clock, const std::string& device);

// "PATH<TAB>ready", "PATH<TAB>answered<TAB>41 42", "PATH<TAB>no answer",
// "PATH<TAB>busy<TAB>WHY", "PATH<TAB>cannot open<TAB>WHY".
std::string probeLine(const ProbeResult& result);
QJsonObject probeJson(const ProbeResult& result);

// The line for standard error when no port answered the ready check with 00, empty when
// one did. Ports that could not even be opened were not asked: a run where none opened
// says so, rather than blaming a Reader that was never reached.
std::string probeVerdict(const std::vector<ProbeResult>& results);

}  // namespace palmota::cli

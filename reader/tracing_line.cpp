#include "reader/tracing_line.h"

#include <algorithm>
#include <cstdio>

#include "reader/byte_text.h"

namespace palmota {

TracingLine::TracingLine(SerialLine& line, std::ostream& out, Clock& clock)
    : line_(line), out_(out), clock_(clock), start_(clock.now()) {}

TracingLine::TracingLine(SerialLine& line, std::ostream& out)
    : line_(line), out_(out), clock_(steady_), start_(steady_.now()) {}

void TracingLine::trace(std::string_view what) {
    const double ms = std::chrono::duration<double, std::milli>(clock_.now() - start_).count();
    // Right-aligned milliseconds with microsecond digits, so that columns line up for the
    // first few minutes of a session and the gaps between bytes can be read off directly.
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%9.3f ms  ", ms);
    // Flushed line by line: a trace is read most when the program hangs or is killed.
    out_ << stamp << what << '\n' << std::flush;
}

bool TracingLine::open(const std::string& device) {
    const bool opened = line_.open(device);
    trace(opened ? "open " + device : "open " + device + " failed: " + line_.openError().reason);
    return opened;
}

void TracingLine::close() {
    const bool wasOpen = line_.isOpen();
    line_.close();
    if (wasOpen) trace("close");
}

std::size_t TracingLine::write(const Bytes& bytes) {
    const std::size_t sent = std::min(line_.write(bytes), bytes.size());
    std::string what = "->";
    if (sent > 0) what += " " + hexPairs(bytes.substr(0, sent));
    if (sent < bytes.size()) what += " (not sent: " + hexPairs(bytes.substr(sent)) + ")";
    trace(what);
    return sent;
}

Bytes TracingLine::readAll() {
    Bytes bytes = line_.readAll();
    trace(bytes.empty() ? std::string("<-") : "<- " + hexPairs(bytes));
    return bytes;
}

}  // namespace palmota

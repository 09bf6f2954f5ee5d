#include "cli/cli_probe.h"

#include <cmath>

#include "reader/byte_text.h"
#include "reader/exchange.h"
#include "reader/outcome.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

std::string_view stateName(ProbeResult::State state) {
    switch (state) {
        case ProbeResult::State::Ready:
            return "ready";
        case ProbeResult::State::Answered:
            return "answered";
        case ProbeResult::State::NoAnswer:
            return "no answer";
        case ProbeResult::State::Busy:
            return "busy";
        case ProbeResult::State::CannotOpen:
            return "cannot open";
    }
    return "cannot open";
}

}  // namespace

ProbeResult probePort(SerialLine& line, Clock& clock, const std::string& device) {
    ProbeResult result;
    result.device = device;
    const Seconds start = clock.now();
    if (!line.open(device)) {
        const OpenError error = line.openError();
        result.state = error.kind == OpenError::Kind::Busy ? ProbeResult::State::Busy
                                                           : ProbeResult::State::CannotOpen;
        result.reason = openErrorText(error);
        // The state says busy already.
        if (result.state == ProbeResult::State::Busy && result.reason.rfind("busy: ", 0) == 0)
            result.reason.erase(0, 6);
        result.took = clock.now() - start;
        return result;
    }
    // The link's own limit for the ready check: a Reader that is there answers well within it.
    result.reply = exchange(line, clock, Bytes(1, static_cast<char>(protocol::kReadyCheck)),
                            protocol::kStatusReplySize, protocol::kReadyCheckLimit);
    line.close();
    if (result.reply.empty())
        result.state = ProbeResult::State::NoAnswer;
    else if (protocol::byteAt(result.reply, 1) == protocol::kStatusOk)
        result.state = ProbeResult::State::Ready;
    else
        result.state = ProbeResult::State::Answered;
    result.took = clock.now() - start;
    return result;
}

std::string probeLine(const ProbeResult& result) {
    std::string text = printable(result.device) + '\t' + std::string(stateName(result.state));
    if (result.state == ProbeResult::State::Answered) text += '\t' + hexPairs(result.reply);
    if (!result.reason.empty()) text += '\t' + result.reason;
    return text;
}

QJsonObject probeJson(const ProbeResult& result) {
    std::string state(stateName(result.state));
    for (char& c : state)
        if (c == ' ') c = '-';
    QJsonObject object{{"port", QString::fromStdString(printable(result.device))},
                       {"state", QString::fromStdString(state)},
                       {"ok", result.state == ProbeResult::State::Ready},
                       {"ms", std::round(result.took.count() * 1e6) / 1e3}};
    if (!result.reply.empty()) object["bytes"] = QString::fromStdString(hexPairs(result.reply));
    if (!result.reason.empty()) object["reason"] = QString::fromStdString(result.reason);
    return object;
}

std::string probeVerdict(const std::vector<ProbeResult>& results) {
    std::size_t busy = 0;
    std::size_t unopened = 0;
    for (const ProbeResult& result : results) {
        if (result.state == ProbeResult::State::Ready) return {};
        if (result.state == ProbeResult::State::Busy) ++busy;
        if (result.state == ProbeResult::State::CannotOpen) ++unopened;
    }
    const std::size_t count = results.size();
    const std::string ports = std::to_string(count) + (count == 1 ? " port" : " ports");
    if (busy + unopened < count)
        return "no Reader answered the ready check on the " + ports +
               " tried (is it powered and plugged in?)";
    if (busy == count)
        return count == 1 ? "the port tried is busy: no Reader was asked (close the program "
                            "that holds it and try again)"
                          : "every one of the " + ports +
                                " tried is busy: no Reader was asked (close the programs "
                                "that hold them and try again)";
    return count == 1 ? "the port tried could not be opened: no Reader was asked"
                      : "none of the " + ports +
                            " tried could be opened (busy or refused): no Reader was asked";
}

}  // namespace palmota::cli

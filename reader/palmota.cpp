#include "reader/palmota.h"

#include "reader/protocol.h"

namespace palmota {

std::string resultText(const Outcome& o) {
    switch (o.operation) {
        case Operation::ReadCredit:
            return o.credit ? std::to_string(*o.credit) : std::string();
        case Operation::WriteCredit:
            if (o.succeeded()) return protocol::kResultOk;
            if (o.cause == Cause::UnexpectedReply || (o.cause == Cause::NoisyLine && o.amountSent))
                return {};
            return protocol::kResultError;
        case Operation::ReadBlock:
            if (o.block) return *o.block;
            break;
        case Operation::ReadSerialNumber:
            if (o.serial) return std::to_string(*o.serial);
            if (o.block) return {};
            break;
    }
    // No block reply: ERREUR when the ready check went unanswered (or the block number was
    // refused), nothing when it was answered on a noisy line.
    return o.cause == Cause::NoisyLine ? std::string() : std::string(protocol::kResultError);
}

std::string Palmota::told(Outcome outcome) {
    last_ = std::move(outcome);
    return resultText(last_);
}

std::string Palmota::ReadCredit() {
    return told(link_.readCredit());
}

std::string Palmota::WriteCredit(const std::string& amount) {
    // The window's amount is read here, once: anything but digits is refused, nothing sent.
    const auto typed = Amount::parse(amount);
    return told(typed ? link_.writeCredit(*typed) : ReaderLink::refusedWrite(amount));
}

std::string Palmota::ReadBlock(const std::int32_t& blockNumber) {
    return told(link_.readBlock(blockNumber));
}

std::string Palmota::ReadSerialNumber() {
    return told(link_.readSerialNumber());
}

}  // namespace palmota

#include "journal/journal.h"

namespace palmota::journal {

std::optional<std::string> WriteRow::badge() const {
    if (end && end->serialAfter) return end->serialAfter;
    return start.serial;
}

std::string serialSourceName(SerialSource source) {
    switch (source) {
        case SerialSource::None:
            break;
        case SerialSource::ReadNow:
            return "read-now";
        case SerialSource::LastRead:
            return "last-read";
    }
    return {};
}

SerialSource serialSourceFromName(const std::string& name) {
    if (name == "read-now") return SerialSource::ReadNow;
    if (name == "last-read") return SerialSource::LastRead;
    return SerialSource::None;
}

std::optional<int> creditAfter(const WriteRow& row) {
    if (row.resolution) return row.resolution->settled.credit;
    if (!row.end) return std::nullopt;
    if (row.end->after) return row.end->after;
    if (row.end->confirmed) return row.start.amount;
    return std::nullopt;
}

const char* chainBreakName(ChainBreak::Kind kind) {
    using Kind = ChainBreak::Kind;
    switch (kind) {
        case Kind::Inserted:
            return "inserted";
        case Kind::Removed:
            return "removed";
        case Kind::Altered:
            return "altered";
        case Kind::OutOfPlace:
            return "out-of-place";
        case Kind::Unsealed:
            return "unsealed";
        case Kind::SealBroken:
            return "seal-broken";
        case Kind::ClosureFigures:
            return "closure-figures";
    }
    return "";
}

}  // namespace palmota::journal

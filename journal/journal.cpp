#include "journal/journal.h"

#include "reader/byte_text.h"

#include <QString>
#include <QSysInfo>
#include <QtGlobal>

namespace palmota::journal {

std::optional<std::string> beginWrite(Journal& journal, const WriteStart& start,
                                      std::string& failure) {
    std::string error;
    auto id = journal.begin(start, error);
    if (!id)
        failure = "journal unavailable: " + printable(journal.where()) + ": " + error +
                  "; nothing written";
    return id;
}

WriteStart stationStart(const std::string& program, const std::string& port) {
    WriteStart start;
    start.station = QSysInfo::machineHostName().toStdString();
    for (const char* variable : {"USER", "LOGNAME", "USERNAME"}) {
        start.user = qEnvironmentVariable(variable).toStdString();
        if (!start.user.empty()) break;
    }
    start.program = program;
    start.port = port;
    return start;
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
    if (!row.end) return std::nullopt;
    if (row.end->after) return row.end->after;
    if (row.end->confirmed) return row.start.amount;
    return std::nullopt;
}

}  // namespace palmota::journal

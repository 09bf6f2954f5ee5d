#pragma once

// A desk's closed day, with plausible figures: what the renderers are tested on and what the
// printed closure in the documentation shows.
#include <string>

#include "journal/cashup.h"

namespace palmota::testing {

inline journal::ListedWrite listedWrite(const std::string& id, const std::string& utc,
                                        const std::string& user, const std::string& serial,
                                        int before, int topup, journal::WriteStanding standing,
                                        const std::string& cause) {
    journal::ListedWrite w;
    w.id = id;
    w.started = {utc, 60};
    w.station = "caisse-1";
    w.user = user;
    w.serial = serial;
    w.before = before;
    w.amount = before + topup;
    w.topup = topup;
    w.standing = standing;
    w.cause = cause;
    if (standing == journal::WriteStanding::Confirmed) w.after = before + topup;
    if (standing == journal::WriteStanding::Refused) w.after = before;
    return w;
}

inline journal::Closure sampleClosure() {
    using journal::WriteStanding;
    journal::Closure c;
    c.station = "caisse-1";
    c.number = 12;
    c.made = {"2026-12-09T18:05:12.400Z", 60};
    c.user = "mlefevre";
    c.program = "palmota-cli 1.5.0";
    c.first = journal::StationTime{"2026-12-09T07:58:03.120Z", 60};
    c.last = journal::StationTime{"2026-12-09T17:49:40.900Z", 60};
    c.writes = 42;
    c.confirmed = 39;
    c.refused = 1;
    c.doubtful = 1;
    c.resolved = 1;
    c.loaded = 20750;
    c.toppedUp = 20500;
    c.operators = {{"jdurand", 20, 19, 1, 0, 0, 9500, 9500},
                   {"mlefevre", 22, 20, 0, 1, 1, 11250, 11000}};
    c.open = {listedWrite("7d0c5a1e-2f43-4b8e-9a61-3c9b0f12e8aa", "2026-12-09T16:21:07.000Z",
                          "mlefevre", "4012551", 300, 500, WriteStanding::Doubtful,
                          "not-confirmed")};
    c.grandTotal = 1284300;
    c.chainHead = "9f2c4e61b07a3d58e1c6a9402f7b5d13c8e0a4b96d2f1357e8c0b9a6d4f21e37";
    return c;
}

}  // namespace palmota::testing

#pragma once

#include <QString>

namespace palmota::journal::schema {

// The journal's two tables: one row holding the schema's version, and the writes. Every
// statement of either back end names them through these.
inline QString versionTable() {
    return QStringLiteral("palmota_journal");
}
inline QString writesTable() {
    return QStringLiteral("credit_writes");
}

// Every record of the station's chain that is not a write begun: a write's outcome, an
// event (the seal of the rows before the chain, ...).
inline QString recordsTable() {
    return QStringLiteral("journal_records");
}

// The one statement that reads the schema's version.
inline QString readVersion() {
    return QStringLiteral("SELECT schema_version FROM %1").arg(versionTable());
}

// Takes the version from the one bound second to the one bound first.
inline QString setVersion() {
    return QStringLiteral("UPDATE %1 SET schema_version = ? WHERE schema_version = ?")
        .arg(versionTable());
}

}  // namespace palmota::journal::schema

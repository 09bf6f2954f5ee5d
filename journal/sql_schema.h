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

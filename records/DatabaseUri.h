#pragma once
// Where a line's database is, named as PostgreSQL users name it: a libpq connection URI, taken
// apart into what Qt's PostgreSQL driver takes (it takes no URI).
//
//   postgresql://[user@][host][:port][/dbname][?param=value&...]      (also postgres://)
//   postgresql://user@/dbname?host=/socket/folder&port=5433           a Unix socket's folder
//   postgresql://%2Fsocket%2Ffolder/dbname                            the same, percent-encoded
//
// Parts left out are libpq's defaults (PGHOST, PGPORT, PGUSER, the login name, ...). A password
// is never taken from a URI: libpq reads it from ~/.pgpass or the file PGPASSFILE names.
#include <QString>
#include <optional>

namespace mv62rec {

struct DatabaseAddress {
    QString host;  // a host name, an address, or a socket's folder (it begins with '/')
    int port = -1;
    QString database;
    QString user;
    // The URI's other parameters (sslmode, connect_timeout, application_name, ...) in the form
    // QSqlDatabase::setConnectOptions takes: "sslmode='require';connect_timeout='5'".
    QString options;
};

// The parts of a connection URI; empty with the reason in `error` for a URI that is not one, that
// holds a password, or names several hosts.
std::optional<DatabaseAddress> ParseDatabaseUri(const QString& uri, QString& error);

}  // namespace mv62rec

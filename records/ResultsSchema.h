#pragma once
// The tables of the records index and of the line's database: one schema for both, SQLite for the
// index and PostgreSQL for the line's database, with a version so that a later program can
// migrate an older database. The few places where the two dialects' SQL differs are here and in
// ResultsStore.cpp.
#include <QSqlDatabase>
#include <QString>

namespace mv62rec {

// SQLite holds a records folder's index, PostgreSQL a line's database.
enum class Dialect { Sqlite, Postgres };

// The version of the schema this program writes and reads.
inline constexpr int kSchemaVersion = 1;

// Creates the schema in an empty database, or migrates an older one to kSchemaVersion, in one
// transaction. A database of a newer schema is refused, and so is one that holds tables of our
// names that are not ours. `name` names the database in messages; `databaseId` is the id the
// database was given when its schema was created. `newer` tells a refusal for a newer schema.
bool PrepareSchema(QSqlDatabase& db, Dialect dialect, const QString& name, QString& databaseId,
                   QString& error, bool* newer = nullptr);

// The same for a reader, which changes nothing: the schema must be this program's.
bool CheckSchema(QSqlDatabase& db, Dialect dialect, const QString& name, QString& databaseId,
                 QString& error);

// One line of what a failed statement or connection says (libpq's messages run over lines).
QString OneLine(const QString& text);

}  // namespace mv62rec

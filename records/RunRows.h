#pragma once
// A run record as the rows of the results tables (the records index and the line's database):
// the run's facts as columns, each measurement as a row, and the record's bytes as its file
// holds them.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace mv62rec {

struct StoredMeasurement {
    int position = 0;  // its place in the record, from 0
    QString name;
    std::optional<double> value;  // a number; empty for a list or nothing measured
    QString text;                 // the value as the CSV shows it ("4320", "1,8,10")
    QString unit;
    std::optional<double> low;
    std::optional<double> high;
    QString comparison;  // empty: shown, not judged
    std::optional<bool> passed;
};

// The instant of a record whose start cannot be read: before every other, as the folder reader
// sorted it.
inline constexpr std::int64_t kUnreadableStart = std::numeric_limits<std::int64_t>::min();

struct RunRow {
    // The key: the record's run id; for a version 1 record, which names none, the id its journal
    // gives it (DerivedRunId), or its file when it names no journal.
    QString runId;
    QString started;  // as the record shows it, with its offset
    std::int64_t startedUtcMs = kUnreadableStart;
    QString day;  // the date the record shows: `started`'s first ten characters
    QString finished;
    QString kind;
    QString outcome;
    QString stoppedAt;
    QString reason;
    QString unitSerial;
    QString device;
    QString stationId;  // the host name for a version 1 record
    QString line;
    QString location;
    QString host;
    QString operatorName;
    QString planVersion;
    QString schema;
    QString file;       // the record's file, relative to its records folder
    QByteArray record;  // the file's bytes
    std::vector<StoredMeasurement> measurements;

    // The run id as the record names it: empty for a version 1 record.
    QString NamedRunId() const;
};

// The rows of a record file's bytes, `file` its name relative to its records folder; false with
// the reason in plain words when the bytes are not a run record.
bool RunRowsFromRecord(const QByteArray& bytes, const QString& file, RunRow& row, QString& error);

}  // namespace mv62rec

#pragma once
// The record of one automatic test or calibration run: who tested which unit where and when,
// every measurement with its limits and verdict, the outcome, and the journal that holds the
// run's raw line.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "Measurement.h"

namespace mv62rec {

enum class Outcome { Pass, Fail, Incomplete };
QString OutcomeName(Outcome outcome);  // "PASS", "FAIL", "INCOMPLETE"
// The outcome of this name; none for another text.
std::optional<Outcome> OutcomeNamed(const QString& name,
                                    Qt::CaseSensitivity cs = Qt::CaseSensitive);

// The station a run was made on, as the link's first journal line tells it.
struct StationInfo {
    QString id;        // as the line knows it; the host name when none was configured
    QString line;      // empty when not configured
    QString location;  // empty when not configured
    QString host;
    QString program;
    QString version;
    QString operatorName;  // as given, else the login name
    QString port;          // "COM1"
    QString devicePath;
    int baud = 0;
    bool cashBox = false;
};

struct RunRecord {
    QString runId;  // a random UUID: how the run is known everywhere (empty in a version 1 record)
    QString unitSerial;   // the unit's serial number as given; empty when none was
    QString planVersion;  // the test plan the run was judged by (empty in a version 1 record)
    RunKind kind = RunKind::AutoTest;
    Outcome outcome = Outcome::Incomplete;
    QString stoppedAt;  // the stage whose reply never came (INCOMPLETE only)
    QString reason;     // what ended the run
    QString device;     // the unit's identification text; empty when it never identified
    StationInfo station;
    QString started;  // ISO 8601 with offset
    QString finished;
    std::int64_t startMs = 0;  // milliseconds since the link opened, as in the journal
    std::int64_t finishMs = 0;
    std::vector<Measurement> measurements;
    QString journal;     // the session journal that holds the run's raw line
    int journalRun = 0;  // the run's number within its journal, from 1

    // Names of the judged measurements that failed.
    QStringList Failed() const;
    QJsonObject ToJson() const;
    // The record as its file holds it: indented JSON.
    QByteArray ToFile() const;
    // A record as ToJson wrote it, or a version 1 record (its newer fields empty, the station's
    // id its host); false with the reason in `error` when it is not one, or one of another schema.
    static bool FromJson(const QJsonObject& o, RunRecord& run, QString& error);
};

// The id of a run whose journal did not name one (a version 1 journal or record): the same for
// the same run wherever its files are, made from its journal's file name and its number there.
QString DerivedRunId(const QString& journalFileName, int journalRun);
// A new run's id: a random UUID in its 36-character text form.
QString NewRunId();

// A run record is a few KiB; a file larger than this is not one, and is not read.
inline constexpr qint64 kLargestRecord = 16 << 20;

// A run record file read back; the reason in plain words when it is not a run record.
bool LoadRunRecord(const QString& path, RunRecord& run, QString& error);
// The JSON object of a record file, whatever its schema; the reason when the file is not one.
bool LoadRecordObject(const QString& path, QJsonObject& object, QString& error);
// The bytes of a record file, read only from a regular file of at most kLargestRecord; the reason
// in plain words when it cannot be one.
bool ReadRecordBytes(const QString& path, QByteArray& bytes, QString& error);
// The JSON object of a record file's bytes; the reason when they are not one.
bool RecordObjectFrom(const QByteArray& bytes, QJsonObject& object, QString& error);

}  // namespace mv62rec

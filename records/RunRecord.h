#pragma once
// The record of one automatic test or calibration run: who tested which unit where and when,
// every measurement with its limits and verdict, the outcome, and the journal that holds the
// run's raw line.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "Measurements.h"

namespace mv62rec {

inline constexpr char kRecordSchema[] = "mv62-run-record/1";

enum class Outcome { Pass, Fail, Incomplete };
QString OutcomeName(Outcome outcome);  // "PASS", "FAIL", "INCOMPLETE"

// The station a run was made on, as the link's first journal line tells it.
struct StationInfo {
    QString host;
    QString program;
    QString version;
    QString operatorName;  // the login name
    QString port;          // "COM1"
    QString devicePath;
    int baud = 0;
    bool cashBox = false;
};

struct RunRecord {
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
    // A record as ToJson wrote it; false with the reason in `error` when it is not one, or one
    // of another schema.
    static bool FromJson(const QJsonObject& o, RunRecord& run, QString& error);
};

// A run record file read back; the reason in plain words when it is not a run record.
bool LoadRunRecord(const QString& path, RunRecord& run, QString& error);
// The JSON object of a record file, whatever its schema; the reason when the file is not one.
bool LoadRecordObject(const QString& path, QJsonObject& object, QString& error);

}  // namespace mv62rec

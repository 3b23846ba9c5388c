#include "RunRows.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "MeasurementText.h"
#include "RecordVocabulary.h"
#include "RunRecord.h"

namespace mv62rec {

namespace {

std::optional<double> Number(const QJsonValue& v) {
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}

}  // namespace

QString RunRow::NamedRunId() const {
    return schema == schema::RecordVersion1 ? QString() : runId;
}

bool RunRowsFromRecord(const QByteArray& bytes, const QString& file, RunRow& row, QString& error) {
    QJsonObject o;
    RunRecord run;
    if (!RecordObjectFrom(bytes, o, error) || !RunRecord::FromJson(o, run, error)) {
        return false;
    }
    row = {};
    row.schema = o[key::Schema].toString();
    row.runId = run.runId;
    if (row.schema == schema::RecordVersion1) {
        row.runId = run.journal.isEmpty()
                        ? DerivedRunId(QFileInfo(file).fileName(), run.journalRun)
                        : DerivedRunId(QFileInfo(run.journal).fileName(), run.journalRun);
    } else if (row.runId.isEmpty()) {
        error = "not a run record (no run id)";
        return false;
    }
    row.started = run.started;
    if (const QDateTime t = QDateTime::fromString(run.started, Qt::ISODateWithMs); t.isValid()) {
        row.startedUtcMs = t.toMSecsSinceEpoch();
    }
    row.day = run.started.left(10);
    row.finished = run.finished;
    row.kind = RunKindName(run.kind);
    row.outcome = OutcomeName(run.outcome);
    row.stoppedAt = run.stoppedAt;
    row.reason = run.reason;
    row.unitSerial = run.unitSerial;
    row.device = run.device;
    row.stationId = run.station.id;
    row.line = run.station.line;
    row.location = run.station.location;
    row.host = run.station.host;
    row.operatorName = run.station.operatorName;
    row.planVersion = run.planVersion;
    row.file = file;
    row.record = bytes;
    // The limits as the record has them (the statistics take them as numbers), the value's text
    // as the CSV writes it.
    const QJsonArray list = o[key::Measurements].toArray();
    row.measurements.reserve(run.measurements.size());
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject m = list[i].toObject();
        const Measurement& read = run.measurements[static_cast<std::size_t>(i)];
        row.measurements.push_back({static_cast<int>(i), read.name, Number(m[key::Value]),
                                    PlainValue(read), read.unit, Number(m[key::Low]),
                                    Number(m[key::High]), m[key::Comparison].toString(),
                                    read.passed});
    }
    return true;
}

}  // namespace mv62rec

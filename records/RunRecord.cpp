#include "RunRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace mv62rec {

namespace {

QJsonValue TextOrNull(const QString& s) {
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

}  // namespace

QString OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Pass:
            return "PASS";
        case Outcome::Fail:
            return "FAIL";
        case Outcome::Incomplete:
            break;
    }
    return "INCOMPLETE";
}

QStringList RunRecord::Failed() const {
    QStringList failed;
    for (const Measurement& m : measurements) {
        if (m.passed == false) {
            failed << m.name;
        }
    }
    return failed;
}

QJsonObject RunRecord::ToJson() const {
    QJsonObject s;
    s["host"] = station.host;
    s["program"] = station.program;
    s["version"] = station.version;
    s["port"] = station.port;
    s["device_path"] = station.devicePath;
    s["baud"] = station.baud;
    s["cashbox"] = station.cashBox;

    QJsonArray list;
    for (const Measurement& m : measurements) {
        list.append(m.ToJson());
    }

    QJsonObject o;
    o["schema"] = kRecordSchema;
    o["kind"] = RunKindName(kind);
    o["outcome"] = OutcomeName(outcome);
    o["stopped_at"] = TextOrNull(stoppedAt);
    o["reason"] = reason;
    o["device"] = TextOrNull(device);
    o["station"] = s;
    o["operator"] = station.operatorName;
    o["started"] = started;
    o["finished"] = finished;
    o["duration_s"] = static_cast<double>(finishMs - startMs) / 1000.0;
    o["measurements"] = list;
    o["failed"] = QJsonArray::fromStringList(Failed());
    o["journal"] = TextOrNull(journal);
    o["journal_run"] = journalRun;
    o["journal_ms"] = QJsonArray{static_cast<double>(startMs), static_cast<double>(finishMs)};
    return o;
}

bool RunRecord::FromJson(const QJsonObject& o, RunRecord& run, QString& error) {
    const QJsonValue schema = o["schema"];
    if (!schema.isString()) {
        error = "not a run record (no schema)";
        return false;
    }
    if (schema.toString() != kRecordSchema) {
        error = QString("a run record of the unknown schema \"%1\" (this program reads %2)")
                    .arg(schema.toString(), kRecordSchema);
        return false;
    }
    const QString kind = o["kind"].toString();
    const QString outcome = o["outcome"].toString();
    if ((kind != RunKindName(RunKind::AutoTest) && kind != RunKindName(RunKind::Calibration)) ||
        (outcome != "PASS" && outcome != "FAIL" && outcome != "INCOMPLETE") ||
        !o["measurements"].isArray()) {
        error = "not a run record (its kind, outcome or measurements are missing)";
        return false;
    }
    run = {};
    run.kind = kind == RunKindName(RunKind::AutoTest) ? RunKind::AutoTest : RunKind::Calibration;
    run.outcome = outcome == "PASS"   ? Outcome::Pass
                  : outcome == "FAIL" ? Outcome::Fail
                                      : Outcome::Incomplete;
    run.stoppedAt = o["stopped_at"].toString();
    run.reason = o["reason"].toString();
    run.device = o["device"].toString();
    const QJsonObject s = o["station"].toObject();
    run.station.host = s["host"].toString();
    run.station.program = s["program"].toString();
    run.station.version = s["version"].toString();
    run.station.port = s["port"].toString();
    run.station.devicePath = s["device_path"].toString();
    run.station.baud = s["baud"].toInt();
    run.station.cashBox = s["cashbox"].toBool();
    run.station.operatorName = o["operator"].toString();
    run.started = o["started"].toString();
    run.finished = o["finished"].toString();
    const QJsonArray ms = o["journal_ms"].toArray();
    run.startMs = ms.at(0).toInteger();
    run.finishMs = ms.at(1).toInteger();
    for (const QJsonValue& m : o["measurements"].toArray()) {
        run.measurements.push_back(Measurement::FromJson(m.toObject()));
    }
    run.journal = o["journal"].toString();
    run.journalRun = o["journal_run"].toInt();
    return true;
}

bool LoadRunRecord(const QString& path, RunRecord& run, QString& error) {
    QJsonObject object;
    return LoadRecordObject(path, object, error) && RunRecord::FromJson(object, run, error);
}

bool LoadRecordObject(const QString& path, QJsonObject& object, QString& error) {
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        error = "a folder, not a run record";
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!doc.isObject()) {
        error = parse.error != QJsonParseError::NoError
                    ? "not a run record (not JSON: " + parse.errorString() + ")"
                    : QString("not a run record (not a JSON object)");
        return false;
    }
    object = doc.object();
    return true;
}

}  // namespace mv62rec

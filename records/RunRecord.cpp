#include "RunRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include "RecordFiles.h"
#include "RecordVocabulary.h"

namespace mv62rec {

namespace {

QJsonValue TextOrNull(const QString& s) {
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

}  // namespace

QString OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Pass:
            return outcome::Pass;
        case Outcome::Fail:
            return outcome::Fail;
        case Outcome::Incomplete:
            break;
    }
    return outcome::Incomplete;
}

std::optional<Outcome> OutcomeNamed(const QString& name, Qt::CaseSensitivity cs) {
    for (Outcome o : {Outcome::Pass, Outcome::Fail, Outcome::Incomplete}) {
        if (name.compare(OutcomeName(o), cs) == 0) {
            return o;
        }
    }
    return std::nullopt;
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
    QJsonArray list;
    for (const Measurement& m : measurements) {
        list.append(m.ToJson());
    }
    return {
        {key::Schema, schema::Record},
        {key::RunId, runId},
        {key::UnitSerial, TextOrNull(unitSerial)},
        {key::Kind, RunKindName(kind)},
        {key::Outcome, OutcomeName(outcome)},
        {key::StoppedAt, TextOrNull(stoppedAt)},
        {key::Reason, reason},
        {key::Device, TextOrNull(device)},
        {key::Station, QJsonObject{{key::Id, station.id},
                                   {key::Line, TextOrNull(station.line)},
                                   {key::Location, TextOrNull(station.location)},
                                   {key::Host, station.host},
                                   {key::Program, station.program},
                                   {key::Version, station.version},
                                   {key::Port, station.port},
                                   {key::DevicePath, station.devicePath},
                                   {key::Baud, station.baud},
                                   {key::CashBox, station.cashBox}}},
        {key::Operator, station.operatorName},
        {key::PlanVersion, planVersion},
        {key::Started, started},
        {key::Finished, finished},
        {key::DurationS, static_cast<double>(finishMs - startMs) / 1000.0},
        {key::Measurements, list},
        {key::Failed, QJsonArray::fromStringList(Failed())},
        {key::Journal, TextOrNull(journal)},
        {key::JournalRun, journalRun},
        {key::JournalMs, QJsonArray{static_cast<double>(startMs), static_cast<double>(finishMs)}}};
}

QByteArray RunRecord::ToFile() const {
    return QJsonDocument(ToJson()).toJson(QJsonDocument::Indented);
}

bool RunRecord::FromJson(const QJsonObject& o, RunRecord& run, QString& error) {
    const QJsonValue schema = o[key::Schema];
    if (!schema.isString()) {
        error = "not a run record (no schema)";
        return false;
    }
    if (schema.toString() != schema::Record && schema.toString() != schema::RecordVersion1) {
        error = QString("a run record of the unknown schema \"%1\" (this program reads %2)")
                    .arg(schema.toString(), schema::Record);
        return false;
    }
    const QString kind = o[key::Kind].toString();
    const std::optional<Outcome> outcome = OutcomeNamed(o[key::Outcome].toString());
    if ((kind != RunKindName(RunKind::AutoTest) && kind != RunKindName(RunKind::Calibration)) ||
        !outcome || !o[key::Measurements].isArray()) {
        error = "not a run record (its kind, outcome or measurements are missing)";
        return false;
    }
    run = {};
    run.kind = kind == RunKindName(RunKind::AutoTest) ? RunKind::AutoTest : RunKind::Calibration;
    run.outcome = *outcome;
    run.stoppedAt = o[key::StoppedAt].toString();
    run.reason = o[key::Reason].toString();
    run.device = o[key::Device].toString();
    run.runId = o[key::RunId].toString();
    run.unitSerial = o[key::UnitSerial].toString();
    run.planVersion = o[key::PlanVersion].toString();
    const QJsonObject s = o[key::Station].toObject();
    run.station.line = s[key::Line].toString();
    run.station.location = s[key::Location].toString();
    run.station.host = s[key::Host].toString();
    run.station.program = s[key::Program].toString();
    run.station.version = s[key::Version].toString();
    run.station.port = s[key::Port].toString();
    run.station.devicePath = s[key::DevicePath].toString();
    run.station.baud = s[key::Baud].toInt();
    run.station.cashBox = s[key::CashBox].toBool();
    // A station without an id of its own is known by its host name.
    run.station.id = s[key::Id].isString() ? s[key::Id].toString() : run.station.host;
    run.station.operatorName = o[key::Operator].toString();
    run.started = o[key::Started].toString();
    run.finished = o[key::Finished].toString();
    const QJsonArray ms = o[key::JournalMs].toArray();
    run.startMs = ms.at(0).toInteger();
    run.finishMs = ms.at(1).toInteger();
    for (const QJsonValue& m : o[key::Measurements].toArray()) {
        run.measurements.push_back(Measurement::FromJson(m.toObject()));
    }
    run.journal = o[key::Journal].toString();
    run.journalRun = o[key::JournalRun].toInt();
    return true;
}

QString DerivedRunId(const QString& journalFileName, int journalRun) {
    static const QUuid kRuns =
        QUuid::fromString(QLatin1String("1d4b5f0e-6a2c-4f7e-9b1d-2c8e6a4f0b37"));
    return QUuid::createUuidV5(kRuns, journalFileName + '#' + QString::number(journalRun))
        .toString(QUuid::WithoutBraces);
}

QString NewRunId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool LoadRunRecord(const QString& path, RunRecord& run, QString& error) {
    QJsonObject object;
    return LoadRecordObject(path, object, error) && RunRecord::FromJson(object, run, error);
}

bool ReadRecordBytes(const QString& path, QByteArray& bytes, QString& error) {
    QFile file;
    QString why;
    if (!OpenRegularFile(file, path, kLargestRecord, why)) {
        error = QFileInfo::exists(path) ? "not a run record (" + why + ")" : why;
        return false;
    }
    // No more than its size when it was looked at, should it have grown since.
    bytes = file.read(file.size());
    return true;
}

bool LoadRecordObject(const QString& path, QJsonObject& object, QString& error) {
    QByteArray bytes;
    return ReadRecordBytes(path, bytes, error) && RecordObjectFrom(bytes, object, error);
}

bool RecordObjectFrom(const QByteArray& bytes, QJsonObject& object, QString& error) {
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
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

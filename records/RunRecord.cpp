#include "RunRecord.h"

#include <QJsonArray>

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

}  // namespace mv62rec

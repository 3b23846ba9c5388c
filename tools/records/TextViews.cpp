#include "records/TextViews.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <map>

namespace mv62tool {

using namespace mv62rec;

namespace {

QString NumberOrEmpty(const std::optional<int>& v) {
    return v ? QString::number(*v) : QString();
}

// The wall time a record gives, without its offset: "2026-12-08 23:10:00".
QString ShortTime(const QString& iso) {
    return iso.left(19).replace('T', ' ');
}

QString CsvField(const QString& text) {
    if (!text.contains(QRegularExpression("[\",\r\n]"))) {
        return text;
    }
    QString quoted = text;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray CsvRow(const QStringList& fields) {
    QStringList out;
    for (const QString& f : fields) {
        out << CsvField(f);
    }
    return out.join(',').toUtf8() + "\r\n";
}

}  // namespace

QString PlainValue(const Measurement& m) {
    if (m.value.isArray()) {
        QStringList items;
        for (const QJsonValue& v : m.value.toArray()) {
            items << QString::number(v.toInt());
        }
        return items.join(',');
    }
    if (m.value.isDouble()) {
        return QString::number(m.value.toInteger());
    }
    return m.value.toString();
}

QString VerdictText(const Measurement& m) {
    return m.passed ? (*m.passed ? "PASS" : "FAIL") : QString();
}

QString StopText(const RunRecord& run) {
    if (run.outcome != Outcome::Incomplete) {
        return {};
    }
    return QString("stopped at %1: %2").arg(run.stoppedAt, run.reason);
}

QString DeviceText(const RunRecord& run) {
    return run.device.isEmpty() ? QString("(unidentified)") : run.device;
}

QString ListLine(const FoundRun& r) {
    const RunRecord& run = r.run;
    QString what = run.outcome == Outcome::Incomplete ? StopText(run) : run.Failed().join(' ');
    return QString("%1  %2  %3  %4  %5")
        .arg(ShortTime(run.started), run.kind == RunKind::AutoTest ? "auto-test  " : "calibration",
             DeviceText(run).leftJustified(24), OutcomeName(run.outcome).leftJustified(10), what)
        .trimmed();
}

QString ShowText(const FoundRun& r) {
    const RunRecord& run = r.run;
    const StationInfo& s = run.station;
    QString out;
    const auto fact = [&](const char* name, const QString& value) {
        out += QString("%1 %2\n").arg(QString(name).leftJustified(11), value);
    };
    fact("record:", r.path);
    fact("kind:", RunKindName(run.kind));
    fact("device:", DeviceText(run));
    fact("outcome:", OutcomeName(run.outcome));
    fact("stopped at:", run.stoppedAt.isEmpty() ? QString("-") : run.stoppedAt);
    fact("reason:", run.reason);
    fact("station:", QString("%1, %2 %3, %4 at %5 baud%6")
                         .arg(s.host, s.program, s.version, s.port)
                         .arg(s.baud)
                         .arg(s.cashBox ? ", CashBox" : ""));
    fact("operator:", s.operatorName);
    fact("started:", run.started);
    fact("finished:", run.finished);
    out += '\n';

    std::vector<QStringList> rows = {{"name", "value", "unit", "low", "high", "verdict"}};
    for (const Measurement& m : run.measurements) {
        const QString value = m.value.isNull() ? QString("not measured") : PlainValue(m);
        rows.push_back({m.name, value, m.unit, NumberOrEmpty(m.low), NumberOrEmpty(m.high),
                        m.passed ? VerdictText(m) : QString("-")});
    }
    std::vector<qsizetype> width(rows[0].size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            width[i] = std::max(width[i], row[i].size());
        }
    }
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += row[i].leftJustified(width[i] + 2);
        }
        out += line.trimmed() + '\n';
    }
    return out;
}

QByteArray CsvTable(const std::vector<const FoundRun*>& runs) {
    // Every measurement that any run has, in the order of the automatic test's record; names it
    // does not know follow in the order they first appear.
    QStringList names;
    for (const Measurement& m : RunTemplate(RunKind::AutoTest, false)) {
        names << m.name;
    }
    std::map<QString, bool> present;
    for (const FoundRun* r : runs) {
        for (const Measurement& m : r->run.measurements) {
            present[m.name] = true;
            if (!names.contains(m.name)) {
                names << m.name;
            }
        }
    }
    names.removeIf([&](const QString& n) { return !present.contains(n); });

    QStringList header = {"started", "finished", "kind",    "device",
                          "station", "operator", "outcome", "stopped_at"};
    for (const QString& n : names) {
        header << n << n + ".verdict";
    }
    QByteArray csv = CsvRow(header);
    for (const FoundRun* r : runs) {
        const RunRecord& run = r->run;
        QStringList row = {run.started,
                           run.finished,
                           RunKindName(run.kind),
                           run.device,
                           run.station.host,
                           run.station.operatorName,
                           OutcomeName(run.outcome),
                           run.stoppedAt};
        std::map<QString, const Measurement*> byName;
        for (const Measurement& m : run.measurements) {
            byName[m.name] = &m;
        }
        for (const QString& n : names) {
            const auto it = byName.find(n);
            row << (it == byName.end() ? QString() : PlainValue(*it->second))
                << (it == byName.end() ? QString() : VerdictText(*it->second));
        }
        csv += CsvRow(row);
    }
    return csv;
}

}  // namespace mv62tool

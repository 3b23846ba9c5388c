#include "records/TextViews.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cstring>

#include "RecordVocabulary.h"
#include "SafeText.h"

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

void AppendCsvRow(QString& csv, const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            csv += u',';
        }
        csv += CsvField(fields[i]);
    }
    csv += QLatin1String("\r\n");
}

}  // namespace

QString StopText(const RunRecord& run) {
    if (run.outcome != Outcome::Incomplete) {
        return {};
    }
    return QString("stopped at %1: %2").arg(run.stoppedAt, run.reason);
}

QString DeviceText(const RunRecord& run) {
    return run.device.isEmpty() ? QString("(unidentified)") : run.device;
}

QString UnitText(const RunRecord& run) {
    return run.unitSerial.isEmpty() ? DeviceText(run)
                                    : run.unitSerial + " (" + DeviceText(run) + ')';
}

QString StationText(const StationInfo& s) {
    QStringList where;
    if (!s.line.isEmpty()) {
        where << "line " + s.line;
    }
    if (!s.location.isEmpty()) {
        where << s.location;
    }
    return where.isEmpty() ? s.id : s.id + " (" + where.join(", ") + ')';
}

QString OrDash(const QString& text) {
    return text.isEmpty() ? QString("-") : text;
}

QString ListLine(const StoredRun& r) {
    const RunRecord& run = r.run;
    const QString what = run.outcome == Outcome::Incomplete ? StopText(run) : r.failed.join(' ');
    // Escaped before it is padded, so that the columns stay aligned.
    const QStringList columns = {TerminalText(ShortTime(run.started)),
                                 RunKindName(run.kind).leftJustified(11),
                                 TerminalText(OrDash(run.unitSerial)).leftJustified(16),
                                 TerminalText(DeviceText(run)).leftJustified(24),
                                 OutcomeName(run.outcome).leftJustified(10),
                                 TerminalText(OrDash(run.station.id)).leftJustified(12),
                                 TerminalText(OrDash(run.station.operatorName)).leftJustified(10),
                                 TerminalText(what)};
    return columns.join("  ").trimmed();
}

QString ShowText(const FoundRun& r) {
    const RunRecord& run = r.run;
    const StationInfo& s = run.station;
    QString out;
    const auto fact = [&](const char* name, const QString& value) {
        out += QString(name).leftJustified(11) + ' ' + TerminalText(value) + '\n';
    };
    fact("record:", r.path);
    fact("run id:", OrDash(run.runId));
    fact("kind:", RunKindName(run.kind));
    fact("serial:", OrDash(run.unitSerial));
    fact("device:", DeviceText(run));
    fact("outcome:", OutcomeName(run.outcome));
    fact("stopped at:", OrDash(run.stoppedAt));
    fact("reason:", run.reason);
    fact("station:", StationText(s));
    fact("host:", QString("%1, %2 %3, %4 at %5 baud%6")
                      .arg(s.host, s.program, s.version, s.port, QString::number(s.baud),
                           s.cashBox ? ", CashBox" : ""));
    fact("operator:", s.operatorName);
    fact("plan:", OrDash(run.planVersion));
    fact("started:", run.started);
    fact("finished:", run.finished);
    out += '\n';

    std::vector<QStringList> rows = {
        {key::Name, key::Value, key::Unit, key::Low, key::High, "verdict"}};
    for (const Measurement& m : run.measurements) {
        const QString value = m.value.isNull() ? QString(kNotMeasured) : PlainValue(m);
        rows.push_back({TerminalText(m.name), TerminalText(value), TerminalText(m.unit),
                        NumberOrEmpty(m.low), NumberOrEmpty(m.high),
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

void CsvTable::Add(const StoredRun& r, const std::vector<StoredValue>& values) {
    const RunRecord& run = r.run;
    QString fixed;
    AppendCsvRow(fixed, {run.runId, run.started, run.finished, RunKindName(run.kind),
                         run.unitSerial, run.device, run.station.id, run.station.line,
                         run.station.operatorName, OutcomeName(run.outcome), run.stoppedAt});
    fixed.chop(2);  // the row goes on
    const auto append = [this](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        const qint32 size = static_cast<qint32>(bytes.size());
        rows_.append(reinterpret_cast<const char*>(&size), sizeof size);
        rows_.append(bytes);
    };
    append(fixed);
    const qint32 count = static_cast<qint32>(values.size());
    rows_.append(reinterpret_cast<const char*>(&count), sizeof count);
    for (const StoredValue& v : values) {
        auto it = column_.constFind(v.name);
        if (it == column_.constEnd()) {
            it = column_.insert(v.name, static_cast<int>(names_.size()));
            names_ << v.name;
        }
        const qint32 index = it.value();
        rows_.append(reinterpret_cast<const char*>(&index), sizeof index);
        rows_.append(v.passed ? (*v.passed ? 'P' : 'F') : '-');
        append(CsvField(v.text));
    }
}

QByteArray CsvTable::Finish() const {
    // Every measurement that any run has, in the order of the automatic test's record; names it
    // does not know follow in the order they first appeared.
    QStringList order;
    for (const Measurement& m : RunTemplate(RunKind::AutoTest, false)) {
        if (column_.contains(m.name)) {
            order << m.name;
        }
    }
    for (const QString& n : names_) {
        if (!order.contains(n)) {
            order << n;
        }
    }
    std::vector<int> place(static_cast<std::size_t>(names_.size()));  // name index -> column pair
    QStringList header = {key::RunId,      key::Started, key::Finished, key::Kind,
                          key::UnitSerial, key::Device,  key::Station,  key::Line,
                          key::Operator,   key::Outcome, key::StoppedAt};
    for (qsizetype i = 0; i < order.size(); ++i) {
        place[static_cast<std::size_t>(column_.value(order[i]))] = static_cast<int>(i);
        header << order[i] << order[i] + ".verdict";
    }
    QString head;
    AppendCsvRow(head, header);
    QByteArray csv = head.toUtf8();
    csv.reserve(rows_.size() + rows_.size() / 4);
    const char* at = rows_.constData();
    const char* const end = at + rows_.size();
    const auto number = [&at] {
        qint32 n;
        std::memcpy(&n, at, sizeof n);
        at += sizeof n;
        return n;
    };
    const auto text = [&] {
        const qint32 size = number();
        const QByteArrayView bytes(at, size);
        at += size;
        return bytes;
    };
    std::vector<QByteArrayView> cells(static_cast<std::size_t>(2 * order.size()));
    while (at < end) {
        csv += text();
        std::fill(cells.begin(), cells.end(), QByteArrayView());
        for (qint32 n = number(); n > 0; --n) {
            const std::size_t column =
                2 * static_cast<std::size_t>(place[static_cast<std::size_t>(number())]);
            const char verdict = *at++;
            cells[column] = text();
            cells[column + 1] = verdict == 'P' ? "PASS" : verdict == 'F' ? "FAIL" : "";
        }
        for (const QByteArrayView& cell : cells) {
            csv += ',';
            csv += cell;
        }
        csv += "\r\n";
    }
    return csv;
}

}  // namespace mv62tool

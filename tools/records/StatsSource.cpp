#include "records/StatsSource.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <cstdint>
#include <map>
#include <tuple>

#include "RecordVocabulary.h"
#include "records/RunFolder.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

std::optional<double> Number(const QJsonValue& v) {
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}

std::optional<mv62::Comparison> ComparisonNamed(const QString& name) {
    for (mv62::Comparison c : {mv62::Comparison::Exclusive, mv62::Comparison::Inclusive,
                               mv62::Comparison::AtLeast, mv62::Comparison::Equals}) {
        if (name == QLatin1String(mv62::ComparisonName(c).data())) {
            return c;
        }
    }
    return std::nullopt;
}

// One copy of each measurement name for the whole folder: a hundred thousand runs repeat the
// same thirty names.
const QString& Shared(const QString& name) {
    static QSet<QString> names;
    return *names.insert(name);
}

}  // namespace

bool SampleFromRecord(const QJsonObject& o, const QString& path, RunSample& run, QString& error) {
    const auto field = [](const QJsonObject& object, const char* key) {
        return object.value(QLatin1String(key));  // no QString made for the key
    };
    const QString schema = field(o, key::Schema).toString();
    if (schema != schema::Record && schema != schema::RecordVersion1) {
        error = schema.isEmpty() ? QString("not a run record (no schema)")
                                 : QString("a run record of the unknown schema \"%1\"").arg(schema);
        return false;
    }
    const QString kind = field(o, key::Kind).toString();
    const QString outcome = field(o, key::Outcome).toString();
    const QJsonValue measurements = field(o, key::Measurements);
    if ((kind != RunKindName(RunKind::AutoTest) && kind != RunKindName(RunKind::Calibration)) ||
        !OutcomeNamed(outcome) || !measurements.isArray()) {
        error = "not a run record (its kind, outcome or measurements are missing)";
        return false;
    }
    const QJsonObject station = field(o, key::Station).toObject();
    run = {};
    run.runId = field(o, key::RunId).toString();
    if (run.runId.isEmpty()) {
        run.runId = path;
    }
    run.started = field(o, key::Started).toString();
    run.station = Shared(field(station, key::Id).toString());
    if (run.station.isEmpty()) {
        run.station = Shared(field(station, key::Host).toString());
    }
    run.line = Shared(field(station, key::Line).toString());
    run.unitSerial = field(o, key::UnitSerial).toString();
    run.device = Shared(field(o, key::Device).toString());
    run.kind = kind == RunKindName(RunKind::AutoTest) ? RunKind::AutoTest : RunKind::Calibration;
    run.outcome = *OutcomeNamed(outcome);
    run.planVersion = Shared(field(o, key::PlanVersion).toString());
    for (const QJsonValue& v : measurements.toArray()) {
        const QJsonObject m = v.toObject();
        const std::optional<mv62::Comparison> comparison =
            ComparisonNamed(field(m, key::Comparison).toString());
        if (!comparison) {
            continue;
        }
        const QJsonValue passed = field(m, key::Passed);
        run.measurements.push_back(
            {field(m, key::Name).toString(), Number(field(m, key::Value)),
             Number(field(m, key::Low)), Number(field(m, key::High)), comparison,
             passed.isBool() ? std::optional(passed.toBool()) : std::nullopt});
    }
    // The record's list of failed measurements; its verdicts where it has none.
    if (const QJsonValue failed = field(o, key::Failed); failed.isArray()) {
        for (const QJsonValue& name : failed.toArray()) {
            run.failed << Shared(name.toString());
        }
    } else {
        for (const MeasurementSample& m : run.measurements) {
            if (m.passed == false) {
                run.failed << m.name;
            }
        }
    }
    return true;
}

namespace {

// What the folder reader keeps of a run until every file is read and the runs can be put in
// order: its facts, and each judged value with an index into the folder's measurement
// definitions (name and limits), which a hundred thousand runs share.
struct KeptValue {
    std::uint32_t definition;
    std::int8_t passed;  // -1: not judged
    double value;
};
struct KeptRun {
    qint64 started;
    RunSample facts;  // without measurements
    std::vector<KeptValue> values;
};

class Definitions {
  public:
    std::uint32_t IndexOf(const MeasurementSample& m) {
        const auto [it, added] =
            index_.try_emplace({m.name, m.low, m.high, m.comparison}, list_.size());
        if (added) {
            list_.push_back({m.name, {}, m.low, m.high, m.comparison, {}});
        }
        return it->second;
    }
    MeasurementSample With(const KeptValue& v) const {
        MeasurementSample m = list_[v.definition];
        m.value = v.value;
        m.passed = v.passed < 0 ? std::nullopt : std::optional(v.passed > 0);
        return m;
    }

  private:
    using Key = std::tuple<QString, std::optional<double>, std::optional<double>,
                           std::optional<mv62::Comparison>>;
    std::map<Key, std::uint32_t> index_;
    std::vector<MeasurementSample> list_;
};

KeptRun Keep(RunSample&& run, qint64 started, Definitions& definitions) {
    KeptRun kept{started, {}, {}};
    kept.values.reserve(run.measurements.size());
    for (const MeasurementSample& m : run.measurements) {
        if (m.value) {
            kept.values.push_back({definitions.IndexOf(m),
                                   static_cast<std::int8_t>(m.passed ? *m.passed : -1), *m.value});
        }
    }
    run.measurements = std::vector<MeasurementSample>();  // gives its memory back
    kept.facts = std::move(run);
    return kept;
}

}  // namespace

bool ForEachRunSample(const QString& folder, const RunFilter& selection,
                      const std::function<void(const RunSample&)>& take, QStringList& problems,
                      QString& error) {
    if (!ReadableFolder(folder, error)) {
        return false;
    }
    Definitions definitions;
    std::vector<KeptRun> found;
    QSet<QString> runIds;
    QDirIterator it(folder, {"*.json"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QJsonObject record;
        RunSample run;
        QString why;
        if (!LoadRecordObject(path, record, why) || !SampleFromRecord(record, path, run, why)) {
            problems << QString("%1: %2").arg(path, why);
            continue;
        }
        const QDateTime started = QDateTime::fromString(run.started, Qt::ISODateWithMs);
        if (!started.isValid() || run.started.size() < 10) {
            problems
                << QString("%1: no start time that can be read (\"%2\")").arg(path, run.started);
            continue;
        }
        if (runIds.contains(run.runId)) {
            problems << QString("%1: the run %2 a second time; counted once").arg(path, run.runId);
            continue;
        }
        runIds.insert(run.runId);
        if (selection.Accepts(run, started)) {
            found.push_back(Keep(std::move(run), started.toMSecsSinceEpoch(), definitions));
        }
    }
    runIds = QSet<QString>();
    std::ranges::sort(found, [](const KeptRun& a, const KeptRun& b) {
        return a.started != b.started ? a.started < b.started : a.facts.runId < b.facts.runId;
    });
    problems.sort();
    for (KeptRun& kept : found) {
        RunSample run = std::move(kept.facts);
        for (const KeptValue& v : kept.values) {
            run.measurements.push_back(definitions.With(v));
        }
        kept.values = std::vector<KeptValue>();
        take(run);
    }
    return true;
}

}  // namespace mv62tool

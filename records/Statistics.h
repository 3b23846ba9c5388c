#pragma once
// The quality engineer's figures over a selection of runs: yields per day and station, the
// failure Pareto, and each judged measurement's spread and capability against its limits.
// Runs are fed one at a time in the order they started; the engine keeps what the figures need
// (a few counters per unit and group, one number per measured value for the control charts),
// never the runs themselves.
#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "Measurement.h"
#include "ReplyMath.h"
#include "RunRecord.h"

namespace mv62rec {

// One measurement of a run as the statistics see it.
struct MeasurementSample {
    QString name;
    std::optional<double> value;  // empty: not measured, or not a number
    std::optional<double> low;
    std::optional<double> high;
    std::optional<mv62::Comparison> comparison;  // empty: shown, not judged
    std::optional<bool> passed;                  // empty: not judged
};

// One run as the statistics see it, whatever it was read from.
struct RunSample {
    QString runId;
    QString started;     // ISO 8601 with the offset from UTC, as the record shows it
    QString station;     // the station id
    QString line;        // empty: not configured
    QString unitSerial;  // empty: the run counts as a unit of its own
    QString device;
    RunKind kind = RunKind::AutoTest;
    Outcome outcome = Outcome::Incomplete;
    QString planVersion;  // empty: not known
    QStringList failed;   // the judged measurements that failed
    std::vector<MeasurementSample> measurements;
};

// The figures of a group of runs. A yield is empty when no unit's first (or last) complete run
// lies in the group.
struct YieldFigures {
    int runs = 0;
    int units = 0;
    int pass = 0;
    int fail = 0;
    int incomplete = 0;
    int retests = 0;
    std::optional<double> firstPassYield;
    std::optional<double> finalYield;
};

struct YieldRow {
    QString day;      // YYYY-MM-DD in the record's own offset; empty in a row per station
    QString station;  // empty in a row per day
    YieldFigures figures;
};

struct ParetoRow {
    QString measurement;
    int failedRuns = 0;
    double share = 0;       // of every FAIL run of the selection
    double cumulative = 0;  // the running total of shares, largest first
};

// A judged measurement under one set of limits: another plan version or other bounds make
// another row, so that values judged differently are never mixed.
struct LimitKey {
    QString name;
    QString planVersion;
    std::optional<double> low;
    std::optional<double> high;
    mv62::Comparison comparison = mv62::Comparison::Inclusive;
    bool operator<(const LimitKey& o) const {
        return std::tie(name, planVersion, low, high, comparison) <
               std::tie(o.name, o.planVersion, o.low, o.high, o.comparison);
    }
};

struct MeasurementRow {
    LimitKey key;
    int n = 0;
    double mean = 0;
    double min = 0;
    double max = 0;
    double outside = 0;        // the share of values whose verdict is fail
    std::optional<double> sd;  // sample standard deviation; empty for a single value
    std::optional<double> cp;
    std::optional<double> cpk;
    std::optional<double> cpu;
    std::optional<double> cpl;
    std::vector<double> values;  // in the order the runs started: the control chart's points
};

struct StatsReport {
    std::vector<YieldRow> yield;     // per day and station, by day then station
    std::vector<YieldRow> days;      // per day over every station: the trend
    std::vector<YieldRow> stations;  // per station over every day
    YieldFigures totals;
    int failRuns = 0;
    std::vector<ParetoRow> pareto;
    // By the order in which the names first appeared, then the order their limits did.
    std::vector<MeasurementRow> measurements;
};

class StatsEngine {
  public:
    // The next run of the selection: runs come in the order of `started`, ties by run id.
    void Add(const RunSample& run);
    StatsReport Report() const;

  private:
    static constexpr int kGroupsPerRun = 4;  // day and station, day, station, the whole selection
    using GroupSet = std::array<int, kGroupsPerRun>;

    struct Group {
        YieldFigures figures;
        std::unordered_set<int> units;
        int firstComplete = 0;  // units whose first complete run lies here
        int firstPassed = 0;
        int lastComplete = 0;
        int lastPassed = 0;
    };
    struct Unit {
        bool complete = false;  // it has a complete run
        GroupSet first{};
        bool firstPassed = false;
        GroupSet last{};
        bool lastPassed = false;
    };
    struct Values {
        LimitKey key;
        int nameOrder = 0;
        std::vector<double> values;
        int outside = 0;
    };

    int GroupOf(std::map<std::pair<QString, QString>, int>& index, const QString& day,
                const QString& station);
    int UnitOf(const RunSample& run, bool& seenBefore);
    void AddValues(const RunSample& run);
    std::vector<YieldRow> Rows(const std::map<std::pair<QString, QString>, int>& index,
                               const std::vector<Group>& groups) const;

    std::vector<Group> groups_ = std::vector<Group>(1);  // [0]: the whole selection
    std::map<std::pair<QString, QString>, int> cells_, days_, stations_;
    QHash<QString, int> unitBySerial_;
    std::vector<Unit> units_;
    int failRuns_ = 0;
    std::map<QString, int> failedRuns_;
    std::map<LimitKey, int> rowOf_;
    std::map<QString, int> nameOrder_;
    std::vector<Values> rows_;
};

}  // namespace mv62rec

#include "Statistics.h"

#include <algorithm>
#include <cmath>

namespace mv62rec {

using mv62::Comparison;

namespace {

// A sum of many doubles with its rounding errors carried along (Neumaier), so that a mean over
// a hundred thousand values keeps the precision of its values.
class CompensatedSum {
  public:
    void Add(double x) {
        const double t = sum_ + x;
        carry_ += std::abs(sum_) >= std::abs(x) ? (sum_ - t) + x : (x - t) + sum_;
        sum_ = t;
    }
    double Value() const { return sum_ + carry_; }

  private:
    double sum_ = 0;
    double carry_ = 0;
};

std::optional<double> Share(int part, int whole) {
    return whole > 0 ? std::optional(static_cast<double>(part) / whole) : std::nullopt;
}

// Mean and sample standard deviation in two passes over the kept values, with the second pass
// corrected by the residual sum of deviations.
void Spread(const std::vector<double>& values, MeasurementRow& row) {
    if (row.min == row.max) {  // no spread: exactly, not a rounding error's worth
        row.mean = row.min;
        row.sd = values.size() > 1 ? std::optional(0.0) : std::nullopt;
        return;
    }
    CompensatedSum sum;
    for (double v : values) {
        sum.Add(v);
    }
    const double n = static_cast<double>(values.size());
    row.mean = sum.Value() / n;
    CompensatedSum squares, deviations;
    for (double v : values) {
        const double d = v - row.mean;
        squares.Add(d * d);
        deviations.Add(d);
    }
    const double residual = deviations.Value();
    row.sd = std::sqrt(std::max(0.0, squares.Value() - residual * residual / n) / (n - 1));
}

// The capability indices against the limits the comparison has: both bounds for a range, the
// lower for at-least, none for an equality. None when the values do not spread.
void Capability(MeasurementRow& row) {
    if (!row.sd || *row.sd == 0) {
        return;
    }
    const double sd = *row.sd;
    const Comparison c = row.key.comparison;
    const bool range = c == Comparison::Exclusive || c == Comparison::Inclusive;
    if (range && row.key.high) {
        row.cpu = (*row.key.high - row.mean) / (3 * sd);
    }
    if ((range || c == Comparison::AtLeast) && row.key.low) {
        row.cpl = (row.mean - *row.key.low) / (3 * sd);
    }
    if (row.cpu && row.cpl) {
        row.cp = (*row.key.high - *row.key.low) / (6 * sd);
    }
    row.cpk = row.cpu && row.cpl ? std::min(*row.cpu, *row.cpl) : row.cpu ? row.cpu : row.cpl;
}

}  // namespace

int StatsEngine::GroupOf(std::map<std::pair<QString, QString>, int>& index, const QString& day,
                         const QString& station) {
    const auto [it, added] = index.try_emplace({day, station}, static_cast<int>(groups_.size()));
    if (added) {
        groups_.emplace_back();
    }
    return it->second;
}

int StatsEngine::UnitOf(const RunSample& run, bool& seenBefore) {
    seenBefore = false;
    if (!run.unitSerial.isEmpty()) {
        const auto it = unitBySerial_.constFind(run.unitSerial);
        if (it != unitBySerial_.cend()) {
            seenBefore = true;
            return *it;
        }
        unitBySerial_.insert(run.unitSerial, static_cast<int>(units_.size()));
    }
    units_.emplace_back();
    return static_cast<int>(units_.size()) - 1;
}

void StatsEngine::Add(const RunSample& run) {
    const QString day = run.started.left(10);
    const GroupSet groups = {GroupOf(cells_, day, run.station), GroupOf(days_, day, {}),
                             GroupOf(stations_, {}, run.station), 0};
    bool retest = false;
    const int unit = UnitOf(run, retest);
    for (int g : groups) {
        YieldFigures& f = groups_[static_cast<std::size_t>(g)].figures;
        ++f.runs;
        ++(run.outcome == Outcome::Pass   ? f.pass
           : run.outcome == Outcome::Fail ? f.fail
                                          : f.incomplete);
        f.retests += retest ? 1 : 0;
        groups_[static_cast<std::size_t>(g)].units.insert(unit);
    }
    if (run.outcome != Outcome::Incomplete) {
        Unit& u = units_[static_cast<std::size_t>(unit)];
        if (!u.complete) {
            u.complete = true;
            u.first = groups;
            u.firstPassed = run.outcome == Outcome::Pass;
        }
        u.last = groups;
        u.lastPassed = run.outcome == Outcome::Pass;
    }
    if (run.outcome == Outcome::Fail) {
        ++failRuns_;
        QStringList failed = run.failed;
        failed.removeDuplicates();
        for (const QString& name : failed) {
            ++failedRuns_[name];
        }
    }
    AddValues(run);
}

void StatsEngine::AddValues(const RunSample& run) {
    for (const MeasurementSample& m : run.measurements) {
        if (!m.comparison || !m.value) {
            continue;
        }
        const LimitKey key{m.name, run.planVersion, m.low, m.high, *m.comparison};
        const auto [it, added] = rowOf_.try_emplace(key, static_cast<int>(rows_.size()));
        if (added) {
            const int order = static_cast<int>(nameOrder_.size());
            rows_.push_back({key, nameOrder_.try_emplace(m.name, order).first->second, {}, 0});
        }
        Values& row = rows_[static_cast<std::size_t>(it->second)];
        row.values.push_back(*m.value);
        row.outside += m.passed == false ? 1 : 0;
    }
}

std::vector<YieldRow> StatsEngine::Rows(const std::map<std::pair<QString, QString>, int>& index,
                                        const std::vector<Group>& groups) const {
    std::vector<YieldRow> rows;
    for (const auto& [key, g] : index) {
        rows.push_back({key.first, key.second, groups[static_cast<std::size_t>(g)].figures});
    }
    return rows;
}

StatsReport StatsEngine::Report() const {
    // Each unit's first and last complete runs are known only now: they credit their groups.
    std::vector<Group> groups = groups_;
    for (const Unit& u : units_) {
        if (!u.complete) {
            continue;
        }
        for (int g : u.first) {
            ++groups[static_cast<std::size_t>(g)].firstComplete;
            groups[static_cast<std::size_t>(g)].firstPassed += u.firstPassed ? 1 : 0;
        }
        for (int g : u.last) {
            ++groups[static_cast<std::size_t>(g)].lastComplete;
            groups[static_cast<std::size_t>(g)].lastPassed += u.lastPassed ? 1 : 0;
        }
    }
    for (Group& g : groups) {
        g.figures.units = static_cast<int>(g.units.size());
        g.figures.firstPassYield = Share(g.firstPassed, g.firstComplete);
        g.figures.finalYield = Share(g.lastPassed, g.lastComplete);
    }

    StatsReport report;
    report.yield = Rows(cells_, groups);
    report.days = Rows(days_, groups);
    report.stations = Rows(stations_, groups);
    report.totals = groups[0].figures;
    report.failRuns = failRuns_;

    for (const auto& [name, count] : failedRuns_) {
        report.pareto.push_back({name, count, *Share(count, failRuns_), 0});
    }
    std::ranges::stable_sort(report.pareto, std::greater{}, &ParetoRow::failedRuns);
    double cumulative = 0;
    for (ParetoRow& p : report.pareto) {
        cumulative += p.share;
        p.cumulative = cumulative;
    }

    std::vector<const Values*> order;
    for (const Values& v : rows_) {
        order.push_back(&v);
    }
    std::ranges::stable_sort(order, {}, &Values::nameOrder);
    for (const Values* v : order) {
        MeasurementRow row;
        row.key = v->key;
        row.n = static_cast<int>(v->values.size());
        row.values = v->values;
        const auto [low, high] = std::ranges::minmax(row.values);
        row.min = low;
        row.max = high;
        row.outside = *Share(v->outside, row.n);
        Spread(row.values, row);
        Capability(row);
        report.measurements.push_back(std::move(row));
    }
    return report;
}

}  // namespace mv62rec

// The line's statistics over a hundred thousand runs as they will come from an index, already in
// memory and in the order they started: the engine, the report, the JSON and the dashboard page.
// Reading record files is left out: that is the records folder's cost, not the statistics'.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QTimeZone>
#include <cmath>
#include <random>
#include <vector>

#include "Statistics.h"
#include "records/Dashboard.h"
#include "records/StatsViews.h"

namespace {

using namespace mv62rec;

// A line's runs: three stations, a unit each, every tenth retested; judged values spread around
// their targets as the station's records have them. A thousand value sets serve every run.
struct Line {
    std::vector<RunSample> shapes;
    std::vector<QString> ids, starts, serials;
};

Line MakeLine(int runs) {
    std::mt19937 random(24);
    std::normal_distribution<double> spread(0, 1);
    Line line;
    for (int i = 0; i < 1000; ++i) {
        RunSample run;
        run.station = QString("BENCH-%1").arg(i % 3 + 1);
        run.line = "L2";
        run.device = "MV62 SIM 1.0";
        run.planVersion = "p-3f2a";
        for (const Measurement& m : RunTemplate(RunKind::AutoTest, false)) {
            if (!m.comparison) {
                continue;
            }
            const double target =
                m.high && *m.comparison != mv62::Comparison::Equals
                    ? (*m.low + *m.high) / 2.0
                    : *m.low + (*m.comparison == mv62::Comparison::AtLeast ? 78 : 0);
            const double value = std::round(target + spread(random) * (target / 20 + 0.1));
            const bool passed = mv62::Limit{*m.low, m.high.value_or(0), *m.comparison}.Passes(
                static_cast<std::int64_t>(value));
            run.measurements.push_back(
                {m.name, value, std::optional<double>(*m.low), m.high, m.comparison, passed});
            if (!passed) {
                run.failed << m.name;
            }
        }
        run.outcome = run.failed.isEmpty() ? Outcome::Pass : Outcome::Fail;
        line.shapes.push_back(run);
    }
    const QDateTime start(QDate(2026, 1, 5), QTime(6, 0), QTimeZone(3600));
    for (int i = 0; i < runs; ++i) {
        line.ids.push_back(QString("run-%1").arg(i, 7, 10, QLatin1Char('0')));
        line.starts.push_back(start.addSecs(i * 86).toString(Qt::ISODateWithMs));
        line.serials.push_back(QString("U%1").arg(i % 10 == 1 ? i - 1 : i));
    }
    return line;
}

void BM_LineStatistics(benchmark::State& state) {
    const int runs = static_cast<int>(state.range(0));
    const Line line = MakeLine(runs);
    std::size_t pageBytes = 0;
    for (auto _ : state) {
        StatsEngine engine;
        for (int i = 0; i < runs; ++i) {
            RunSample run = line.shapes[static_cast<std::size_t>(i) % line.shapes.size()];
            run.runId = line.ids[static_cast<std::size_t>(i)];
            run.started = line.starts[static_cast<std::size_t>(i)];
            run.unitSerial = line.serials[static_cast<std::size_t>(i)];
            engine.Add(run);
        }
        const StatsReport report = engine.Report();
        const QByteArray json = mv62tool::StatsJson(report);
        const QByteArray page = mv62tool::DashboardPage(report, "bench");
        pageBytes = static_cast<std::size_t>(page.size());
        benchmark::DoNotOptimize(json.size());
    }
    state.counters["runs/s"] =
        benchmark::Counter(double(runs) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["page_bytes"] = double(pageBytes);
}
BENCHMARK(BM_LineStatistics)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

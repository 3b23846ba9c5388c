// A real main window on the virtual clock, wired to the simulator's device model, recording:
// every verdict the recorder journals must be the colour of its indicator on the screen at that
// moment, and the journal must hold every byte the station wrote.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QJsonArray>
#include <QTemporaryDir>
#include <map>

#include "Controls.h"
#include "Journal.h"
#include "Recorder.h"
#include "SimulatedDevice.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The indicator that shows a judged measurement.
TShape* Indicator(TForm1& f, const QString& name) {
    const std::map<QString, TShape*> shapes = {{"motor.rpm", f.Shape4}, {"motor.encoder", f.Shape5},
                                               {"pulse", f.Shape6},     {"fish", f.Shape8},
                                               {"eeprom", f.Shape9},    {"io", f.Shape10}};
    if (auto it = shapes.find(name); it != shapes.end()) {
        return it->second;
    }
    const int channel = name.mid(9, 1).toInt() - 1;  // optics.chN.corrected / optics.chN.peak
    return name.endsWith(".peak") ? f.MaxLamp[channel] : f.CalibLamp[channel];
}

QColor Verdict(bool passed) {
    return passed ? QColor(0, 255, 0) : QColor(255, 0, 0);
}

struct Scenario {
    const char* name;
    mv62sim::DeviceConfig device;
    bool cashBox;
    const char* outcome;
    QStringList failed;
};

// Named in the test's output by its name alone.
void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

class RecordsOnScreen : public ::testing::TestWithParam<Scenario> {};

TEST_P(RecordsOnScreen, EveryRecordedVerdictIsTheIndicatorsColour) {
    const Scenario& sc = GetParam();
    QTemporaryDir dir;
    StationHarness h;
    TForm1& f = h.form();
    HarnessClock clock(h, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::OffsetFromUTC, 0));
    mv62rec::Recorder recorder(dir.path(), {"mv62-station", "t", "h", "o", "h", {}, {}}, clock);
    std::vector<QJsonObject> replies;
    recorder.OnEvent = [&](const QJsonObject& e) {
        if (e["event"] == QJsonValue("reply")) {
            replies.push_back(e);
        }
    };
    f.Observer = &recorder;
    f.CheckBox4->setChecked(sc.cashBox);
    SimulatedDevice device(sc.device);

    h.StartLink();
    int judged = 0;
    bool pressed = false;
    while (h.now() < 60000 && (!pressed || recorder.RunActive())) {
        if (!pressed && h.now() >= 1000) {
            f.Button7Click();
            pressed = true;
        }
        device.Hear(h.TakeSent());
        h.Advance(100);  // one polling interval
        replies.clear();
        h.Receive(device.Due(h.now()));
        for (const QJsonObject& e : replies) {
            const QJsonObject passed = e["passed"].toObject();
            for (auto it = passed.begin(); it != passed.end(); ++it) {
                // The six channels of a sensor frame come as one list per group.
                const QJsonArray list =
                    it.value().isArray() ? it.value().toArray() : QJsonArray{it.value()};
                for (int i = 0; i < list.size(); ++i) {
                    const mv62::NamedMeasurement m = mv62::FindMeasurement(it.key().toStdString());
                    const QString name = QString::fromStdString(
                        mv62::MeasurementName(m.measurement->quantity, m.list ? i : m.channel));
                    ++judged;
                    EXPECT_EQ(Indicator(f, name)->BrushColor(), Verdict(list[i].toBool()))
                        << sc.name << ": " << name.toStdString() << " at " << h.now() << " ms";
                }
            }
        }
    }
    EXPECT_GT(judged, 12 * 10 + 6 * 3);  // the sensor frames, three motor replies, the tests

    ASSERT_TRUE(recorder.LastRun()) << sc.name;
    const mv62rec::RunRecord& run = *recorder.LastRun();
    EXPECT_EQ(mv62rec::OutcomeName(run.outcome), sc.outcome) << sc.name;
    EXPECT_EQ(run.Failed(), sc.failed) << sc.name;
    for (const mv62rec::Measurement& m : run.measurements) {
        if (m.name == "motor.rpm") {
            EXPECT_EQ(m.low, sc.cashBox ? 3100 : 3500) << sc.name;  // the limit it was judged by
        }
        if (m.passed) {
            EXPECT_EQ(Indicator(f, m.name)->BrushColor(), Verdict(*m.passed))
                << sc.name << ": " << m.name.toStdString();
        }
    }

    // The tap saw every byte the station wrote, grouped into commands.
    f.Button4Click();
    Bytes journaled;
    for (const QJsonObject& e : mv62rec::ReadJournal(run.journal)) {
        if (e["event"] == QJsonValue("tx")) {
            for (const QString& pair : e["bytes"].toString().split(' ')) {
                journaled.push_back(static_cast<std::uint8_t>(pair.toInt(nullptr, 16)));
            }
        }
    }
    EXPECT_EQ(journaled, h.lines.back()->Written());
}

mv62sim::DeviceConfig Device(std::set<mv62sim::Fault> faults, int offset = 0, int motor = 800) {
    mv62sim::DeviceConfig d;
    d.faults = std::move(faults);
    d.sensorOffset = offset;
    d.motorCount = motor;
    d.sensorFrames = 10;
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Devices, RecordsOnScreen,
    ::testing::Values(
        Scenario{"passing", Device({}), false, "PASS", {}},
        // Offset 9 corrects every channel; 3120 rpm passes only because CashBox is ticked.
        Scenario{"cash box", Device({mv62sim::Fault::Eeprom}, 9, 572), true, "FAIL", {"eeprom"}},
        Scenario{"slow motor",
                 Device({mv62sim::Fault::Pulse}, -20, 572),
                 false,
                 "FAIL",
                 {"motor.rpm", "pulse"}},
        Scenario{"optics",
                 Device({mv62sim::Fault::Sensor}),
                 false,
                 "FAIL",
                 {"optics.ch1.corrected", "optics.ch2.corrected", "optics.ch3.corrected",
                  "optics.ch4.corrected", "optics.ch5.corrected", "optics.ch6.corrected",
                  "optics.ch1.peak", "optics.ch2.peak", "optics.ch3.peak", "optics.ch4.peak",
                  "optics.ch5.peak", "optics.ch6.peak"}}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

}  // namespace

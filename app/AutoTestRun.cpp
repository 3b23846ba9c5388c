#include "AutoTestRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "MeasurementText.h"
#include "RecordVocabulary.h"
#include "SafeText.h"
#include "Unit1.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long the identification may take, and how long the line must stay quiet after it before
// Auto Test: the device's offset and exchange-sensor reports follow the identification, and a
// report that arrives together with a sensor frame in one receive event would not be applied.
constexpr auto kIdentificationWait = 1000ms;
constexpr auto kQuietLine = 400ms;
constexpr auto kCheckEvery = 20ms;

// Runs the message loop (receive events, the window's waits and pumps) until `done` or `until`.
void RunUntil(const std::function<bool()>& done, Clock::time_point until) {
    if (done() || Clock::now() >= until) {
        return;
    }
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || Clock::now() >= until) {
            loop.quit();
        }
    });
    check.start(kCheckEvery);
    loop.exec();
}

// A record's texts come from the device: shown, never sent to the terminal as controls.
void Print(const QString& line) {
    std::printf("%s\n", mv62rec::TerminalText(line).toLocal8Bit().constData());
}

void PrintRun(const mv62rec::RunRecord& run, const QString& recordPath,
              const QString& recordError) {
    for (const mv62rec::Measurement& m : run.measurements) {
        // The value, limit and verdict in the words of mv62-records show.
        const QString verdict = m.passed ? mv62rec::VerdictText(m) : QString("-");
        Print(m.name.leftJustified(22) + ' ' + mv62rec::ValueText(m).leftJustified(14) + ' ' +
              mv62rec::LimitText(m).leftJustified(18) + ' ' + verdict);
    }
    QString outcome = "outcome: " + mv62rec::OutcomeName(run.outcome);
    if (run.outcome == mv62rec::Outcome::Incomplete) {
        outcome += QString(" (stopped at %1: %2)").arg(run.stoppedAt, run.reason);
    } else if (run.outcome == mv62rec::Outcome::Fail) {
        outcome += " (" + run.Failed().join(", ") + ")";
    }
    Print(outcome);
    if (!run.unitSerial.isEmpty()) {
        Print("serial: " + run.unitSerial);
    }
    if (!recordPath.isEmpty()) {
        Print("record: " + recordPath);
    } else {
        Print("record: not written (" + recordError + ')');
    }
}

}  // namespace

int RunAutoTest(TForm1& form, mv62rec::Recorder& recorder, const StationOptions& options) {
    bool identified = false;
    bool portLost = false;
    Clock::time_point lastReceived{};
    recorder.OnEvent = [&](const QJsonObject& e) {
        namespace rec = mv62rec;
        const QString event = e[rec::key::Event].toString();
        if (event == rec::event::Received) {
            lastReceived = Clock::now();
        } else if (event == rec::event::Reply) {
            identified = identified || e[rec::key::Values].toObject().contains(rec::key::Text);
        } else if (event == rec::event::PortLost) {
            portLost = true;
        }
    };

    form.ComboBox1->setCurrentIndex(options.portIndex);
    form.ComboBox2->setCurrentIndex(options.speedIndex);
    form.CheckBox4->setChecked(options.cashBox);
    const Clock::time_point linkStart = Clock::now();
    form.Button3Click();
    if (!form.LinkOpen) {
        return kExitPortUnusable;  // the window has shown why
    }

    RunUntil([&] { return identified || portLost; }, linkStart + kIdentificationWait);
    if (identified) {
        const Clock::time_point settleEnd = Clock::now() + kIdentificationWait;
        RunUntil([&] { return portLost || Clock::now() - lastReceived >= kQuietLine; }, settleEnd);
    } else if (!portLost) {
        std::fprintf(stderr, "mv62-station: no identification from the device within 1 s\n");
    }

    if (!portLost) {
        form.Button7Click();
        const auto timeout = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(options.timeoutSeconds));
        RunUntil([&] { return portLost || !recorder.RunActive(); }, Clock::now() + timeout);
        if (recorder.RunActive()) {
            recorder.Timeout();
        }
    }
    form.Button4Click();
    recorder.OnEvent = nullptr;

    if (!recorder.LastRun()) {
        Print("outcome: INCOMPLETE (the port was lost before Auto Test)");
        return kExitIncomplete;
    }
    PrintRun(*recorder.LastRun(), recorder.LastRecordPath(), recorder.LastRecordError());
    if (recorder.LastRecordPath().isEmpty()) {
        return kExitRecordNotWritten;  // tested, but a line script must not ship it unrecorded
    }
    switch (recorder.LastRun()->outcome) {
        case mv62rec::Outcome::Pass:
            return kExitPass;
        case mv62rec::Outcome::Fail:
            return kExitFail;
        case mv62rec::Outcome::Incomplete:
            break;
    }
    return kExitIncomplete;
}

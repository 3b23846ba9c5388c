// Recorded runs kept as the reference every later change must reproduce: a real window on the
// virtual clock against the simulator's device model, recording. For each scenario the bytes the
// station sent with their times, every journal line, the run record, every control's text,
// colours and state, and a digest of the window's pixels are written out as text and compared
// with tests/golden/<scenario>.txt. MV62_GOLDEN_UPDATE=1 writes the references anew instead (and
// the difference is then read in the version history before it is committed).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <algorithm>

#include "Controls.h"
#include "Journal.h"
#include "Recorder.h"
#include "Recovery.h"
#include "SimulatedDevice.h"

namespace {

enum class Press { AutoTest, Calibration };

struct Scenario {
    const char* name;
    mv62sim::DeviceConfig device;
    Press press = Press::AutoTest;
    bool cashBox = false;
    std::int64_t endProtocolAtMs = 60000;  // End Protocol then, should the run still go on
    std::int64_t killAtMs = 0;  // the journal as a killed station left it then, folded again
};

mv62sim::DeviceConfig Device(std::set<mv62sim::Fault> faults = {},
                             std::set<std::uint8_t> silent = {}) {
    mv62sim::DeviceConfig d;
    d.faults = std::move(faults);
    d.silent = std::move(silent);
    d.sensorFrames = 8;
    return d;
}

QString Colour(const QColor& c) {
    return c.name(QColor::HexRgb);
}

// Every named control: its text, colours, and whether it is enabled, shown and ticked.
QString WindowTranscript(TForm1& f) {
    QString out = "title: " + f.windowTitle() + '\n';
    QList<QWidget*> widgets = f.findChildren<QWidget*>();
    std::stable_sort(widgets.begin(), widgets.end(),
                     [](QWidget* a, QWidget* b) { return a->objectName() < b->objectName(); });
    for (QWidget* w : widgets) {
        if (w->objectName().isEmpty() || w->objectName().startsWith("qt_")) {
            continue;
        }
        QString line = w->objectName();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            line += " \"" + label->text() + "\" font " + Colour(FontColor(w)) + " background " +
                    Colour(BackgroundColor(w));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            line += " \"" + button->text() + "\" font " + Colour(FontColor(w));
            if (button->isCheckable()) {
                line += button->isChecked() ? " ticked" : " not-ticked";
            }
        } else if (auto* shape = qobject_cast<TShape*>(w)) {
            line += " fill " + Colour(shape->BrushColor());
        }
        line += w->isEnabled() ? " enabled" : " disabled";
        out += line + (w->isVisibleTo(&f) ? "" : " hidden") + '\n';
    }
    return out;
}

QString PixelDigest(TForm1& f) {
    QApplication::setActiveWindow(&f);
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::processEvents();
    }
    const QImage image =
        QGuiApplication::primaryScreen()->grabWindow(f.winId()).toImage().convertToFormat(
            QImage::Format_RGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < image.height(); ++y) {
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)),
                                    image.width() * 4));
    }
    return QString("pixels: %1x%2 %3\n")
        .arg(image.width())
        .arg(image.height())
        .arg(QString::fromLatin1(hash.result().toHex()));
}

// The bytes sent, one line per virtual millisecond at which bytes went out.
QString SentTranscript(const std::vector<SentByte>& sent) {
    QString out;
    for (std::size_t i = 0; i < sent.size();) {
        QStringList pairs;
        const std::int64_t at = sent[i].atMs;
        for (; i < sent.size() && sent[i].atMs == at; ++i) {
            pairs << QString("%1").arg(sent[i].value, 2, 16, QLatin1Char('0')).toUpper();
        }
        out += QString("%1 %2\n").arg(at).arg(pairs.join(' '));
    }
    return out;
}

QString RecordText(const mv62rec::RunRecord& run) {
    return QString::fromUtf8(QJsonDocument(run.ToJson()).toJson(QJsonDocument::Indented));
}

QString RunScenario(const Scenario& sc) {
    QTemporaryDir dir;
    StationHarness h;
    TForm1& f = h.form();
    HarnessClock clock(h, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::OffsetFromUTC, 3600));
    mv62rec::Recorder recorder(
        dir.path(), {"mv62-station", "1.0.0", "bench", "tester", "bench", {}, {}}, clock);
    int runs = 0;
    recorder.NewRunId = [&runs] {
        return QString("00000000-0000-4000-8000-%1").arg(++runs, 12, 10, QChar('0'));
    };
    f.Observer = &recorder;
    f.show();
    f.CheckBox4->setChecked(sc.cashBox);
    SimulatedDevice device(sc.device);
    std::vector<SentByte> sent;
    QString killed;

    h.StartLink();
    bool pressed = false;
    while (h.now() < sc.endProtocolAtMs && (!pressed || recorder.RunActive())) {
        if (!pressed && h.now() >= 1000) {
            sc.press == Press::AutoTest ? f.Button7Click() : f.BtnCalibStarClick();
            pressed = true;
        }
        if (sc.killAtMs > 0 && killed.isEmpty() && h.now() >= sc.killAtMs) {
            // A station killed now: its journal holds what was handed to the system so far.
            const QString copy = dir.filePath("killed_journal.jsonl");
            QFile::copy(recorder.JournalPath(), copy);
            mv62rec::JournalRuns runs;
            QString error;
            EXPECT_TRUE(mv62rec::FoldJournal(copy, runs, error)) << error.toStdString();
            for (mv62rec::RunRecord& run : runs.runs) {
                run.journal = "<killed journal>";
                killed += RecordText(run);
            }
        }
        const std::vector<SentByte> now = h.TakeSent();
        sent.insert(sent.end(), now.begin(), now.end());
        device.Hear(now);
        h.Advance(100);
        h.Receive(device.Due(h.now()));
    }
    QString out = "# window at the end of the run\n" + WindowTranscript(f) + PixelDigest(f);
    f.Button4Click();  // End Protocol
    const std::vector<SentByte> last = h.TakeSent();
    sent.insert(sent.end(), last.begin(), last.end());
    out += "# window after End Protocol\n" + WindowTranscript(f) + PixelDigest(f);
    out = "# sent\n" + SentTranscript(sent) + out;

    EXPECT_TRUE(recorder.LastRun()) << sc.name;
    if (recorder.LastRun()) {
        out += "# record\n" + RecordText(*recorder.LastRun());
        out += "# record file\n" + QFileInfo(recorder.LastRecordPath()).fileName() + '\n';
    }
    if (!killed.isEmpty()) {
        out += "# recovered from the killed journal\n" + killed;
    }
    out += "# journal " + QFileInfo(recorder.JournalPath()).fileName() + '\n';
    QFile journal(recorder.JournalPath());
    EXPECT_TRUE(journal.open(QIODevice::ReadOnly));
    out += QString::fromUtf8(journal.readAll());
    return out.replace(dir.path(), "<records>");
}

QString GoldenPath(const char* name) {
    return QString(MV62_GOLDEN_DIR) + '/' + name + ".txt";
}

// Named in the test's output by its name alone.
void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

class GoldenRuns : public ::testing::TestWithParam<Scenario> {};

TEST_P(GoldenRuns, ReproduceTheReference) {
    const Scenario& sc = GetParam();
    const QString actual = RunScenario(sc);
    QFile golden(GoldenPath(sc.name));
    if (qEnvironmentVariableIntValue("MV62_GOLDEN_UPDATE") == 1) {
        ASSERT_TRUE(golden.open(QIODevice::WriteOnly | QIODevice::Truncate));
        golden.write(actual.toUtf8());
        return;
    }
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly)) << GoldenPath(sc.name).toStdString();
    const QStringList expected = QString::fromUtf8(golden.readAll()).split('\n');
    const QStringList got = actual.split('\n');
    // The first line that differs, with its neighbours, says more than two pages of text.
    for (qsizetype i = 0; i < std::max(expected.size(), got.size()); ++i) {
        const QString e = i < expected.size() ? expected[i] : "<end>";
        const QString g = i < got.size() ? got[i] : "<end>";
        ASSERT_EQ(g.toStdString(), e.toStdString())
            << sc.name << ": line " << i + 1 << " of " << GoldenPath(sc.name).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, GoldenRuns,
    ::testing::Values(Scenario{"pass", Device()},
                      Scenario{"fail-fish", Device({mv62sim::Fault::Fish})},
                      Scenario{"fail-eeprom", Device({mv62sim::Fault::Eeprom})},
                      Scenario{"fail-io", Device({mv62sim::Fault::Io})},
                      Scenario{"fail-pulse", Device({mv62sim::Fault::Pulse})},
                      Scenario{"fail-motor-speed", Device({mv62sim::Fault::Motor})},
                      Scenario{"fail-optics", Device({mv62sim::Fault::Sensor})},
                      Scenario{"silent-sensor-run", Device({}, {0x02}), Press::AutoTest, false,
                               20000},
                      Scenario{"silent-motor", Device({}, {0x07}), Press::AutoTest, false, 20000},
                      Scenario{"silent-eeprom", Device({}, {0x12}), Press::AutoTest, false, 30000},
                      Scenario{"silent-lamp", Device({}, {0x14}), Press::AutoTest, false, 30000},
                      Scenario{"calibration", Device(), Press::Calibration},
                      Scenario{"killed", Device(), Press::AutoTest, false, 60000, 9000},
                      Scenario{"cashbox",
                               [] {
                                   mv62sim::DeviceConfig d = Device({mv62sim::Fault::Eeprom});
                                   d.sensorOffset = 9;  // every channel corrected
                                   d.motorCount = 572;  // 3120 rpm: passes only with CashBox ticked
                                   return d;
                               }(),
                               Press::AutoTest, true}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

}  // namespace

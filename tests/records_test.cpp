// The records room on its own: decoding and judging of recorded device streams, the run a
// journal folds into, and the files it leaves in the records folder, on a clock of the test's.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <csignal>
#include <map>

#include <sys/resource.h>

#include "DatabaseUri.h"
#include "Frames.h"
#include "HostCommands.h"
#include "Journal.h"
#include "JournalLines.h"
#include "RecordFiles.h"
#include "RecordVocabulary.h"
#include "Recorder.h"
#include "Recovery.h"
#include "Replies.h"
#include "SafeText.h"

// Readable failures for the Qt values compared below.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QJsonValue& v, std::ostream* os) {
    *os << QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

namespace mv62rec {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

class TestClock : public Clock {
  public:
    QDateTime Wall() const override { return base.addMSecs(steady.count() / 1000); }
    std::chrono::microseconds Steady() const override { return steady; }
    QDateTime base{QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::OffsetFromUTC, 3600};
    std::chrono::microseconds steady{5s};
};

Bytes Frame(std::uint8_t code, Bytes data) {
    return mv62::MakeDeviceFrame(code, data);
}

Bytes Sensor(std::uint8_t code, std::array<std::uint8_t, 6> raw, std::array<std::uint8_t, 6> peak) {
    mv62::SensorFrameData d;
    d.raw = raw;
    d.peak = peak;
    return mv62::EncodeSensorFrame(code, d);
}

// Plays the window's part: it writes commands a byte at a time, reads blocks, applies the
// latest frame of each block with the context it judges by.
struct Station {
    explicit Station(const QString& folder)
        : recorder(folder, {"mv62-station", "9.9.9", "bench-7", "tech", "bench-7", {}, {}}, clock) {
        recorder.OnError = [this](const QString& m) { errors << m; };
        recorder.OnEvent = [this](const QJsonObject& e) { events.push_back(e); };
    }
    void Open() { recorder.LinkOpened("COM2", "/dev/ttyUSB0", 19200); }
    void Send(std::uint8_t code) {
        for (std::uint8_t b : mv62::PlainCommand(code)) {
            recorder.Written(std::span(&b, 1), true);
        }
    }
    // One receive event of the serial component.
    void Receive(const Bytes& block) {
        clock.steady += 100ms;
        recorder.ReceiveEventStarted();
        recorder.Read(block);
        mv62::DeviceFrame f;
        if (assembler.Feed(block, f)) {
            if (f.code() == mv62::reply::OffsetAndLens) {
                context.sensorOffset = mv62::DecodeOffsetAndLens(f).sensorOffset;
            }
            recorder.FrameApplied(f, mv62::ReadFrame(f, context));
        }
        if (insideEvent) {
            insideEvent();
        }
        recorder.ReceiveEventEnded();
    }
    // The latest reply event.
    QJsonObject LastReply() const {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if ((*it)["event"] == QJsonValue("reply")) {
                return *it;
            }
        }
        return {};
    }
    // The link as the simulator answers it, then Auto Test up to (not including) `stopBefore`.
    void AutoTestUpTo(int stopBefore, std::uint8_t eeprom = 1) {
        Open();
        Send(mv62::cmd::StartLink);
        Bytes ident(23, 0);
        const std::string text = "MV/62 #7";
        std::copy(text.begin(), text.end(), ident.begin());
        Receive(Frame(0x00, ident));
        Receive(Frame(0x25, {0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0xFF}));
        recorder.AutoTestPressed();
        context.calibMode = false;
        const std::vector<std::function<void()>> steps = {
            [&] { Send(mv62::cmd::SensorRun); },
            [&] {
                Receive(Sensor(0x02, {22, 58, 22, 22, 22, 22}, {120, 120, 120, 120, 120, 120}));
            },
            [&] {
                Receive(Sensor(0x26, {22, 58, 22, 22, 22, 22}, {120, 120, 120, 120, 120, 120}));
            },
            [&] { Send(mv62::cmd::Stop); },
            [&] { Send(mv62::cmd::MotorTest); },
            [&] {
                Receive(Frame(0x03, {0x03, 0x20}));
            },
            [&] {
                Receive(Frame(0x03, {0x03, 0x20}));
            },
            [&] {
                Receive(Frame(0x03, {0x03, 0x20}));
            },
            [&] { recorder.Written(std::span(&mv62::kLoneStopByte, 1), true); },
            [&] { Send(mv62::cmd::PulseTest); },
            [&] { Receive(Frame(0x04, {0x10})); },
            [&] { Send(mv62::cmd::FishTest); },
            [&] { Receive(Frame(0x08, {1})); },
            [&] { Send(mv62::cmd::EepromTest); },
            [&] { Receive(Frame(0x09, {eeprom})); },
            [&] { Send(mv62::cmd::IoTest); },
            [&] { Receive(Frame(0x10, {1})); },
            [&] { Send(mv62::cmd::ReadSw1); },
            [&] {
                Receive(Frame(0x06, {0x02, 0x81}));
            },
            [&] { Send(mv62::cmd::ReadSw2); },
            [&] { Receive(Frame(0x07, {0x05})); },
            [&] { Send(mv62::cmd::LampTest); },
            [&] { Receive(Frame(0x05, {0})); },
            [&] { Receive(Frame(0x05, {1})); },
            [&] { Receive(Frame(0x05, {2})); },
            [&] { Receive(Frame(0x05, {3})); },
        };
        for (int i = 0; i < stopBefore && i < static_cast<int>(steps.size()); ++i) {
            steps[static_cast<std::size_t>(i)]();
        }
    }

    TestClock clock;
    Recorder recorder;
    mv62::FrameAssembler assembler;
    mv62::FrameContext context;
    QStringList errors;
    std::vector<QJsonObject> events;
    std::function<void()> insideEvent;  // runs at the end of each receive event's handler
};
constexpr int kWholeChain = 100;

QJsonObject ReadJson(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return QJsonDocument::fromJson(f.readAll()).object();
}

std::map<QString, QJsonObject> ByName(const QJsonArray& measurements) {
    std::map<QString, QJsonObject> out;
    for (const QJsonValue& m : measurements) {
        out[m["name"].toString()] = m.toObject();
    }
    return out;
}

TEST(RecordDecoding, RecordedStreamIsJudgedByTheWindowsRules) {
    QTemporaryDir dir;
    Station s(dir.path());
    s.Open();
    struct Case {
        Bytes block;
        mv62::FrameContext context;
        const char* name;
        QJsonValue value;
        QJsonValue passed;  // undefined: shown, not judged
    };
    const QJsonValue shown(QJsonValue::Undefined);
    const Case cases[] = {
        // Offset 9: channel 2 adds ceil(63/9) - 8 = -1, the others subtract (8 - 9) / 3 = 0.
        {Sensor(0x02, {24, 45, 16, 1, 25, 20}, {230, 55, 39, 40, 40, 40}),
         {false, 9, false},
         "optics.ch2.corrected",
         44,
         false},
        {{}, {}, "optics.ch1.corrected", 24, true},
        {{}, {}, "optics.ch3.corrected", 16, true},
        {{}, {}, "optics.ch5.corrected", 25, false},
        {{}, {}, "optics.ch1.peak", 230, true},  // judged on the byte, before the 200 cap
        {{}, {}, "optics.ch2.peak", 55, true},
        {{}, {}, "optics.ch3.peak", 39, false},
        {{}, {}, "optics.sensor_offset", 9, shown},
        // A raw 1 on channel 1 at offset 0 corrects below zero: it reads 0, not a full bar.
        {Sensor(0x26, {1, 58, 22, 22, 22, 22}, {}),
         {false, 0, false},
         "optics.ch1.corrected",
         0,
         false},
        // The calibration view shows the values and judges nothing.
        {Sensor(0x02, {1, 58, 22, 22, 22, 22}, {}),
         {false, 0, true},
         "optics.ch1.corrected",
         0,
         shown},
        {{}, {}, "optics.ch2.peak", 0, shown},
        {Frame(0x03, {0x02, 0x3C}), {true, 0, true}, "motor.rpm", 3120, true},
        {{}, {}, "motor.encoder", 572, true},
        {Frame(0x03, {0x02, 0x3C}), {false, 0, true}, "motor.rpm", 3120, false},
        {Frame(0x03, {0x02, 0x26}), {}, "motor.encoder", 550, false},
        {Frame(0x03, {0x03, 0x93}), {}, "motor.encoder", 915, true},
        {{}, {}, "motor.rpm", 4980, true},
        {Frame(0x04, {0x10}), {}, "pulse", 16, true},
        {Frame(0x04, {0x00}), {}, "pulse", 0, false},
        {Frame(0x09, {0x02}), {}, "eeprom", 2, false},
        {Frame(0x10, {0x01}), {}, "io", 1, true},
        {Frame(0x06, {0x02, 0x81}), {}, "sw1", QJsonArray{1, 8, 10}, shown},
        {Frame(0x07, {0xF5}), {}, "sw2", QJsonArray{1, 3}, shown},
        {Frame(0x25, {0xFF, 0xFF, 0x03, 0xFF, 0x07, 0xFF}), {}, "exchange.s3", 3, shown},
        {Frame(0x27, {95, 0x04, 0xD2}), {}, "optics.lens_count", 1234, shown},
    };
    for (const Case& c : cases) {
        if (!c.block.empty()) {
            s.context = c.context;
            s.Receive(c.block);
        }
        const QJsonObject reply = s.LastReply();
        // The channels of a sensor frame are journaled as one list per group.
        const QString name = c.name;
        const bool channel = name.startsWith("optics.ch");
        const QString key = channel ? "optics." + name.section('.', 2) : name;
        const auto pick = [&](const char* field) {
            const QJsonValue v = reply[field][key];
            return channel && !v.isUndefined() ? v[name.mid(9, 1).toInt() - 1] : v;
        };
        EXPECT_EQ(pick("measurements"), c.value) << c.name;
        EXPECT_EQ(pick("passed"), c.passed) << c.name;
    }
    // The 0x25 event names the flagged sensors; a code the window does not handle is journaled
    // as such; two frames in one block apply only the second.
    s.Receive(Frame(0x25, {0xFF, 0xFF, 0x03, 0xFF, 0x07, 0xFF}));
    EXPECT_EQ(s.events.back().value("values")["flagged"], (QJsonArray{3, 5}));
    s.Receive(Bytes{0x55, 0xAA, 0x30, 1, 2, 3, 4, 5, 6});  // taken with the last length, 9
    EXPECT_EQ(s.events.back().value("name"), QJsonValue("not handled"));
    Bytes two = Frame(0x08, {1});
    const Bytes eeprom = Frame(0x09, {0});
    two.insert(two.end(), eeprom.begin(), eeprom.end());
    s.Receive(two);
    EXPECT_EQ(s.events.back().value("code"), QJsonValue("09"));
    EXPECT_EQ(s.events[s.events.size() - 2].value("n"), QJsonValue(8));
}

TEST(RecordRuns, CutRunStopsAtTheStageWhoseReplyNeverCame) {
    struct Case {
        int stepsDone;
        const char* stoppedAt;
    };
    const Case cases[] = {
        {0, "sensor"}, {2, "sensor"}, {3, "motor"}, {5, "motor"},   {7, "motor"}, {8, "pulse"},
        {9, "pulse"},  {10, "pulse"}, {11, "fish"}, {14, "eeprom"}, {15, "io"},   {16, "io"},
        {18, "sw1"},   {20, "sw2"},   {21, "lamp"}, {22, "lamp"},   {25, "lamp"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        Station s(dir.path());
        s.AutoTestUpTo(c.stepsDone);
        s.recorder.EndProtocolPressed();
        ASSERT_TRUE(s.recorder.LastRun()) << c.stepsDone;
        const RunRecord& run = *s.recorder.LastRun();
        EXPECT_EQ(run.outcome, Outcome::Incomplete) << c.stepsDone;
        EXPECT_EQ(run.stoppedAt, c.stoppedAt) << c.stepsDone;
        EXPECT_EQ(run.reason, "end-protocol");
    }
}

TEST(RecordRuns, CompleteChainGivesRecordAndJournalThatRebuildsIt) {
    QTemporaryDir dir;
    Station s(dir.path());
    // The run ends inside the receive event of lamp step 3; its record waits for the disk only
    // once the event is over.
    bool inPlaceDuringEvent = true;
    s.insideEvent = [&] {
        if (s.recorder.LastRun()) {
            inPlaceDuringEvent = !s.recorder.LastRecordPath().isEmpty() ||
                                 !QDir(dir.path() + "/2026-03-04").entryList({"*.json"}).isEmpty();
        }
    };
    s.AutoTestUpTo(kWholeChain, /*eeprom=*/0);
    EXPECT_FALSE(inPlaceDuringEvent);
    ASSERT_TRUE(s.recorder.LastRun());
    EXPECT_FALSE(s.recorder.RunActive());
    const QString recordPath = s.recorder.LastRecordPath();
    // One folder per day; names sort by time and carry the unit, the kind and the outcome.
    EXPECT_EQ(recordPath,
              dir.path() + "/2026-03-04/20260304-050612.289_MV-62-7_auto-test_FAIL.json");
    EXPECT_EQ(s.recorder.JournalPath(),
              dir.path() + "/2026-03-04/20260304-050612.089_MV-62-7_journal.jsonl");

    const QJsonObject record = ReadJson(recordPath);
    EXPECT_EQ(record["schema"], QJsonValue(schema::Record));
    EXPECT_EQ(record["kind"], QJsonValue("auto-test"));
    EXPECT_EQ(record["outcome"], QJsonValue("FAIL"));
    EXPECT_EQ(record["failed"], QJsonArray{"eeprom"});
    EXPECT_EQ(record["device"], QJsonValue("MV/62 #7"));
    EXPECT_EQ(record["operator"], QJsonValue("tech"));
    EXPECT_EQ(record["station"]["port"], QJsonValue("COM2"));
    EXPECT_EQ(record["station"]["baud"], QJsonValue(19200));
    EXPECT_EQ(record["started"], QJsonValue("2026-03-04T05:06:12.289+01:00"));
    EXPECT_EQ(record["journal"], QJsonValue(s.recorder.JournalPath()));
    const auto m = ByName(record["measurements"].toArray());
    EXPECT_EQ(m.size(), 29u);
    EXPECT_EQ(m.at("lamp")["value"], (QJsonArray{0, 1, 2, 3}));
    EXPECT_EQ(m.at("exchange.s3")["value"], QJsonValue(3));  // reported before the run
    EXPECT_EQ(m.at("optics.ch2.corrected")["value"], QJsonValue(50));
    EXPECT_EQ(m.at("motor.rpm")["passed"], QJsonValue(true));
    EXPECT_TRUE(m.at("sw1")["passed"].isNull());
    // Each measurement with the numbers of the window's rule and how they apply.
    const auto limits = [&](const char* name) {
        const QJsonObject& o = m.at(name);
        return QJsonArray{o["low"], o["high"], o["comparison"], o["unit"]};
    };
    EXPECT_EQ(limits("optics.ch2.corrected"), (QJsonArray{46, 54, "inclusive", {}}));
    EXPECT_EQ(limits("optics.ch6.peak"), (QJsonArray{40, {}, "at-least", {}}));
    EXPECT_EQ(limits("motor.rpm"), (QJsonArray{3500, 5000, "exclusive", "rpm"}));
    EXPECT_EQ(limits("motor.encoder"), (QJsonArray{550, 916, "exclusive", "gap/sec"}));
    EXPECT_EQ(limits("pulse"), (QJsonArray{16, 16, "equals", {}}));
    EXPECT_EQ(limits("eeprom"), (QJsonArray{1, 1, "equals", {}}));
    EXPECT_EQ(limits("lamp"), (QJsonArray{{}, {}, {}, {}}));
    EXPECT_TRUE(QDir(dir.path() + "/2026-03-04").entryList({"*.json.*", "*~"}).isEmpty());

    // Folding the journal from disk again builds the very same record.
    RunBuilder builder;
    std::optional<RunRecord> rebuilt;
    for (const QJsonObject& e : ReadJournal(s.recorder.JournalPath())) {
        if (auto r = builder.Feed(e).ended) {
            rebuilt = r;
        }
    }
    ASSERT_TRUE(rebuilt);
    rebuilt->journal = s.recorder.JournalPath();
    EXPECT_EQ(QJsonDocument(rebuilt->ToJson()), QJsonDocument(record));
}

TEST(RecordRuns, CalibrationRecordsItsValuesUnjudged) {
    struct Case {
        bool frameBeforeExit;
        bool deviceEnds;
        Outcome outcome;
        const char* reason;
    };
    for (const Case& c : {Case{true, false, Outcome::Pass, "calibration-exit"},
                          Case{false, false, Outcome::Incomplete, "calibration-exit"},
                          Case{true, true, Outcome::Pass, "last-sensor-frame"}}) {
        QTemporaryDir dir;
        Station s(dir.path());
        s.Open();
        s.recorder.CalibrationPressed();
        if (c.frameBeforeExit) {
            s.Receive(Sensor(0x02, {60, 60, 60, 60, 60, 60}, {1, 1, 1, 1, 1, 1}));
        }
        if (c.deviceEnds) {
            s.Receive(Sensor(0x26, {60, 60, 60, 60, 60, 60}, {1, 1, 1, 1, 1, 1}));
        } else {
            s.recorder.CalibrationExitPressed();
        }
        ASSERT_TRUE(s.recorder.LastRun());
        const RunRecord& run = *s.recorder.LastRun();
        EXPECT_EQ(run.kind, RunKind::Calibration);
        EXPECT_EQ(run.outcome, c.outcome);
        EXPECT_EQ(run.reason, c.reason);
        EXPECT_EQ(run.measurements.size(), 20u);
        for (const Measurement& m : run.measurements) {
            EXPECT_FALSE(m.passed.has_value()) << m.name.toStdString();
        }
        EXPECT_EQ(run.measurements[0].value, c.frameBeforeExit ? QJsonValue(58) : QJsonValue());
        EXPECT_EQ(run.measurements[0].low, 16);
    }
}

TEST(RecordFilesTest, UnwritableFolderGivesOneErrorAndTheRunStillEnds) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Station s(dir.path() + "/file/records");
    s.AutoTestUpTo(kWholeChain);
    ASSERT_EQ(s.errors.size(), 1);
    EXPECT_TRUE(s.errors[0].contains(dir.path() + "/file/records/2026-03-04"));
    EXPECT_TRUE(s.errors[0].contains("without records"));
    ASSERT_TRUE(s.recorder.LastRun());
    EXPECT_EQ(s.recorder.LastRun()->outcome, Outcome::Pass);
    EXPECT_TRUE(s.recorder.LastRecordPath().isEmpty());
    EXPECT_TRUE(s.recorder.JournalPath().isEmpty());
    // The next link tries again and says so again.
    s.recorder.EndProtocolPressed();
    s.Open();
    EXPECT_EQ(s.errors.size(), 2);
}

TEST(RecordFilesTest, JournalCutInTheMiddleOfALineKeepsEveryCompleteLine) {
    QTemporaryDir dir;
    Station s(dir.path());
    s.AutoTestUpTo(12);
    EXPECT_EQ(ReadJournal(s.recorder.JournalPath()).size(), s.events.size());
    // The journal as a station killed now leaves it: its last line written only in part.
    const QString path = dir.path() + "/killed.jsonl";
    ASSERT_TRUE(QFile::copy(s.recorder.JournalPath(), path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(f.size() - 7));
    f.close();
    int cut = 0;
    const auto events = ReadJournal(path, &cut);
    EXPECT_EQ(cut, 1);
    EXPECT_EQ(events.front()["event"], QJsonValue("link_opened"));
    EXPECT_EQ(events.front()["schema"], QJsonValue(schema::Journal));
    RunBuilder builder;
    for (const QJsonObject& e : events) {
        builder.Feed(e);
    }
    const auto recovered = builder.Cut("recovered", "2026-03-04T05:07:00.000+01:00", 60000);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->stoppedAt, "fish");
    EXPECT_EQ(recovered->measurements[16].name, "pulse");
    EXPECT_EQ(recovered->measurements[16].passed, true);
}

TEST(RecordFilesTest, RecordsReadBackAndKilledJournalsFoldIntoRecoveredRuns) {
    QTemporaryDir dir;
    Station s(dir.path());
    s.AutoTestUpTo(kWholeChain, /*eeprom=*/0);
    const QString path = s.recorder.LastRecordPath();
    RunRecord run;
    QString error;
    ASSERT_TRUE(LoadRunRecord(path, run, error)) << error.toStdString();
    EXPECT_EQ(QJsonDocument(run.ToJson()), QJsonDocument(ReadJson(path)));
    // Written again elsewhere, never over a file that is there.
    EXPECT_FALSE(WriteRunRecord(path, run, error));
    ASSERT_TRUE(WriteRunRecord(dir.path() + "/copy.json", run, error));
    EXPECT_EQ(ReadJson(dir.path() + "/copy.json"), ReadJson(path));

    const auto write = [&](const char* name, const QByteArray& data) {
        QFile f(dir.path() + '/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return f.fileName();
    };
    EXPECT_FALSE(LoadRunRecord(write("a.json", "[1]"), run, error));
    EXPECT_EQ(error, "not a run record (not a JSON object)");
    EXPECT_FALSE(LoadRunRecord(write("b.json", R"({"schema": "mv62-run-record/9"})"), run, error));
    EXPECT_TRUE(error.contains("unknown schema \"mv62-run-record/9\"")) << error.toStdString();

    // A station killed in the pulse stage, its last line cut: the run up to there.
    Station killed(dir.path() + "/killed");
    killed.AutoTestUpTo(12);
    QFile f(killed.recorder.JournalPath());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(f.size() - 7));
    f.close();
    JournalRuns found;
    ASSERT_TRUE(FoldJournal(f.fileName(), found, error)) << error.toStdString();
    EXPECT_EQ(found.cutLines, 1);
    ASSERT_EQ(found.runs.size(), 1u);
    EXPECT_EQ(found.runs[0].outcome, Outcome::Incomplete);
    EXPECT_EQ(found.runs[0].reason, "recovered");
    EXPECT_EQ(found.runs[0].stoppedAt, "fish");
    EXPECT_EQ(found.runs[0].journal, f.fileName());
    EXPECT_FALSE(FoldJournal(path, found, error));
    EXPECT_TRUE(error.startsWith("not a session journal")) << error.toStdString();
}

// Text from outside on each medium: nothing a terminal or a spreadsheet would act on gets through.
TEST(SafeTextTest, ControlsAreShownAndFormulasAreDefused) {
    EXPECT_EQ(TerminalText(std::string_view("a\nb\x1b[2J\t\r\x7f")), "a\\nb\\x1b[2J\\t\\r\\x7f");
    EXPECT_EQ(TerminalText(QString::fromUtf8("\u00e9\u009b\u00a0")),
              QString::fromUtf8("\u00e9\\u009b\u00a0"));
    // Bytes that are not UTF-8 (a lone CSI byte, an overlong slash, a cut sequence) one by one.
    EXPECT_EQ(TerminalText(std::string_view("\x9b\xc0\xaf\xe2\x82")), "\\x9b\\xc0\\xaf\\xe2\\x82");
    const std::map<QString, QString> csv = {{"MV62 SIM 1.0", "MV62 SIM 1.0"},
                                            {"-5", "-5"},
                                            {"+1.5e3", "+1.5e3"},
                                            {"=1+2", "'=1+2"},
                                            {"-2+3", "'-2+3"},
                                            {"-inf", "'-inf"},
                                            {"@SUM(A1)", "'@SUM(A1)"},
                                            {"\t=1", "'\t=1"},
                                            {"\r=1", "\"'\r=1\""},
                                            {"1,8,10", "\"1,8,10\""},
                                            {"=a\"b", "\"'=a\"\"b\""},
                                            {"", ""}};
    for (const auto& [text, field] : csv) {
        EXPECT_EQ(CsvField(text), field) << text.toStdString();
    }
}

// A disk that refuses a write in the middle (here the file size limit, which fails a write as a
// full disk does: part of it taken, then an error): the journal keeps whole lines only, a record
// is not there at all, and each says why in the system's words.
TEST(RecordFilesTest, RefusedWritesLeaveWholeLinesAndNoRecord) {
    QTemporaryDir dir;
    const auto signal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto limitTo = [&](rlim_t bytes) {
        rlimit limit = before;
        limit.rlim_cur = bytes;
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    };
    ASSERT_TRUE(limitTo(1000));
    JournalWriter journal;
    QString error;
    ASSERT_TRUE(journal.Open(dir.path() + "/j.jsonl", error));
    const QJsonObject event{{"event", "tx"}, {"bytes", QString(60, 'A')}};
    int whole = 0;
    while (journal.Append(EventLine(event), error)) {
        ++whole;
    }
    EXPECT_EQ(error, "File too large");
    const QByteArray record(5000, 'x');
    EXPECT_FALSE(WriteFileWhole(dir.path() + "/r.json", record, IfTaken::Fail, error));
    EXPECT_EQ(error, "File too large");
    // A journal that cannot take even its first line is not kept.
    JournalWriter empty;
    ASSERT_TRUE(empty.Open(dir.path() + "/e.jsonl", error));
    EXPECT_FALSE(empty.Append(QByteArray(2000, 'x') + '\n', error));
    empty.Close();
    EXPECT_TRUE(empty.Path().isEmpty());
    ASSERT_TRUE(limitTo(before.rlim_cur));
    std::signal(SIGXFSZ, signal);

    journal.Close();
    EXPECT_EQ(ReadJournal(dir.path() + "/j.jsonl").size(), static_cast<std::size_t>(whole));
    EXPECT_GT(whole, 5);
    QFile file(dir.path() + "/j.jsonl");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().endsWith('\n'));
    // Nothing but the journal: no record, no temporary file, no empty journal.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"j.jsonl"});
    EXPECT_TRUE(WriteFileWhole(dir.path() + "/r.json", record, IfTaken::Fail, error));
    EXPECT_FALSE(WriteFileWhole(dir.path() + "/r.json", record, IfTaken::Fail, error));
    EXPECT_EQ(error, "a file of that name is already there");
}

// A line's database is named as libpq names it; what Qt's driver cannot be given, or what would
// put a password on a command line, is refused in words.
TEST(DatabaseUriTest, TakesLibpqFormsAndRefusesPasswordsAndSeveralHosts) {
    QString error;
    auto a = ParseDatabaseUri("postgresql://mv62@db.plant:5433/line?sslmode=require", error);
    ASSERT_TRUE(a) << error.toStdString();
    EXPECT_EQ(a->host, "db.plant");
    EXPECT_EQ(a->port, 5433);
    EXPECT_EQ(a->user, "mv62");
    EXPECT_EQ(a->database, "line");
    EXPECT_EQ(a->options, "sslmode='require'");
    a = ParseDatabaseUri("postgres://mv62@/line?host=/run/my%20pg&port=6000", error);
    ASSERT_TRUE(a) << error.toStdString();
    EXPECT_EQ(a->host, "/run/my pg");
    EXPECT_EQ(a->port, 6000);
    a = ParseDatabaseUri("postgresql://%2Fvar%2Frun%2Fpostgresql/line", error);
    ASSERT_TRUE(a) << error.toStdString();
    EXPECT_EQ(a->host, "/var/run/postgresql");
    EXPECT_EQ(a->user, "");
    EXPECT_EQ(a->port, -1);
    a = ParseDatabaseUri("postgresql://[::1]:5432/line", error);
    ASSERT_TRUE(a) << error.toStdString();
    EXPECT_EQ(a->host, "::1");

    for (const char* bad : {"postgresql://mv62:secret@db/line", "postgresql://db/line?password=x",
                            "postgresql://a,b/line", "postgresql://db:99999/line",
                            "postgresql://db/line?x;y=1", "mysql://db/line", "db/line"}) {
        error.clear();
        EXPECT_FALSE(ParseDatabaseUri(bad, error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
    ParseDatabaseUri("postgresql://mv62:secret@db/line", error);
    EXPECT_FALSE(error.contains("secret")) << error.toStdString();
}

}  // namespace
}  // namespace mv62rec

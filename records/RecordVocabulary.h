#pragma once
// The words of the station's files: the schemas, the journal's events and keys, the run record's
// keys, outcomes and reasons. Every writer and every reader (the recorder, the fold of a journal
// into runs, the records reader, the replay, the headless run) names them from here. Plain C++:
// the simulator reads journals without Qt.

namespace mv62rec {

namespace schema {
inline constexpr char Journal[] = "mv62-journal/1";
inline constexpr char Record[] = "mv62-run-record/2";
// The records of stations before units, stations and runs had names: still read.
inline constexpr char RecordVersion1[] = "mv62-run-record/1";
}  // namespace schema

// The end of every session journal's file name.
inline constexpr char kJournalSuffix[] = "_journal.jsonl";
// The records folder's index of its run records (hidden: the station's own files are not).
inline constexpr char kIndexFileName[] = ".mv62-index.sqlite";

// The journal's events, one a line.
namespace event {
inline constexpr char LinkOpened[] = "link_opened";  // the first line of every journal
inline constexpr char LinkClosed[] =
    "link_closed";                        // the last; missing when the station was killed
inline constexpr char Sent[] = "tx";      // a host command the station wrote
inline constexpr char Received[] = "rx";  // a block read off the port
inline constexpr char ReceivedDiscarded[] = "rx_discarded";
inline constexpr char Reply[] = "reply";  // a frame the window applied
inline constexpr char CashBox[] = "cashbox";
inline constexpr char RawDump[] = "raw_dump";
inline constexpr char AutoTest[] = "auto_test";
inline constexpr char Calibration[] = "calibration";
inline constexpr char CalibrationExit[] = "calibration_exit";
inline constexpr char EndProtocol[] = "end_protocol";
inline constexpr char Exit[] = "exit";
inline constexpr char PortLost[] = "port_lost";
inline constexpr char Timeout[] = "timeout";  // the headless run gave up waiting
inline constexpr char RunStarted[] = "run_started";
inline constexpr char RunEnded[] = "run_ended";
}  // namespace event

// Keys of the journal's lines and of the run record.
namespace key {
// Every journal line
inline constexpr char Event[] = "event";
inline constexpr char Time[] = "time";  // ISO 8601 with the offset from UTC
inline constexpr char Ms[] = "ms";      // milliseconds since the link opened
// The link and the station
inline constexpr char Schema[] = "schema";
inline constexpr char Program[] = "program";
inline constexpr char Version[] = "version";
inline constexpr char Host[] = "host";
inline constexpr char Operator[] = "operator";
inline constexpr char Records[] = "records";
inline constexpr char StationId[] = "station_id";  // the journal's link line
inline constexpr char Line[] = "line";
inline constexpr char Location[] = "location";
inline constexpr char PlanVersion[] = "plan_version";
inline constexpr char Port[] = "port";
inline constexpr char DevicePath[] = "device_path";
inline constexpr char Baud[] = "baud";
inline constexpr char CashBox[] = "cashbox";
inline constexpr char Ticked[] = "ticked";
inline constexpr char On[] = "on";
inline constexpr char Reason[] = "reason";
// Bytes on the line
inline constexpr char Bytes[] = "bytes";
inline constexpr char Count[] = "n";
inline constexpr char Code[] = "code";
inline constexpr char Command[] = "command";
inline constexpr char Lone[] = "lone";        // the stop byte sent without a header
inline constexpr char Garbage[] = "garbage";  // bytes that make no command
inline constexpr char Failed[] = "failed";    // a write the port refused; a run's failed names
// An applied reply
inline constexpr char Name[] = "name";
inline constexpr char Values[] = "values";
inline constexpr char Measurements[] = "measurements";
inline constexpr char Passed[] = "passed";
inline constexpr char Text[] = "text";
inline constexpr char Shown[] = "shown";
inline constexpr char Step[] = "step";
inline constexpr char State[] = "state";
inline constexpr char Readings[] = "readings";
inline constexpr char Flagged[] = "flagged";
inline constexpr char SensorOffset[] = "sensor_offset";
// Runs
inline constexpr char Kind[] = "kind";
inline constexpr char Run[] = "run";
inline constexpr char Outcome[] = "outcome";
inline constexpr char StoppedAt[] = "stopped_at";
inline constexpr char Record[] = "record";
inline constexpr char RunId[] = "run_id";
inline constexpr char UnitSerial[] = "unit_serial";
// The run record
inline constexpr char Device[] = "device";
inline constexpr char Station[] = "station";
inline constexpr char Id[] = "id";  // the station's, within the record's station
inline constexpr char Started[] = "started";
inline constexpr char Finished[] = "finished";
inline constexpr char DurationS[] = "duration_s";
inline constexpr char Journal[] = "journal";
inline constexpr char JournalRun[] = "journal_run";
inline constexpr char JournalMs[] = "journal_ms";
// A measurement of the record
inline constexpr char Value[] = "value";
inline constexpr char Unit[] = "unit";
inline constexpr char Low[] = "low";
inline constexpr char High[] = "high";
inline constexpr char Comparison[] = "comparison";
}  // namespace key

namespace kind {
inline constexpr char AutoTest[] = "auto-test";
inline constexpr char Calibration[] = "calibration";
}  // namespace kind

namespace outcome {
inline constexpr char Pass[] = "PASS";
inline constexpr char Fail[] = "FAIL";
inline constexpr char Incomplete[] = "INCOMPLETE";
}  // namespace outcome

// What ended a run.
namespace reason {
inline constexpr char LampStep3[] = "lamp-step-3";              // the chain's last step
inline constexpr char LastSensorFrame[] = "last-sensor-frame";  // a calibration's end
inline constexpr char CalibrationExit[] = "calibration-exit";
inline constexpr char LinkOpened[] = "link-opened";
inline constexpr char EndProtocol[] = "end-protocol";
inline constexpr char PortLost[] = "port-lost";
inline constexpr char LinkClosed[] = "link-closed";
inline constexpr const char* AutoTest = kind::AutoTest;  // a new run cut this one short
inline constexpr const char* Calibration = kind::Calibration;
inline constexpr const char* Exit = event::Exit;
inline constexpr const char* Timeout = event::Timeout;
inline constexpr char Recovered[] = "recovered";      // rebuilt from a killed station's journal
inline constexpr char NoReplyPrefix[] = "no-reply-";  // + the stage that never answered
}  // namespace reason

}  // namespace mv62rec

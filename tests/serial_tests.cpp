// TComm on an in-memory port: properties, opening and closing, polling, the 8192-byte rules,
// modem-line bookkeeping and the output family.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Comm.h"
#include "FakeSerialDevice.h"
#include "PortNames.h"
#include "SerialErrors.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A component on a fake line whose ticks are driven by hand and whose message steps are counted.
struct Rig {
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    std::unique_ptr<TComm> comm;
    std::vector<std::string> events;  // "recv", "msg", "modem 8", "error 8", "gone"
    Bytes received;

    explicit Rig(int portIndex = 0, int speedIndex = 0) {
        comm = std::make_unique<TComm>(nullptr, portIndex, speedIndex, FakeDeviceFactory(line));
        comm->ProcessMessages = [this] { events.push_back("msg"); };
        comm->OnModemStateChange = [this](TComm*, std::uint32_t m) {
            events.push_back("modem " + std::to_string(m));
        };
        comm->OnReceiveError = [this](TComm*, std::uint32_t m) {
            events.push_back("error " + std::to_string(m));
        };
        comm->OnDisconnect = [this](TComm*) { events.push_back("gone"); };
    }
    // The owner's receive handler: read what waits, as the main window does.
    void ReadOnReceive() {
        comm->OnReceiveData = [this](TComm* sender) {
            events.push_back("recv");
            const Bytes block = sender->ReadInputByte();
            received.insert(received.end(), block.begin(), block.end());
        };
    }
    int Count(const std::string& e) const {
        return static_cast<int>(std::count(events.begin(), events.end(), e));
    }
};

TEST(SerialComm, ConstructionTakesSelectorsAndDefaults) {
    const TBaudRate speeds[] = {9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Rig(0, i).comm->BaudRate(), speeds[i]);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Rig(i, 0).comm->CommPort(), static_cast<TComPortNumber>(i));
    EXPECT_EQ(Rig(-1, 0).comm->CommPort(), pnCOM1);
    EXPECT_EQ(Rig(8, 0).comm->CommPort(), pnCOM1);
    EXPECT_EQ(Rig(0, -1).comm->BaudRate(), 0);
    EXPECT_EQ(Rig(0, 5).comm->BaudRate(), 0);
    // The polling period is kept precisely, not within a coarse timer's 5 %.
    EXPECT_EQ(Rig().comm->PollTimer().timerType(), Qt::PreciseTimer);

    Rig r(2, 1);
    TComm& c = *r.comm;
    EXPECT_EQ(c.PortName(), "COM3");
    EXPECT_EQ(c.GetHwHandShaking(), hhNone);
    EXPECT_EQ(c.GetSwHandShaking(), shNone);
    EXPECT_EQ(c.DataBits(), DB8);
    EXPECT_EQ(c.Parity(), Even);
    EXPECT_EQ(c.StopBits(), SB1);
    EXPECT_EQ(c.InputLen(), 0);
    EXPECT_EQ(c.RThreshold(), 0);
    EXPECT_FALSE(c.GetDTRStatus());
    EXPECT_FALSE(c.GetRTSStatus());
    EXPECT_EQ(c.ReadCommEvent(), 0u);
    EXPECT_EQ(c.ReadCommError(), 0u);
    EXPECT_FALSE(c.ReadCDHolding() || c.ReadDSRHolding() || c.ReadRIHolding() ||
                 c.ReadCTSHolding());
    EXPECT_FALSE(c.PortOpen());
    EXPECT_FALSE(c.PollTimer().isActive());
    EXPECT_EQ(c.PollTimer().interval(), 100);
    EXPECT_TRUE(r.line->log.empty());  // nothing touches the port before it is opened
    EXPECT_EQ(c.ReadInputData(), "");

    // An owner frees the component with itself.
    QObject owner;
    auto* owned = new TComm(&owner, 0, 0, FakeDeviceFactory(r.line));
    EXPECT_EQ(owned->parent(), &owner);
}

TEST(SerialComm, OpeningConfiguresThePortInOrder) {
    unsetenv("MV62_COM1");
    Rig r(-1, 2);
    r.comm->SetPortOpen(true);
    const FakeSerialLine& l = *r.line;
    EXPECT_EQ(l.openedPaths, std::vector<std::string>{"/dev/ttyS0"});
    EXPECT_EQ(r.comm->DevicePath(), "/dev/ttyS0");
    EXPECT_EQ(l.log, (std::vector<std::string>{"open", "queues", "purge all", "settings", "dtr 1",
                                               "rts 0"}));
    EXPECT_EQ(l.queueSizes.front(), std::make_pair(8192, 8192));
    ASSERT_TRUE(l.settings.has_value());
    EXPECT_EQ(l.settings->baudRate, 38400);
    EXPECT_EQ(l.settings->dataBits, DB8);
    EXPECT_EQ(l.settings->parity, Even);
    EXPECT_EQ(l.settings->stopBits, SB1);
    EXPECT_FALSE(l.settings->checkParity);
    EXPECT_FALSE(l.settings->rtsHandshake || l.settings->rtsOn || l.settings->xonXoff);
    EXPECT_TRUE(r.comm->PortOpen());
    EXPECT_TRUE(r.comm->GetDTRStatus());
    EXPECT_FALSE(r.comm->GetRTSStatus());
    EXPECT_TRUE(r.comm->PollTimer().isActive());
    EXPECT_TRUE(r.comm->LastOpenError().reason.empty());

    // Opening an open component only stops its polling.
    r.comm->SetPortOpen(true);
    EXPECT_EQ(l.openedPaths.size(), 1u);
    EXPECT_TRUE(r.comm->PortOpen());
    EXPECT_FALSE(r.comm->PollTimer().isActive());

    r.comm->SetPortOpen(false);
    EXPECT_FALSE(r.comm->PortOpen());
    EXPECT_FALSE(l.open);
    EXPECT_EQ(l.closeCount, 1);
    EXPECT_FALSE(r.comm->PollTimer().isActive());
    r.comm->SetPortOpen(false);  // closing twice is harmless
    EXPECT_EQ(l.closeCount, 1);

    // The port number is read at each open; a direct second OpenComm releases the first handle.
    r.comm->SetCommPort(pnCOM4);
    r.comm->OpenComm();
    r.comm->OpenComm();
    EXPECT_EQ(l.openedPaths.back(), "/dev/ttyS3");
    EXPECT_EQ(l.closeCount, 2);
    EXPECT_TRUE(l.open);
}

TEST(SerialComm, UnsetSpeedStillOpensWithTheRefusedSettingsIgnored) {
    Rig r(8, 5);
    r.comm->SetPortOpen(true);
    EXPECT_EQ(r.line->settingsRequests.size(), 1u);
    EXPECT_EQ(r.line->settingsRequests[0].baudRate, 0);
    EXPECT_FALSE(r.line->settings.has_value());
    EXPECT_TRUE(r.comm->PortOpen());
    EXPECT_TRUE(r.comm->PollTimer().isActive());
    EXPECT_FALSE(r.comm->_SetCommState());
    EXPECT_TRUE(r.comm->OutputChar(0x55));
}

TEST(SerialComm, LineSettingsAreStoredAndReappliedOnlyWhenOpen) {
    Rig r(0, 0);
    TComm& c = *r.comm;
    const auto requests = [&] { return r.line->settingsRequests.size(); };

    c.SetBaudRate(9600);   // same value: nothing
    c.SetBaudRate(57600);  // closed: stored only
    c.SetParity(Odd);
    c.SetHwHandShaking(hhRTSCTS);
    EXPECT_EQ(c.BaudRate(), 57600);
    EXPECT_TRUE(r.line->log.empty());

    c.SetPortOpen(true);
    EXPECT_EQ(requests(), 1u);
    EXPECT_EQ(r.line->settings->baudRate, 57600);
    EXPECT_EQ(r.line->settings->parity, Odd);
    EXPECT_TRUE(r.line->settings->rtsHandshake);
    EXPECT_FALSE(r.line->settings->checkParity);

    c.SetBaudRate(57600);
    c.SetParity(Odd);
    c.SetCommPort(pnCOM2);  // takes effect at the next open only
    EXPECT_EQ(requests(), 1u);

    c.SetBaudRate(115200);
    EXPECT_EQ(requests(), 2u);
    EXPECT_EQ(r.line->settings->baudRate, 115200);
    c.SetHwHandShaking(hhNoneRTSON);
    EXPECT_TRUE(r.line->settings->rtsOn);
    EXPECT_FALSE(r.line->settings->rtsHandshake);
    c.SetSwHandShaking(shXonXoff);
    EXPECT_TRUE(r.line->settings->xonXoff);
    c.SetDataBits(DB7);
    EXPECT_EQ(r.line->settings->dataBits, DB7);
    c.SetStopBits(SB1_5);
    EXPECT_EQ(r.line->settings->stopBits, SB1_5);
    c.SetParity(Mark);
    EXPECT_EQ(r.line->settings->parity, Mark);
    c.SetParity(None);
    EXPECT_EQ(r.line->settings->parity, None);
    EXPECT_EQ(requests(), 8u);

    // A refused write leaves the port as it was.
    r.line->rejectSettings = true;
    c.SetBaudRate(19200);
    EXPECT_EQ(requests(), 9u);
    EXPECT_EQ(r.line->settings->baudRate, 115200);
    EXPECT_EQ(c.BaudRate(), 19200);

    // DTR and RTS: stored while closed, driven while open.
    c.SetRTSStatus(true);
    EXPECT_EQ(r.line->rtsCalls.back(), true);
    c.SetDTRStatus(false);
    EXPECT_EQ(r.line->dtrCalls.back(), false);
    c.SetPortOpen(false);
    const auto dtrCalls = r.line->dtrCalls.size();
    c.SetDTRStatus(true);
    EXPECT_TRUE(c.GetDTRStatus());
    EXPECT_EQ(r.line->dtrCalls.size(), dtrCalls);
    c.SetPortOpen(true);  // the stored RTS state is applied on open
    EXPECT_EQ(r.line->rtsCalls.back(), true);
    EXPECT_EQ(r.line->openedPaths.back(), "/dev/ttyS1");
}

TEST(SerialComm, PollingRaisesReceiveOnlyAtThreshold) {
    Rig r;
    r.ReadOnReceive();
    r.comm->SetPortOpen(true);
    r.line->Push({0x55, 0xAA, 0x00});

    // Threshold 0 (after construction) and below never raise the event.
    for (int i = 0; i < 3; ++i)
        r.comm->ProcTimer();
    r.comm->SetRThreshold(-1);
    r.comm->ProcTimer();
    EXPECT_EQ(r.Count("recv"), 0);
    EXPECT_EQ(r.line->input.size(), 3u);

    r.comm->SetRThreshold(4);
    r.comm->ProcTimer();
    EXPECT_EQ(r.Count("recv"), 0);

    r.comm->SetRThreshold(1);
    r.events.clear();
    r.comm->ProcTimer();
    EXPECT_EQ(r.events, (std::vector<std::string>{"recv", "msg", "msg", "msg"}));
    EXPECT_EQ(r.received, (Bytes{0x55, 0xAA, 0x00}));

    // Error flags of the status query: stored and reported after the modem step.
    r.line->errorFlags = 0x08;
    r.line->modemLines = kModemCts;
    r.line->Push({0x01});
    r.events.clear();
    r.comm->ProcTimer();
    EXPECT_EQ(r.events,
              (std::vector<std::string>{"recv", "msg", "modem 8", "msg", "error 8", "msg"}));
    EXPECT_EQ(r.comm->ReadCommError(), 0x08u);

    // A failed status query counts as no error and nothing waiting.
    r.line->failStatus = true;
    r.line->Push({0x02});
    r.events.clear();
    r.comm->ProcTimer();
    EXPECT_EQ(r.events, (std::vector<std::string>{"msg", "modem 8", "msg", "msg"}));
    EXPECT_EQ(r.comm->ReadCommError(), 0u);

    // A closed component does nothing on a tick.
    r.comm->SetPortOpen(false);
    r.events.clear();
    const int queries = r.line->statusQueries;
    r.comm->ProcTimer();
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.line->statusQueries, queries);
}

TEST(SerialComm, ReadingKeepsTheBlockRules) {
    Rig r;
    TComm& c = *r.comm;
    c.SetPortOpen(true);
    EXPECT_EQ(c.ReadInDataCount(), 0u);

    r.line->Push({'A', 0x00, 'B'});
    EXPECT_EQ(c.ReadInDataCount(), 3u);
    EXPECT_EQ(c.ReadInputData(), std::string("A\0B", 3));
    // Nothing waiting: the previous block again, without a read.
    EXPECT_EQ(c.ReadInputData(), std::string("A\0B", 3));
    EXPECT_EQ(c.ReadInputByte(), (Bytes{'A', 0x00, 'B'}));
    EXPECT_EQ(r.line->readRequests.size(), 1u);

    // Exactly 8192 waiting bytes are read in one go.
    r.line->PushCount(8192, 0x11);
    const Bytes full = c.ReadInputByte();
    EXPECT_EQ(full.size(), 8192u);
    EXPECT_EQ(full.back(), 0x11);
    EXPECT_TRUE(r.line->input.empty());

    // 8193: the input queue is dropped and the previous block stays.
    r.line->Push({0x22});
    c.ReadInputByte();
    r.line->PushCount(8193, 0x33);
    EXPECT_EQ(c.ReadInputByte(), Bytes{0x22});
    EXPECT_TRUE(r.line->input.empty());
    EXPECT_EQ(r.line->purgeInputCount, 1);

    // InputLen limits one read; it is held to the receive buffer.
    c.SetInputLen(2);
    r.line->Push({1, 2, 3});
    EXPECT_EQ(c.ReadInputByte(), (Bytes{1, 2}));
    EXPECT_EQ(c.ReadInputByte(), Bytes{3});
    c.SetInputLen(100000);
    EXPECT_EQ(c.InputLen(), 8192);
    r.line->PushCount(10);
    c.ReadInputByte();
    EXPECT_LE(r.line->readRequests.back(), 8192);
    c.SetInputLen(-5);
    EXPECT_EQ(c.InputLen(), 0);

    // A failed read, or one that returns nothing, leaves the block unchanged.
    r.line->Push({9, 9});
    r.line->failRead = true;
    EXPECT_EQ(c.ReadInputByte().size(), 10u);
    r.line->failRead = false;
    r.line->readsNothing = true;
    EXPECT_EQ(c.ReadInputByte().size(), 10u);
    EXPECT_EQ(c.ReadInputData().size(), 10u);
    r.line->readsNothing = false;

    // SetInDataCount: 0 clears the input queue, anything else does nothing.
    c.SetInDataCount(1);
    EXPECT_EQ(r.line->input.size(), 2u);
    c.SetInDataCount(0);
    EXPECT_TRUE(r.line->input.empty());
    EXPECT_EQ(r.line->purgeInputCount, 2);

    c.SetPortOpen(false);
    r.line->Push({7});
    EXPECT_EQ(c.ReadInDataCount(), 0u);
    EXPECT_EQ(c.ReadInputByte().size(), 10u);
}

TEST(SerialComm, ModemLinesAreTrackedInCommEvent) {
    Rig r;
    TComm& c = *r.comm;
    c.SetPortOpen(true);
    const auto modemEvents = [&] {
        std::vector<std::string> m;
        for (const auto& e : r.events) {
            if (e.rfind("modem", 0) == 0)
                m.push_back(e);
        }
        r.events.clear();
        return m;
    };

    c.ProcTimer();
    EXPECT_TRUE(modemEvents().empty());

    // CTS on: mask 0x08 on every tick, not only on the change.
    r.line->modemLines = kModemCts;
    for (int i = 0; i < 3; ++i)
        c.ProcTimer();
    EXPECT_EQ(modemEvents(), (std::vector<std::string>(3, "modem 8")));
    EXPECT_TRUE(c.ReadCTSHolding());

    r.line->modemLines = kModemCts | kModemDsr;
    c.ProcTimer();
    EXPECT_EQ(modemEvents(), std::vector<std::string>{"modem 24"});  // 0x18
    EXPECT_TRUE(c.ReadDSRHolding());

    r.line->modemLines = kModemCts | kModemDsr | kModemRing | kModemCarrier;
    c.ProcTimer();
    EXPECT_EQ(c.ReadCommEvent(), 0x138u);
    EXPECT_TRUE(c.ReadRIHolding() && c.ReadCDHolding());

    // A failed query changes nothing.
    r.line->failModem = true;
    r.line->modemLines = 0;
    modemEvents();
    c.ProcTimer();
    EXPECT_EQ(modemEvents(), std::vector<std::string>{"modem 312"});
    r.line->failModem = false;

    // Lines going off are subtracted.
    r.line->modemLines = kModemDsr | kModemRing;
    c.ProcTimer();
    EXPECT_EQ(c.ReadCommEvent(), 0x110u);
    EXPECT_FALSE(c.ReadCTSHolding() || c.ReadCDHolding());
    r.line->modemLines = 0;
    modemEvents();
    c.ProcTimer();
    EXPECT_EQ(c.ReadCommEvent(), 0u);
    EXPECT_TRUE(modemEvents().empty());
}

TEST(SerialComm, OutputFamilyResults) {
    Rig r;
    TComm& c = *r.comm;
    // Closed: everything fails without touching the port.
    EXPECT_FALSE(c.OutputChar(0x55));
    EXPECT_FALSE(c.OutputString("ab"));
    EXPECT_FALSE(c.OutputStringchar("ab"));
    EXPECT_FALSE(c.OutputByte({}));
    EXPECT_TRUE(r.line->log.empty());

    c.SetPortOpen(true);
    EXPECT_TRUE(c.OutputChar(0x55));
    EXPECT_TRUE(c.OutputString(std::string("\xAA\x00\x01", 3)));
    EXPECT_TRUE(c.OutputStringchar("xy\0z"));
    EXPECT_TRUE(c.OutputByte({0xED, 0x07}));
    EXPECT_TRUE(c.OutputByte({}));
    EXPECT_EQ(r.line->writes,
              (std::vector<Bytes>{{0x55}, {0xAA, 0x00, 0x01}, {'x', 'y'}, {0xED}, {0x07}}));

    // A failed write is reported by the single writes and ignored by OutputByte.
    r.line->failWrite = true;
    EXPECT_FALSE(c.OutputChar(0x01));
    EXPECT_FALSE(c.OutputString("a"));
    EXPECT_TRUE(c.OutputByte({1, 2}));
    r.line->failWrite = false;

    c.SetPortOpen(false);
    EXPECT_FALSE(c.OutputChar(0x55));
    EXPECT_FALSE(c.OutputByte({0x01}));
    EXPECT_EQ(r.line->writes.size(), 5u);
}

TEST(SerialComm, PortThatCannotBeOpenedIsReported) {
    setenv("MV62_COM2", "/dev/missing-adapter", 1);
    Rig r(1, 0);
    r.ReadOnReceive();
    r.line->openErrno = ENOENT;
    r.comm->SetRThreshold(1);
    r.comm->SetPortOpen(true);
    unsetenv("MV62_COM2");

    EXPECT_FALSE(r.comm->PortOpen());
    EXPECT_FALSE(r.comm->PollTimer().isActive());
    EXPECT_EQ(r.comm->LastOpenError().errorNumber, ENOENT);
    EXPECT_EQ(r.comm->LastOpenError().kind, SerialOpenFailure::Missing);
    EXPECT_FALSE(r.comm->LastOpenError().reason.empty());
    EXPECT_EQ(r.comm->DevicePath(), "/dev/missing-adapter");
    EXPECT_FALSE(r.comm->OutputChar(0x55));
    r.line->Push({1});
    r.comm->ProcTimer();
    EXPECT_TRUE(r.events.empty());
    EXPECT_FALSE(r.comm->_SetCommState());
    EXPECT_EQ(r.line->log, std::vector<std::string>{"open"});

    // Once the port is there, a new attempt succeeds and clears the error.
    r.line->openErrno = 0;
    r.comm->SetPortOpen(true);
    EXPECT_TRUE(r.comm->PortOpen());
    EXPECT_EQ(r.comm->LastOpenError().errorNumber, 0);
    EXPECT_TRUE(r.comm->LastOpenError().reason.empty());
}

TEST(SerialComm, DisappearingPortIsReportedOnce) {
    Rig r;
    r.ReadOnReceive();
    r.comm->SetRThreshold(1);
    r.comm->SetPortOpen(true);
    r.line->modemLines = kModemCts;
    r.comm->ProcTimer();
    r.events.clear();

    r.line->Push({1, 2, 3});
    r.line->Disconnect();
    const int queries = r.line->statusQueries;
    for (int i = 0; i < 50; ++i)
        r.comm->ProcTimer();
    EXPECT_EQ(r.events, std::vector<std::string>{"gone"});  // nothing waiting, no modem events
    EXPECT_TRUE(r.received.empty());
    EXPECT_FALSE(r.comm->PollTimer().isActive());
    EXPECT_EQ(r.line->statusQueries - queries, 1);  // no further port work once reported
    EXPECT_FALSE(r.comm->OutputChar(0x55));

    // The owner closes it as usual; a later link reports afresh.
    r.comm->SetPortOpen(false);
    EXPECT_EQ(r.line->closeCount, 1);
    r.comm->SetPortOpen(true);
    r.comm->ProcTimer();
    r.line->Disconnect();
    r.comm->ProcTimer();
    r.comm->ProcTimer();
    EXPECT_EQ(r.Count("gone"), 2);
}

TEST(SerialComm, DestructorClosesAnOpenPort) {
    auto line = std::make_shared<FakeSerialLine>();
    {
        TComm c(nullptr, 0, 0, FakeDeviceFactory(line));
        c.SetPortOpen(true);
        EXPECT_TRUE(line->open);
    }
    EXPECT_FALSE(line->open);
    EXPECT_EQ(line->closeCount, 1);

    // Freed by its owner.
    auto owner = std::make_unique<QObject>();
    (new TComm(owner.get(), 0, 0, FakeDeviceFactory(line)))->SetPortOpen(true);
    EXPECT_TRUE(line->open);
    owner.reset();
    EXPECT_FALSE(line->open);
    EXPECT_EQ(line->closeCount, 2);
}

TEST(SerialErrors, OpenFailuresInPlainWords) {
    const std::vector<SerialDeviceEntry> devices = {
        {"/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", "/dev/ttyUSB1"},
        {"/dev/ttyACM0", ""},
        {"/dev/ttyS0", ""}};
    const auto text = [&](SerialOpenFailure kind, const std::vector<SerialDeviceEntry>& list) {
        return PortOpenErrorText("COM1", "/dev/ttyS0", {kind, 0, "Input/output error"}, list);
    };
    const std::string pointer =
        "To use another device for COM1, start the station with MV62_COM1=<device>";

    EXPECT_EQ(text(SerialOpenFailure::Missing, devices),
              "COM1 (/dev/ttyS0) does not exist.\n"
              "Serial devices on this machine: /dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0 "
              "(/dev/ttyUSB1), /dev/ttyACM0, /dev/ttyS0.\n" +
                  pointer +
                  ", for example MV62_COM1=/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0.");
    EXPECT_EQ(text(SerialOpenFailure::Missing, {}),
              "COM1 (/dev/ttyS0) does not exist.\n"
              "No serial device was found on this machine: is the serial adapter plugged in?\n" +
                  pointer + ".");
    EXPECT_EQ(text(SerialOpenFailure::InUse, devices),
              "COM1 (/dev/ttyS0) is in use by another program.\n"
              "Close that program (or the other station), then try again.\n" +
                  pointer + ".");
    EXPECT_EQ(text(SerialOpenFailure::Permission, devices),
              "This user may not open COM1 (/dev/ttyS0).\n"
              "The user must be a member of the \"dialout\" group to use serial ports "
              "(sudo usermod -aG dialout $USER, then log in again).\n" +
                  pointer + ".");
    // Anything else keeps the system's words.
    EXPECT_EQ(text(SerialOpenFailure::Other, devices),
              "COM1 (/dev/ttyS0) cannot be opened: Input/output error.\n" + pointer + ".");
}

TEST(SerialPortNames, NamesInAnyCaseAndTheEnvironmentOverridingTheDevice) {
    EXPECT_EQ(PortName(0), "COM1");
    EXPECT_EQ(PortName(15), "COM16");  // the component's last port, beyond the selector's
    EXPECT_EQ(PortIndex("COM1"), 0);
    EXPECT_EQ(PortIndex("com8"), 7);
    for (const char* other : {"COM9", "COM0", "COM01", "COM", " COM1", "COM1 ", "", "COMX"}) {
        EXPECT_EQ(PortIndex(other), -1) << other;
    }

    unsetenv("MV62_COM3");
    EXPECT_EQ(SerialDevicePathFor(1), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePathFor(3), "/dev/ttyS2");
    setenv("MV62_COM3", "", 1);
    EXPECT_EQ(SerialDevicePathFor(3), "/dev/ttyS2");
    setenv("MV62_COM3", "/dev/ttyUSB0", 1);
    EXPECT_EQ(SerialDevicePathFor(3), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePathFor(13), "/dev/ttyS12");
    unsetenv("MV62_COM3");
}

}  // namespace

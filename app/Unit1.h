#pragma once
// TForm1: the station's main window. It owns every control, the run-time display elements, the
// serial components it creates, and the station's state between events.
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Comm.h"
#include "Frames.h"
#include "HostCommands.h"
#include "SignalDisplay.h"
#include "StationObserver.h"
#include "TestPlan.h"

class QCheckBox;
class QColor;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class TCtCode;
class TShape;

// The window caption; reply 0x00 appends the device identification to it.
extern const QString CaptionText;

// Flags that keep a test started by its own button from continuing the test chain.
struct TSingleTestFlags {
    bool Motor = false;
    bool MotorStop = false;
    bool Pulse = false;
    bool Fish = false;
    bool Eeprom = false;
    bool Io = false;
    bool Sw1 = false;
    bool Sw2 = false;
    void ClearAll() { *this = TSingleTestFlags{}; }
};

// One control's enabled state in a named window state; a state is applied in table order, as
// the order decides where the keyboard focus goes when a focused control is disabled.
struct TEnabledState {
    QWidget* control;
    bool enabled;
};
using TEnabledStates = std::vector<TEnabledState>;

// The enabled states the link sets, a row per control.
struct TLinkEnabledState {
    QWidget* control;
    bool atCreation;
    bool afterStart;
    bool afterEnd;
};

class TForm1 : public QWidget, public TSignalDisplayElements {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Hooks: how the window blocks, lets the message queue run, reports errors and opens
    // serial devices. The program uses the real ones; tests replace them.
    std::function<void(int ms)> Wait;
    std::function<void()> Pump;
    std::function<void(const QString& message)> ShowError;
    TComm::DeviceFactory SerialDeviceFactory;
    // Asked when Auto Test or CALIBRATION is pressed with the link open, before anything else:
    // the unit's serial number, or nothing to withdraw the press. Unset: nothing is asked.
    std::function<std::optional<QString>()> AskUnitSerial;
    // Told of the window's state changes, the frames it applies and the line.
    mv62rec::StationObserver* Observer = &mv62rec::StationObserver::None();

    // ---- Designed controls: top row
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* BtnExit = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button18 = nullptr;
    QPushButton* Button19 = nullptr;

    // Left area
    QFrame* Panel1 = nullptr;
    QSlider* SetChBar = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label40 = nullptr;
    QLabel* Label41 = nullptr;
    QLabel* Label43 = nullptr;
    QLabel* Label44 = nullptr;
    QLabel* Label45 = nullptr;
    QLabel* Label46 = nullptr;
    QLabel* Label47 = nullptr;
    QLabel* Label48 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label51 = nullptr;

    // Middle column
    TShape* Shape1 = nullptr;
    TShape* Shape2 = nullptr;
    TShape* Shape3 = nullptr;
    QPushButton* BtnCalibStar = nullptr;
    QPushButton* BtnCalibEnd = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button11 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button15 = nullptr;
    QPushButton* Button16 = nullptr;
    QPushButton* Button17 = nullptr;

    // Status panel
    QFrame* Panel2 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label49 = nullptr;
    TShape* Shape16 = nullptr;
    QLabel* Label50 = nullptr;
    QLabel* Label6 = nullptr;
    TShape* Shape4 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    TShape* Shape5 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label17 = nullptr;
    TShape* Shape6 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label15 = nullptr;
    TShape* Shape8 = nullptr;
    QLabel* Label19 = nullptr;
    TShape* Shape9 = nullptr;
    QLabel* Label21 = nullptr;
    TShape* Shape10 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label24 = nullptr;
    TShape* Shape7 = nullptr;
    TShape* Shape11 = nullptr;
    TShape* Shape12 = nullptr;

    // Maintenance panel
    QFrame* Panel3 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label27 = nullptr;
    QLabel* Label28 = nullptr;
    QLabel* Label29 = nullptr;
    QLabel* Label30 = nullptr;
    QCheckBox* cb1 = nullptr;
    QCheckBox* cb2 = nullptr;
    QCheckBox* cb3 = nullptr;
    TShape* Shape14 = nullptr;
    TShape* Shape15 = nullptr;
    TShape* Shape13 = nullptr;
    QLabel* Label31 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label32 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLabel* Label39 = nullptr;
    QLabel* Label33 = nullptr;
    QLabel* Label34 = nullptr;
    QLabel* Label35 = nullptr;
    QLabel* Label36 = nullptr;
    QLabel* Label37 = nullptr;
    QLabel* Label38 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QToolButton* SpeedButton6 = nullptr;
    QToolButton* SpeedButton7 = nullptr;

    // Country panel (hidden)
    QFrame* Panel4 = nullptr;
    QPlainTextEdit* MemoArea = nullptr;
    QPushButton* BtnCtCode = nullptr;
    QPushButton* Button20 = nullptr;
    QLabel* Label42 = nullptr;

    // Hidden diagnostic controls
    QPlainTextEdit* Memo1 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QPushButton* Button21 = nullptr;
    QToolButton* SpeedButton10 = nullptr;
    QPushButton* Button22 = nullptr;
    QToolButton* SpeedButton8 = nullptr;
    QToolButton* SpeedButton9 = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;

    // The country dialog, created hidden after the window (set by the start-up code).
    TCtCode* CtCode = nullptr;

    // ---- Station state
    bool LinkOpen = false;
    mv62::FrameAssembler Assembler;  // FrameBuffer, FrameIndex, ... HistoryIndex
    // ReceiveMode: frames are assembled, or (22) every byte goes into the raw EEPROM dump.
    static constexpr int kFrameReception = 0;
    static constexpr int kRawDumpMode = 22;
    int ReceiveMode = kFrameReception;
    QString DumpLine;
    int DumpCount = 0;
    TSingleTestFlags SingleTest;
    int MotorReplyCount = 0;
    int SensorOffset = 0;
    bool SensorRunEnded = false;
    bool CalibMode = true;
    std::array<std::uint32_t, 6> CalibValues{};
    std::array<std::uint32_t, 6> MaxValues{};
    bool FirstDriveReport = true;
    bool BarsDrawn = false;
    bool Sw1Idle = true;
    bool Sw2Idle = true;

    // The current serial component (null before the first Start Protocol) and all created ones.
    TComm* Comm = nullptr;
    std::vector<TComm*> CreatedComms;

    // ---- The window's enabled states as data (Unit1States.cpp)
    std::vector<TLinkEnabledState> LinkStates;
    TEnabledStates CalibrationRunning;   // CALIBRATION pressed: 退出 the way out
    TEnabledStates CalibrationReady;     // 退出 pressed: CALIBRATION usable again
    TEnabledStates SensorStageLocks;     // CALIBRATION and Auto Test lock the mode switches
    TEnabledStates AutoTestLocks;        // Auto Test locks the sensor stage's own buttons
    TEnabledStates CalibrationRunEnded;  // the device ended a calibration run
    TEnabledStates ChainEnded;           // lamp step 3: the test chain is over
    TEnabledStates MaintenanceOn;
    TEnabledStates MaintenanceOff;
    void ApplyEnabled(const TEnabledStates& states);
    void ApplyLinkState(bool TLinkEnabledState::*column);
    // The twelve controls a switch repeat locks, the other switch's button first.
    std::array<QWidget*, 12> SwitchRepeatLockedControls(QWidget* otherSwitchButton) const;
    // Shape1..Shape3, the link and sensor-run lamps.
    void SetLinkLamps(const QColor& colour);
    // The switch position labels without a result.
    static void GreySwitchDigits(std::span<QLabel* const> digits);
    // Label40..Label46, the six exchange-sensor readings.
    std::array<QLabel*, 6> ExchangeSensorLabels() const;

    // ---- Handlers
    void FormCreate();
    void BtnExitClick();
    void Button3Click();
    void Button4Click();
    void Button8Click() { ClearStatusDisplay(); }
    void ClearStatusDisplay();
    void CommReceiveData(TComm* sender);
    void CommDisconnected(TComm* sender);
    void ApplyReply(const mv62::FrameReading& reading, bool& sensorFrame);
    void ShowSensorFrame(const mv62::FrameReading& reading);

    // ---- What each reply shows (Unit1Replies.cpp), and where the test chain goes on
    void ShowIdentification(const mv62::FrameReading& reading);
    void ShowMotorRate(const mv62::FrameReading& reading);
    void ShowPulseResult(const mv62::FrameReading& reading);
    void ShowResult(TShape* indicator, const mv62::FrameReading& reading);  // fish, EEPROM, I/O
    void ShowSwitchPositions(std::span<QLabel* const> digits, const mv62::Reading& on);
    void ShowLampStep(const mv62::FrameReading& reading);
    void ShowMaintenanceReport(const mv62::FrameReading& reading);  // fish, hook, in, sensors
    void ShowExchangeSensors(const mv62::FrameReading& reading);
    void ShowOffsetAndLens(const mv62::FrameReading& reading);
    // After pulse, fish, EEPROM, I/O, SW1 and SW2 replies: the next test of the chain.
    void ContinueChain(std::uint8_t replyCode);
    // Every third motor reply: the motor stage ends and the pulse test follows.
    void ContinueMotorStage();
    // The end of a sensor run, in the calibration view and in the automatic-test view.
    void EndCalibrationRun();
    void StartTestChain();

    void BtnCalibStarClick();
    void BtnCalibEndClick();
    void SetChBarChange();
    void ChRadioMouseDown(int channel);
    void SendChannelDac(std::uint8_t channel, int value) {
        SendBytes(mv62::ChannelDacCommand(channel, value));
    }
    // Clears the bar layers (corrected values, then peaks) of the six columns.
    void ClearSignalBars();
    // A function test from its own button: with the link open, sends the command and then sets
    // the test's SingleTest flag (none for the lamp test).
    void RunSingleTest(std::uint8_t code, bool* singleTestFlag);
    // Starts or stops the SW1 or SW2 repeat.
    void ToggleSwitchRepeat(QTimer* timer, QPushButton* own, QPushButton* other,
                            const QString& caption, bool& idle, std::span<QLabel* const> digits);
    // Leaves raw-dump mode, writing out an unfinished dump line.
    void EndRawDump();

    // The function tests, the manual controls and the DAC and EEPROM commands that only send.
    void Button9Click() { RunSingleTest(mv62::cmd::MotorTest, &SingleTest.Motor); }
    void Button10Click();
    void Button11Click() { RunSingleTest(mv62::cmd::PulseTest, &SingleTest.Pulse); }
    void Button12Click() { RunSingleTest(mv62::cmd::FishTest, &SingleTest.Fish); }
    void Button13Click() { RunSingleTest(mv62::cmd::EepromTest, &SingleTest.Eeprom); }
    void Button14Click() { RunSingleTest(mv62::cmd::IoTest, &SingleTest.Io); }
    void Button15Click();
    void Button16Click();
    void Button17Click() { RunSingleTest(mv62::cmd::LampTest, nullptr); }  // continues nothing
    // One step of a switch repeat: the positions grey, the switch read as a single test.
    void SwitchStep(std::span<QLabel* const> digits, std::uint8_t command, bool& singleTest);
    void Timer1Timer() { SwitchStep(Sw1Digit, mv62::cmd::ReadSw1, SingleTest.Sw1); }
    void Timer2Timer() { SwitchStep(Sw2Digit, mv62::cmd::ReadSw2, SingleTest.Sw2); }

    void Button18Click();
    void Button19Click();
    void SpeedButton1Click() { SendCommand(mv62::cmd::MotorPlus); }
    void SpeedButton2Click() { SendCommand(mv62::cmd::MotorMinus); }
    void SpeedButton3Click() { SendCommand(mv62::cmd::MotorStop); }
    void SpeedButton4Click() { SendCommand(mv62::cmd::CashMotorPlus); }
    void SpeedButton5Click() { SendCommand(mv62::cmd::CashMotorMinus); }
    void SpeedButton6Click() { SendCommand(mv62::cmd::CashMotorStop); }
    void SpeedButton7Click() { SendCommand(mv62::cmd::HomePosition); }
    void cb1Click();
    void CheckBox1Click();
    void CheckBox2Click();

    void SpeedButton8Click() { SendCommand(mv62::cmd::DefaultDac); }
    void SpeedButton9Click() { SendCommand(mv62::cmd::EepromFill); }
    void SpeedButton10Click();
    void Timer3Timer();
    void Button21Click();
    void Button22Click() { EndRawDump(); }

    void Button7Click();
    // The unit serial asked for a run that is about to start; false when the press is withdrawn.
    bool UnitSerialAsked();

    void BtnCtCodeClick();
    void Button20Click();

    // Sends a command one OutputChar per byte on the current serial component (nothing before
    // the first Start Protocol); write results are ignored.
    void SendBytes(const std::vector<std::uint8_t>& bytes);
    void SendCommand(std::uint8_t code) { SendBytes(mv62::PlainCommand(code)); }

  private:
    void CreateControls();    // the designed controls, their geometry, fonts and colours
    void BuildStateTables();  // the enabled-state tables of the controls just created
    void ConnectHandlers();   // binds every control's event to its handler
};

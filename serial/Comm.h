#pragma once
// TComm: the serial port component. It owns one port, its line settings, a 100 ms polling timer
// and an 8192-byte receive buffer; it raises OnReceiveData when enough bytes wait.
#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LineTap.h"
#include "SerialDevice.h"

enum TComPortNumber : std::uint8_t {
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};
enum THwHandShaking : std::uint8_t { hhNone, hhNoneRTSON, hhRTSCTS };
enum TSwHandShaking : std::uint8_t { shNone, shXonXoff };

class TComm : public QObject {
    Q_OBJECT
  public:
    using DeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;
    using ReceiveHandler = std::function<void(TComm* sender)>;
    using MaskHandler = std::function<void(TComm* sender, std::uint32_t eventMask)>;
    using DisconnectHandler = std::function<void(TComm* sender)>;

    static constexpr int kReceiveBufferSize = 8192;
    static constexpr int kQueueSize = 8192;
    static constexpr int kPollIntervalMs = 100;

    // The owner's port and speed selectors are read here by their item index: 0..7 select
    // COM1..COM8 (anything else COM1), 0..4 select 9600..115200 baud (anything else leaves 0).
    TComm(QObject* owner, int portSelectorIndex, int speedSelectorIndex,
          DeviceFactory factory = MakePlatformSerialDevice);
    ~TComm() override;

    // Properties
    TComPortNumber CommPort() const { return commPort_; }
    void SetCommPort(TComPortNumber v);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate v);
    THwHandShaking GetHwHandShaking() const;
    void SetHwHandShaking(THwHandShaking v);
    TSwHandShaking GetSwHandShaking() const;
    void SetSwHandShaking(TSwHandShaking v);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits v);
    TParity Parity() const { return parity_; }
    void SetParity(TParity v);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits v);
    int InputLen() const { return inputLen_; }
    void SetInputLen(int v);  // limited to 0..8192
    int RThreshold() const { return rThreshold_; }
    void SetRThreshold(int v);
    bool GetDTRStatus() const;
    void SetDTRStatus(bool on);
    bool GetRTSStatus() const;
    void SetRTSStatus(bool on);
    void SetInDataCount(std::uint32_t v);
    std::uint32_t ReadInDataCount();

    std::uint32_t ReadCommEvent() const { return commEvent_; }
    std::uint32_t ReadCommError() const { return commError_; }
    bool ReadCDHolding() const { return cdHolding_; }
    bool ReadDSRHolding() const { return dsrHolding_; }
    bool ReadRIHolding() const { return riHolding_; }
    bool ReadCTSHolding() const { return ctsHolding_; }

    void SetPortOpen(bool open);
    bool PortOpen() const { return portOpen_; }
    void OpenComm();
    bool _SetCommState();
    void CloseComm();

    void ReadProcess();
    std::string ReadInputData();  // the Input property
    std::vector<std::uint8_t> ReadInputByte();

    bool OutputChar(std::uint8_t c);
    bool OutputString(const std::string& s);
    bool OutputStringchar(const char* s);
    bool OutputByte(const std::vector<std::uint8_t>& bytes);

    void ProcTimer();  // the polling tick
    void GetModemState();

    void ReceiveData();
    void ModemStateChange(std::uint32_t mask);
    void ReceiveError(std::uint32_t mask);

    ReceiveHandler OnReceiveData;
    MaskHandler OnReceiveError;
    MaskHandler OnModemStateChange;
    // Raised once when the device goes away while the port is open.
    DisconnectHandler OnDisconnect;

    // Lets the framework process pending messages; tests replace it.
    std::function<void()> ProcessMessages;

    // Why the last open failed (empty reason when it did not), and the device path it tried.
    const SerialOpenError& LastOpenError() const { return openError_; }
    const std::string& DevicePath() const { return devicePath_; }
    std::string PortName() const;  // "COM1".."COM16"
    // The technician's message for the last failed open, with the serial devices this machine has.
    std::string OpenErrorText() const;
    QTimer& PollTimer() { return timer_; }

    // Watches every write and read of the line; none by default. The tap must outlive the
    // component or be detached first.
    void SetTap(LineTap* tap) { tap_ = tap; }

  private:
    void ReportDisconnect();
    // One write call on the held port, shown to the tap.
    bool WriteToPort(const std::uint8_t* data, std::size_t n);

    QTimer timer_;
    std::array<std::uint8_t, kReceiveBufferSize> receiveBuffer_{};
    std::unique_ptr<SerialDevice> device_;
    DeviceFactory factory_;
    TComPortNumber commPort_ = pnCOM1;
    bool portOpen_ = false;
    TBaudRate baudRate_ = 0;
    bool parityCheck_ = false;
    THwHandShaking hwHandShaking_ = hhNone;
    TSwHandShaking swHandShaking_ = shNone;
    TDataBits dataBits_ = DB8;
    TParity parity_ = Even;
    TStopBits stopBits_ = SB1;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    bool dtrState_ = false;
    bool rtsState_ = false;
    std::string lastInput_;
    std::vector<std::uint8_t> lastInputBytes_;
    std::uint32_t commEvent_ = 0;
    std::uint32_t commError_ = 0;
    bool cdHolding_ = false;
    bool ctsHolding_ = false;
    bool dsrHolding_ = false;
    bool riHolding_ = false;
    SerialOpenError openError_;
    std::string devicePath_;
    bool disconnectReported_ = false;
    LineTap* tap_ = nullptr;
};

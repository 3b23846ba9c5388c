#pragma once
// The operating system's side of a serial port, behind one small interface so that TComm can run
// on a real port, a pseudo-terminal or an in-memory fake.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Line settings of the component; the ordinals are those the port takes.
using TBaudRate = int;
enum TDataBits : std::uint8_t { DB5, DB6, DB7, DB8 };  // data bits = ordinal + 5
enum TParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum TStopBits : std::uint8_t { SB1, SB1_5, SB2 };  // 1, 1.5, 2 stop bits

struct SerialLineSettings {
    TBaudRate baudRate = 0;
    TDataBits dataBits = DB8;
    TParity parity = Even;
    TStopBits stopBits = SB1;
    bool checkParity = false;   // parity checking of received bytes
    bool rtsHandshake = false;  // RTS/CTS flow control
    bool rtsOn = false;         // RTS held on by the line settings
    bool xonXoff = false;
};

// Why a port could not be opened, in the terms a technician can act on.
enum class SerialOpenFailure : std::uint8_t {
    None,
    Missing,     // no such device
    InUse,       // another program holds it
    NotSerial,   // a file, a directory or a device that is not a serial port
    Permission,  // the user may not open it
    Other,
};

struct SerialOpenError {
    SerialOpenFailure kind = SerialOpenFailure::None;
    int errorNumber = 0;  // the system's error code of the failed call, 0 when none
    std::string reason;   // the system's text for it
};

// A serial device this machine has: its path and, for a stable name that is a link (such as
// /dev/serial/by-id/...), the device it points to (empty otherwise). Stable names come first.
struct SerialDeviceEntry {
    std::string path;
    std::string target;
};
std::vector<SerialDeviceEntry> ListSerialDevices();

// Modem status bits as the component keeps them.
inline constexpr std::uint32_t kModemCts = 0x10;
inline constexpr std::uint32_t kModemDsr = 0x20;
inline constexpr std::uint32_t kModemRing = 0x40;
inline constexpr std::uint32_t kModemCarrier = 0x80;

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;
    virtual bool Open(const std::string& path, SerialOpenError& error) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    virtual bool SetQueueSizes(int input, int output) = 0;
    virtual void PurgeAll() = 0;    // abort pending I/O, clear both queues
    virtual void PurgeInput() = 0;  // clear the input queue
    virtual bool ApplySettings(const SerialLineSettings& s) = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    // Bytes waiting and error flags. Returns false when the query fails.
    virtual bool QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) = 0;
    // Modem lines (kModem* bits). Returns false when the query fails, which means "no change".
    virtual bool QueryModemStatus(std::uint32_t& lines) = 0;
    // Reads exactly up to n bytes; returns the count read or -1 on failure.
    virtual int Read(std::uint8_t* buffer, int n) = 0;
    virtual bool Write(const std::uint8_t* data, int n) = 0;
    // True once the device has gone away (adapter unplugged, other end hung up).
    virtual bool Disconnected() const = 0;
};

std::unique_ptr<SerialDevice> MakePlatformSerialDevice();

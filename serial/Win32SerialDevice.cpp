#include "Win32SerialDevice.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

// Newer system error codes that older SDK headers lack.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

namespace {

HANDLE AsHandle(void* h) {
    return static_cast<HANDLE>(h);
}

std::string SystemText(DWORD code) {
    char text[512] = {};
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    return s.empty() ? "system error " + std::to_string(code) : s;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// "\\.\COM3", "COM3" and "\\.\com3" all name the same port; the rest is compared as written.
std::string PortKey(const std::string& path) {
    std::string key = path;
    if (StartsWith(key, "\\\\.\\") || StartsWith(key, "\\\\?\\"))
        key.erase(0, 4);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (c == '\\')
            c = '/';  // a kernel object name may not contain a backslash
    }
    return key;
}

// "COMn", with or without the device namespace prefix.
bool NamesComPort(const std::string& path) {
    const std::string key = PortKey(path);
    return key.size() > 3 && key.compare(0, 3, "COM") == 0 &&
           std::all_of(key.begin() + 3, key.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// A name in the device namespace ("\\.\COM3") or a bare "COMn", as opposed to a file on disk.
bool NamesDevice(const std::string& path) {
    return StartsWith(path, "\\\\.\\") || NamesComPort(path);
}

// What a failed CreateFileA means to the technician:
// - ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME: no such port (a COM number
//   that is not installed, a USB adapter that is not plugged in); the device errors that say the
//   same (ERROR_DEV_NOT_EXIST, ERROR_DEVICE_NOT_CONNECTED, ERROR_NO_SUCH_DEVICE,
//   ERROR_DEVICE_REMOVED) likewise.
// - ERROR_ACCESS_DENIED: COM ports carry no per-user permissions; an exclusive open of one is
//   refused this way when another program holds it, so for a device it means "in use". For a
//   path on disk it means a folder (which no serial port is) or a file the user may not open.
// - ERROR_SHARING_VIOLATION, ERROR_BUSY: in use.
// - ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED: a device that cannot act as a serial port.
// - ERROR_PRIVILEGE_NOT_HELD, ERROR_ELEVATION_REQUIRED: permission.
// A device that opens but refuses GetCommState is no serial port either, unless it is named as a
// COM port: then the port's device is absent (Wine, for one, opens a COM port whose device is
// gone and fails its first communications call with ERROR_INVALID_FUNCTION).
SerialOpenFailure OpenFailureKind(const std::string& path, DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NO_SUCH_DEVICE:
        case ERROR_DEVICE_REMOVED:
            return SerialOpenFailure::Missing;
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return SerialOpenFailure::InUse;
        case ERROR_ACCESS_DENIED: {
            if (NamesDevice(path))
                return SerialOpenFailure::InUse;
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return SerialOpenFailure::NotSerial;
            return SerialOpenFailure::Permission;
        }
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return SerialOpenFailure::NotSerial;
        case ERROR_PRIVILEGE_NOT_HELD:
        case ERROR_ELEVATION_REQUIRED:
            return SerialOpenFailure::Permission;
        default:
            return SerialOpenFailure::Other;
    }
}

// Errors of an open port that mean the device has gone: a USB adapter pulled out reports
// ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND or ERROR_GEN_FAILURE depending on its driver, a device
// that hung up reports ERROR_NOT_READY.
bool IsGoneError(DWORD code) {
    switch (code) {
        case ERROR_ACCESS_DENIED:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NO_SUCH_DEVICE:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

bool Fail(SerialOpenError& error, SerialOpenFailure kind, DWORD code) {
    error.kind = kind;
    error.errorNumber = static_cast<int>(code);
    error.reason = SystemText(code);
    return false;
}

}  // namespace

Win32SerialDevice::~Win32SerialDevice() {
    Close();
}

bool Win32SerialDevice::Open(const std::string& path, SerialOpenError& error) {
    Close();
    disconnected_ = false;

    // Read and write, no sharing, an existing device only, no overlapped I/O.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return Fail(error, OpenFailureKind(path, code), code);
    }

    // Only a communications device has line settings.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        const DWORD code = GetLastError();
        CloseHandle(h);
        return Fail(error,
                    NamesComPort(path) ? SerialOpenFailure::Missing : SerialOpenFailure::NotSerial,
                    code);
    }

    // Windows itself refuses a second open of a COM port. Some layers that present ports to
    // Windows programs (Wine, and port sharing or redirecting drivers) let it through, so the
    // port is also marked as taken by a named object for as long as it is held here.
    SetLastError(ERROR_SUCCESS);
    HANDLE guard = CreateMutexA(nullptr, FALSE, ("Global\\mv62-serial-" + PortKey(path)).c_str());
    const DWORD guardCode = GetLastError();
    if (guardCode == ERROR_ALREADY_EXISTS ||
        (guard == nullptr && guardCode == ERROR_ACCESS_DENIED)) {
        if (guard != nullptr)
            CloseHandle(guard);
        CloseHandle(h);
        return Fail(error, SerialOpenFailure::InUse, ERROR_SHARING_VIOLATION);
    }

    // A read returns at once with the bytes already waiting, none if there are none. A write
    // that cannot go out (output held back) fails after a while instead of blocking for ever.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteStallMs;
    if (!SetCommTimeouts(h, &timeouts)) {
        const DWORD code = GetLastError();
        if (guard != nullptr)
            CloseHandle(guard);
        CloseHandle(h);
        return Fail(error, SerialOpenFailure::Other, code);
    }

    handle_ = h;
    portGuard_ = guard;
    dtrOn_ = dcb.fDtrControl == DTR_CONTROL_ENABLE;
    rtsOn_ = dcb.fRtsControl == RTS_CONTROL_ENABLE;
    error = {};
    return true;
}

void Win32SerialDevice::Close() {
    if (handle_ != nullptr)
        CloseHandle(AsHandle(handle_));
    if (portGuard_ != nullptr)
        CloseHandle(AsHandle(portGuard_));
    handle_ = nullptr;
    portGuard_ = nullptr;
    disconnected_ = false;
}

bool Win32SerialDevice::SetQueueSizes(int input, int output) {
    return handle_ != nullptr &&
           SetupComm(AsHandle(handle_), static_cast<DWORD>(input), static_cast<DWORD>(output));
}

void Win32SerialDevice::PurgeAll() {
    if (handle_ != nullptr)
        PurgeComm(AsHandle(handle_), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void Win32SerialDevice::PurgeInput() {
    if (handle_ != nullptr)
        PurgeComm(AsHandle(handle_), PURGE_RXCLEAR);
}

bool Win32SerialDevice::ApplySettings(const SerialLineSettings& s) {
    if (handle_ == nullptr || s.baudRate <= 0 || s.dataBits > DB8 || s.parity > Space ||
        s.stopBits > SB2) {
        return false;  // the port keeps its settings
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(AsHandle(handle_), &dcb))
        return false;

    dcb.BaudRate = static_cast<DWORD>(s.baudRate);
    dcb.fBinary = TRUE;
    dcb.Parity = static_cast<BYTE>(s.parity);  // NOPARITY .. SPACEPARITY share the ordinals
    dcb.fParity = s.checkParity;
    dcb.ByteSize = static_cast<BYTE>(s.dataBits + 5);
    dcb.StopBits = static_cast<BYTE>(s.stopBits);  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS

    // Flow control acts only when asked for: a port left with XON/XOFF or DSR flow by another
    // program would swallow 0x11/0x13 bytes of a frame or stall the output. DTR and RTS keep
    // the levels last asked for unless RTS is held on or used for handshaking.
    dcb.fOutxCtsFlow = s.rtsHandshake;
    if (s.rtsHandshake)
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (s.rtsOn)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    else
        dcb.fRtsControl = rtsOn_ ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = dtrOn_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fOutX = s.xonXoff;
    dcb.fInX = s.xonXoff;
    if (s.xonXoff && dcb.XonChar == dcb.XoffChar) {
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
    }
    // Every byte is data: no NUL stripping, no replacement of bytes with errors, and a line
    // error does not stop reading and writing.
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;

    return SetCommState(AsHandle(handle_), &dcb) != FALSE;
}

void Win32SerialDevice::SetDtr(bool on) {
    dtrOn_ = on;
    // Ports without modem lines (a pseudo-terminal under Wine, some virtual ports) refuse this.
    if (handle_ != nullptr)
        EscapeCommFunction(AsHandle(handle_), on ? SETDTR : CLRDTR);
}

void Win32SerialDevice::SetRts(bool on) {
    rtsOn_ = on;
    if (handle_ != nullptr)
        EscapeCommFunction(AsHandle(handle_), on ? SETRTS : CLRRTS);
}

void Win32SerialDevice::NoteFailure(unsigned long code) {
    if (IsGoneError(code))
        disconnected_ = true;
}

bool Win32SerialDevice::QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) {
    bytesWaiting = 0;
    errorFlags = 0;
    if (handle_ == nullptr || disconnected_)
        return false;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(AsHandle(handle_), &errors, &status)) {
        NoteFailure(GetLastError());
        return false;
    }
    bytesWaiting = status.cbInQue;
    errorFlags = errors;  // CE_RXOVER, CE_OVERRUN, CE_RXPARITY, CE_FRAME, CE_BREAK, ...
    return true;
}

bool Win32SerialDevice::QueryModemStatus(std::uint32_t& lines) {
    DWORD status = 0;
    if (handle_ == nullptr || disconnected_)
        return false;
    if (!GetCommModemStatus(AsHandle(handle_), &status)) {
        NoteFailure(GetLastError());
        return false;
    }
    lines = 0;
    if (status & MS_CTS_ON)
        lines |= kModemCts;
    if (status & MS_DSR_ON)
        lines |= kModemDsr;
    if (status & MS_RING_ON)
        lines |= kModemRing;
    if (status & MS_RLSD_ON)
        lines |= kModemCarrier;
    return true;
}

int Win32SerialDevice::Read(std::uint8_t* buffer, int n) {
    if (handle_ == nullptr)
        return -1;
    if (n <= 0)
        return 0;
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(n), &got, nullptr)) {
        NoteFailure(GetLastError());
        return -1;
    }
    return static_cast<int>(std::min<DWORD>(got, static_cast<DWORD>(n)));
}

bool Win32SerialDevice::Write(const std::uint8_t* data, int n) {
    if (handle_ == nullptr)
        return false;
    int done = 0;
    while (done < n) {
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), data + done, static_cast<DWORD>(n - done), &written,
                       nullptr)) {
            NoteFailure(GetLastError());
            return false;
        }
        // Nothing went out before the write time-out: the output is held back.
        if (written == 0)
            return false;
        // A count above what was asked is never taken as more progress than possible.
        done += static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(n - done)));
    }
    return true;
}

std::unique_ptr<SerialDevice> MakePlatformSerialDevice() {
    return std::make_unique<Win32SerialDevice>();
}

// The COM ports the system knows (its DOS device names COM1, COM2, ...), in number order.
std::vector<SerialDeviceEntry> ListSerialDevices() {
    std::vector<char> names(16 * 1024);
    DWORD length = 0;
    while ((length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()))) ==
               0 &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < (4u << 20)) {
        names.resize(names.size() * 2);
    }
    std::vector<std::pair<long, std::string>> ports;
    for (const char* p = names.data(); p < names.data() + length && *p != '\0';
         p += std::char_traits<char>::length(p) + 1) {
        const std::string name = p;
        if (NamesComPort(name))
            ports.emplace_back(std::strtol(name.c_str() + 3, nullptr, 10), PortKey(name));
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    std::vector<SerialDeviceEntry> entries;
    for (const auto& [number, name] : ports)
        entries.push_back({"\\\\.\\" + name, ""});
    return entries;
}

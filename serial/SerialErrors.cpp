#include "SerialErrors.h"

#include <algorithm>
#include <cerrno>

SerialOpenFailure OpenFailureFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENODEV:
        case ENXIO:
        case EIO:  // a device node with no hardware behind it, such as a ttyS without a UART
            return SerialOpenFailure::Missing;
        case EBUSY:
            return SerialOpenFailure::InUse;
        case ENOTTY:
        case EISDIR:
            return SerialOpenFailure::NotSerial;
        case EACCES:
        case EPERM:
            return SerialOpenFailure::Permission;
        default:
            return SerialOpenFailure::Other;
    }
}

namespace {

// What a technician does about a port this user may not open, on the system the backend is built
// for: Windows has no group of serial port users.
#ifdef _WIN32
constexpr const char* kPermissionAdvice =
    "Another program or service may hold the port, or this user lacks the right to use it.\n"
    "Close that program or stop that service, or ask an administrator for access to the port.";
#else
constexpr const char* kPermissionAdvice =
    "The user must be a member of the \"dialout\" group to use serial ports "
    "(sudo usermod -aG dialout $USER, then log in again).";
#endif

std::string DeviceListSentence(const std::vector<SerialDeviceEntry>& devices) {
    if (devices.empty())
        return "No serial device was found on this machine: is the serial adapter plugged in?";
    std::string text = "Serial devices on this machine: ";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += devices[i].path;
        if (!devices[i].target.empty())
            text += " (" + devices[i].target + ")";
    }
    return text + ".";
}

}  // namespace

std::string PortOpenErrorText(const std::string& portName, const std::string& devicePath,
                              const SerialOpenError& error,
                              const std::vector<SerialDeviceEntry>& devices) {
    const std::string port = portName + " (" + devicePath + ")";
    std::vector<std::string> lines;
    bool listDevices = false;
    switch (error.kind) {
        case SerialOpenFailure::Missing:
            lines.push_back(port + " does not exist.");
            listDevices = true;
            break;
        case SerialOpenFailure::InUse:
            lines.push_back(port + " is in use by another program.");
            lines.push_back("Close that program (or the other station), then try again.");
            break;
        case SerialOpenFailure::NotSerial:
            lines.push_back(port + " is not a serial port.");
            listDevices = true;
            break;
        case SerialOpenFailure::Permission:
            lines.push_back("This user may not open " + port + ".");
            lines.push_back(kPermissionAdvice);
            break;
        case SerialOpenFailure::None:
        case SerialOpenFailure::Other:
            lines.push_back(port + " cannot be opened" +
                            (error.reason.empty() ? std::string() : ": " + error.reason) + ".");
            break;
    }
    if (listDevices)
        lines.push_back(DeviceListSentence(devices));

    std::string pointer = "To use another device for " + portName +
                          ", start the station with MV62_" + portName + "=<device>";
    if (listDevices && !devices.empty())
        pointer += ", for example MV62_" + portName + "=" + devices.front().path;
    lines.push_back(pointer + ".");

    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::string SingleLine(std::string message) {
    std::replace(message.begin(), message.end(), '\n', ' ');
    return message;
}

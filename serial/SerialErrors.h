#pragma once
// Why a port could not be opened, in words a technician can act on. Plain C++, shared by every
// backend and every place that reports an open failure (the window, standard error, the check
// before ./run starts the station), so that all of them say the same.
#include <string>
#include <vector>

#include "SerialDevice.h"

// The failure kind of a C library error code (errno) from opening a device.
SerialOpenFailure OpenFailureFromErrno(int err);

// The message for a port that could not be opened: one sentence a line, naming the port and its
// device, what is wrong, and how to point the port at another device (MV62_COMn=...). For a
// missing device or one that is not a serial port it lists `devices`, the serial devices this
// machine has.
std::string PortOpenErrorText(const std::string& portName, const std::string& devicePath,
                              const SerialOpenError& error,
                              const std::vector<SerialDeviceEntry>& devices);

// A message on one line, as standard error carries it: line breaks become blanks.
std::string SingleLine(std::string message);

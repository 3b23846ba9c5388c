#pragma once
#include <string>
#include <string_view>

// The station's ports, "COM1" ... "COM8": the items of the port selector, in its order.
inline constexpr int kPortCount = 8;

// "COM1" for index 0; the serial component also names ports beyond the selector's ("COM16").
std::string PortName(int index);

// Index of "COM1" ... "COM8" in any case; -1 for any other name.
int PortIndex(std::string_view name);

// Device path of "COM1".."COM16": MV62_COM<n> when set and not empty, else the platform's own name.
std::string SerialDevicePathFor(int portNumber);

#pragma once
#include <string>

// Device path of "COM1".."COM16": MV62_COM<n> when set and not empty, else the platform's own name.
std::string SerialDevicePathFor(int portNumber);

#include "PortNames.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

std::string PortName(int index) {
    return "COM" + std::to_string(index + 1);
}

int PortIndex(std::string_view name) {
    for (int index = 0; index < kPortCount; ++index) {
        if (std::ranges::equal(name, PortName(index), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            return index;
        }
    }
    return -1;
}

std::string SerialDevicePathFor(int portNumber) {
    const std::string port = PortName(portNumber - 1);
    if (const char* path = std::getenv(("MV62_" + port).c_str());
        path != nullptr && *path != '\0') {
        return path;
    }
#ifdef _WIN32
    return "\\\\.\\" + port;
#else
    return "/dev/ttyS" + std::to_string(portNumber - 1);
#endif
}

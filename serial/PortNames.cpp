#include "PortNames.h"

#include <cstdlib>

std::string SerialDevicePathFor(int portNumber) {
    const std::string variable = "MV62_COM" + std::to_string(portNumber);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return path;
    }
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(portNumber);
#else
    return "/dev/ttyS" + std::to_string(portNumber - 1);
#endif
}

#pragma once
// The termios speed codes of the line speeds a POSIX serial driver knows, for every program here
// that sets up a serial line itself (the station's backend, the simulator, the baseline reader).
#include <termios.h>

struct TPosixSpeed {
    int baud;
    speed_t code;
};

inline constexpr TPosixSpeed kPosixSpeeds[] = {
    {50, B50},           {75, B75},         {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200},
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
};

// The code of `baud` baud; false when the driver has none for it.
inline bool PosixSpeedCode(int baud, speed_t& code) {
    for (const TPosixSpeed& s : kPosixSpeeds) {
        if (s.baud == baud) {
            code = s.code;
            return true;
        }
    }
    return false;
}

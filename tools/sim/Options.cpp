#include "sim/Options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

#include "Replies.h"

namespace mv62sim {

namespace {

// Parses a whole decimal number, or a hexadecimal one with a 0x prefix.
template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
    std::string_view s = text;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

bool ParseInRange(const std::string& text, int low, int high, int& value, int base = 10) {
    return ParseNumber(text, value, base) && value >= low && value <= high;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return items;
        }
        start = comma + 1;
    }
}

// "1,8,10" (switch positions that are on) to a bit mask with position 1 in bit 0; "none" is 0.
bool ParsePositions(const std::string& text, int count, int& bits) {
    bits = 0;
    if (text == "none") {
        return true;
    }
    for (const std::string& item : SplitList(text)) {
        int position = 0;
        if (!ParseInRange(item, 1, count, position)) {
            return false;
        }
        bits |= 1 << (position - 1);
    }
    return true;
}

// The station's line speeds and a few more around them: a device set to a speed the station does
// not offer is one of the faults a technician can try the station against.
constexpr int kSimLineSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

bool SupportedBaud(int baud) {
    return std::ranges::find(kSimLineSpeeds, baud) != std::end(kSimLineSpeeds);
}

std::string SupportedBauds() {
    std::string s = "one of";
    for (int b : kSimLineSpeeds) {
        s += (b == kSimLineSpeeds[0] ? " " : ", ") + std::to_string(b);
    }
    return s;
}

}  // namespace

bool ParseOptions(std::span<const std::string> args, SimOptions& o, std::string& error) {
    DeviceConfig& d = o.device;
    using Handler = std::function<bool(const std::string&)>;
    // Options that take a value; each handler returns false when the value is not acceptable.
    const std::map<std::string, std::pair<Handler, std::string>> withValue = {
        {"--link",
         {[&](const std::string& v) {
              o.linkPath = v;
              return !v.empty();
          },
          "a path"}},
        {"--device",
         {[&](const std::string& v) {
              o.devicePath = v;
              return !v.empty();
          },
          "a path"}},
        {"--replay",
         {[&](const std::string& v) {
              o.replayPath = v;
              return !v.empty();
          },
          "the path of a session journal"}},
        {"--baud",
         {[&](const std::string& v) { return ParseNumber(v, o.baud) && SupportedBaud(o.baud); },
          SupportedBauds()}},
        {"--ident",
         {[&](const std::string& v) {
              d.ident = v;
              return v.size() <= mv62::kIdentificationLength;
          },
          "a text of at most 23 characters"}},
        {"--offset",
         {[&](const std::string& v) { return ParseInRange(v, -100, 155, d.sensorOffset); },
          "-100 .. 155"}},
        {"--lens-count",
         {[&](const std::string& v) { return ParseInRange(v, 0, 65535, d.lensCount); },
          "0 .. 65535"}},
        {"--exchange",
         {[&](const std::string& v) {
              const auto items = SplitList(v);
              if (items.size() != 6) {
                  return false;
              }
              for (std::size_t i = 0; i < 6; ++i) {
                  int b = 0;
                  if (!ParseInRange(items[i], 0, 255, b)) {
                      return false;
                  }
                  d.exchange[i] = static_cast<std::uint8_t>(b);
              }
              return true;
          },
          "six numbers 0 .. 255 separated by commas"}},
        {"--sensor-frames",
         {[&](const std::string& v) { return ParseInRange(v, 0, 1'000'000, d.sensorFrames); },
          "0 .. 1000000"}},
        {"--sensor-period",
         {[&](const std::string& v) {
              int ms = 0;
              if (!ParseInRange(v, 1, 60'000, ms)) {
                  return false;
              }
              d.sensorPeriod = std::chrono::milliseconds(ms);
              return true;
          },
          "1 .. 60000 (milliseconds)"}},
        {"--motor-count",
         {[&](const std::string& v) { return ParseInRange(v, 0, 65535, d.motorCount); },
          "0 .. 65535"}},
        {"--sw1",
         {[&](const std::string& v) {
              int bits = 0;
              if (!ParsePositions(v, 10, bits)) {
                  return false;
              }
              d.sw1Low = static_cast<std::uint8_t>(bits & 0xFF);
              d.sw1High = static_cast<std::uint8_t>(bits >> 8);
              return true;
          },
          "positions 1 .. 10 that are on, separated by commas, or none"}},
        {"--sw2",
         {[&](const std::string& v) {
              int bits = 0;
              if (!ParsePositions(v, 4, bits)) {
                  return false;
              }
              d.sw2 = static_cast<std::uint8_t>(bits);
              return true;
          },
          "positions 1 .. 4 that are on, separated by commas, or none"}},
        {"--fail",
         {[&](const std::string& v) {
              const auto f = FaultFromName(v);
              if (f) {
                  d.faults.insert(*f);
              }
              return f.has_value();
          },
          "one of fish, eeprom, io, pulse, motor-speed, optics"}},
        {"--silent",
         {[&](const std::string& v) {
              int code = 0;
              if (!ParseInRange(v, 0, 255, code, 16)) {
                  return false;
              }
              d.silent.insert(static_cast<std::uint8_t>(code));
              return true;
          },
          "a command code in hexadecimal, such as 14 or 0x14"}},
        {"--seed",
         {[&](const std::string& v) { return ParseNumber(v, o.seed); }, "a whole number"}},
        {"--exit-after",
         {[&](const std::string& v) {
              double seconds = 0;
              const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
              o.exitAfterSeconds = seconds;
              return ec == std::errc() && end == v.data() + v.size() && seconds > 0;
          },
          "a number of seconds above 0"}},
    };
    const std::map<std::string, bool*> flags = {
        {"--noise", &o.noise},     {"--split", &o.split}, {"--stream", &d.stream},
        {"--verbose", &o.verbose}, {"--help", &o.help},   {"-h", &o.help},
        {"--version", &o.version},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != name.npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (auto f = flags.find(name); f != flags.end() && !value) {
            *f->second = true;
            continue;
        }
        auto h = withValue.find(name);
        if (h == withValue.end()) {
            error = "unknown option " + args[i];
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value: " + h->second.second;
                return false;
            }
            value = args[++i];
        }
        if (!h->second.first(*value)) {
            error = "bad value \"" + *value + "\" for " + name + ": " + h->second.second;
            return false;
        }
    }
    d.baud = o.baud;
    if (!o.linkPath.empty() && !o.devicePath.empty()) {
        error = "--link is for the pseudo-terminal; it cannot go with --device";
        return false;
    }
    return true;
}

std::string HelpText() {
    return R"(Usage: mv62-sim [options]

Simulates an MV62 on a serial line so that the calibration station can be tried
and tested without a device. By default it opens a pseudo-terminal and prints
    mv62-sim: device /dev/pts/N
on standard output: connect the station to that path (for example with
MV62_COM1=/dev/pts/N). Every host command received is logged on standard error.
It runs until interrupted (Ctrl-C) and survives the station's End Protocol and
Start Protocol.

Line:
  --link PATH           also make a symbolic link PATH to the device (removed on exit)
  --device PATH         use a real serial device (8E1, raw) instead of a pseudo-terminal
  --baud N              line speed, default 9600; output is paced at N/11 bytes per second
Device:
  --ident TEXT          identification text (reply 0x00), default "MV62 SIM 1.0"
  --offset K            sensor offset, -100..155, default 0 (reply 0x27 byte 3 = K+100)
  --lens-count N        lens count, default 1234
  --exchange A,B,C,D,E,F  the six exchange-sensor bytes, default all 255 (not flagged)
  --sensor-frames N     sensor frames per run before the closing 0x26, default 30
  --sensor-period MS    spacing of the sensor frames, default 100
  --motor-count N       encoder count of the motor replies, default 800 (4320 rpm)
  --sw1 LIST            SW1 positions that are on, default 1,8,10 ("none" for none)
  --sw2 LIST            SW2 positions that are on, default 1,3
Faults:
  --fail TEST           make a test fail (repeatable): fish, eeprom, io (result 0),
                        pulse (0x00), motor-speed (count 400), optics (sensor values
                        off target, peaks below the minimum)
  --silent CODE         never answer command CODE (hexadecimal, repeatable)
  --noise               random bytes (never 0x55) between frames
  --split               frames written in random pieces with short pauses
  --stream              sensor frames back to back at full line speed until stopped
  --seed N              seed of the random choices of --noise and --split, default 1
Replay:
  --replay JOURNAL      play the device side of a station's session journal: each
                        host command is answered with the bytes that followed the
                        same command in the journal (the next answer of that
                        command each time), with the recorded spacing; a command
                        the journal does not hold gets no answer and is logged.
                        The device options above do not apply.
Other:
  --verbose             also log every sensor frame and maintenance report sent
  --exit-after SECONDS  stop after this time
  --help                this text
  --version             the program's version

What the device answers:
  55 AA 00  0x00 identification, then 0x27 (offset, lens count), then 0x25
  55 AA 02  a sensor run: 0x02 frames every 100 ms, closed by one 0x26
  55 AA 07  three 0x03 motor replies, 300 ms apart; the motor runs until a stop
  55 AA 08/11/12/13  0x04 pulse 0x10 / 0x08, 0x09, 0x10 with 1 (pass)
  55 AA 14  0x05 lamp steps 0, 1, 2, 3, 500 ms apart
  55 AA 15/16  0x06 SW1 / 0x07 SW2 positions
  55 AA 30/31  maintenance mode on/off; reports 0x20..0x23 every 500 ms while on;
            the manual commands 0x32..0x50 work in maintenance mode only
  55 AA 01 ch hi lo  sets a drive (DAC) value, shown in later sensor frames
  55 AA 51 + 30 bytes  0x24 acknowledgement;  55 AA 54  256 raw EEPROM bytes
  55 AA ED or a lone ED  stop a sensor run, motor or lamp test and the motor
)";
}

}  // namespace mv62sim

#include "sim/Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <sstream>
#include <utility>

#include "HelpText.h"
#include "Replies.h"
#include "ReplyMath.h"

namespace mv62sim {

namespace {

// Parses a whole decimal number, or a hexadecimal one with a 0x prefix.
template <typename T>
bool ParseNumber(std::string_view s, T& value, int base = 10) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

bool ParseInRange(std::string_view text, int low, int high, int& value, int base = 10) {
    return ParseNumber(text, value, base) && value >= low && value <= high;
}

// A decimal number from low to high ("0.5", "-0.02", "1e-3").
bool ParseReal(std::string_view text, double low, double high, double& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty() && value >= low &&
           value <= high;  // NaN compares false
}

// "NAME:VALUE" as its two texts; none without the colon.
std::optional<std::pair<std::string, std::string>> NameAndValue(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return std::pair{text.substr(0, colon), text.substr(colon + 1)};
}

// "a,b,c" as whole numbers each in low .. high; none when an item is not one.
std::optional<std::vector<int>> ParseList(const std::string& text, int low, int high) {
    std::vector<int> numbers;
    std::istringstream in(text + ",");  // so that a trailing comma gives an empty item too
    for (std::string item; std::getline(in, item, ',');) {
        if (!ParseInRange(item, low, high, numbers.emplace_back())) {
            return std::nullopt;
        }
    }
    return numbers;
}

template <typename Items, typename Text>
std::string Joined(const Items& items, const std::string& separator, Text text) {
    std::string joined;
    for (const auto& item : items) {
        joined += (joined.empty() ? "" : separator) + std::string(text(item));
    }
    return joined;
}

std::string Decimal(int n) {
    return std::to_string(n);
}

std::string Range(int low, int high) {
    return Decimal(low) + " .. " + Decimal(high);
}

// What an option does with its value: `set` takes the text as typed and says whether it is
// acceptable; `accepted` names the acceptable values for an error; `shown` is what the help says
// of them, with the default: the value the options held before parsing.
struct Value {
    std::function<bool(const std::string&)> set;
    std::string accepted;
    std::string shown;
};

Value Described(std::function<bool(const std::string&)> set, std::string accepted,
                const std::string& initial = {}) {
    std::string shown = accepted + (initial.empty() ? "" : "; default " + initial);
    return {std::move(set), std::move(accepted), std::move(shown)};
}

Value Flag(bool& target) {
    return {[&target](const std::string&) { return target = true; }, {}, {}};
}

// A path is not described in the help: its value name says it all.
Value Path(std::string& target, std::string accepted) {
    auto set = [&target](const std::string& v) {
        target = v;
        return !v.empty();
    };
    return {set, std::move(accepted), {}};
}

Value Whole(int& target, int low, int high, const std::string& note = {}) {
    return Described(
        [&target, low, high](const std::string& v) { return ParseInRange(v, low, high, target); },
        Range(low, high), Decimal(target) + note);
}

Value Milliseconds(SimTime& target, int low, int high) {
    using std::chrono::milliseconds;
    return Described(
        [&target, low, high](const std::string& v) {
            int ms = 0;
            if (!ParseInRange(v, low, high, ms)) {
                return false;
            }
            target = milliseconds(ms);
            return true;
        },
        Range(low, high) + " milliseconds",
        Decimal(std::chrono::duration_cast<milliseconds>(target).count()));
}

// At most a year: a longer time, "inf" above all, would not fit the clock and end the run at once.
constexpr int kMostSeconds = 365 * 24 * 3600;

Value Seconds(std::optional<double>& target) {
    return Described(
        [&target](const std::string& v) {
            double seconds = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
            target = seconds;
            return ec == std::errc() && end == v.data() + v.size() && seconds > 0 &&
                   seconds <= kMostSeconds;
        },
        "a number of seconds above 0 and up to a year, " + Decimal(kMostSeconds));
}

Value Text(std::string& target, std::size_t maxLength) {
    return Described(
        [&target, maxLength](const std::string& v) {
            target = v;
            return v.size() <= maxLength;
        },
        "a text of at most " + std::to_string(maxLength) + " characters", '"' + target + '"');
}

// The station's line speeds and a few more around them: a device set to a speed the station does
// not offer is one of the faults a technician can try the station against.
constexpr int kSimLineSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

Value Baud(int& baud) {
    return Described(
        [&baud](const std::string& v) {
            return ParseNumber(v, baud) &&
                   std::ranges::find(kSimLineSpeeds, baud) != std::end(kSimLineSpeeds);
        },
        "one of " + Joined(kSimLineSpeeds, ", ", Decimal), Decimal(baud));
}

// Switch positions 1 .. count that are on, as "1,8,10" or "none"; position 1 is bit 0.
Value Positions(int count, int initialBits, std::function<void(int)> store) {
    std::vector<int> on;
    for (int position = 1; position <= count; ++position) {
        if (initialBits >> (position - 1) & 1) {
            on.push_back(position);
        }
    }
    return Described(
        [count, store](const std::string& v) {
            const auto positions = v == "none" ? std::vector<int>{} : ParseList(v, 1, count);
            if (!positions) {
                return false;
            }
            int bits = 0;
            for (int position : *positions) {
                bits |= 1 << (position - 1);
            }
            store(bits);
            return true;
        },
        "positions " + Range(1, count) + " that are on, separated by commas, or none",
        on.empty() ? "none" : Joined(on, ",", Decimal));
}

Value ChannelBytes(std::array<std::uint8_t, mv62::kChannels>& bytes) {
    return Described(
        [&bytes](const std::string& v) {
            const auto numbers = ParseList(v, 0, 255);
            const bool complete = numbers && numbers->size() == bytes.size();
            if (complete) {
                std::ranges::copy(*numbers, bytes.begin());
            }
            return complete;
        },
        "six numbers 0 .. 255 separated by commas", Joined(bytes, ",", Decimal));
}

// --fail takes the names the device model gives its faults.
Value FaultsToMake(std::set<Fault>& faults) {
    return Described(
        [&faults](const std::string& v) {
            const auto fault = FaultFromName(v);
            if (fault) {
                faults.insert(*fault);
            }
            return fault.has_value();
        },
        "one of " + Joined(Faults(), ", ", FaultName));
}

std::string Decimal(double n) {
    std::ostringstream text;
    text << n;
    return text.str();
}

Value Spread(double& spread) {
    constexpr double kWidest = 50;
    return Described([&spread](const std::string& v) { return ParseReal(v, 0, kWidest, spread); },
                     "a number from 0 to " + Decimal(kWidest), Decimal(spread));
}

// --drift CH:PER_UNIT, channels counted from 1 as the station shows them.
Value Drifts(std::array<double, mv62::kChannels>& perUnit) {
    constexpr double kFastest = 10;
    return Described(
        [&perUnit](const std::string& v) {
            const auto parts = NameAndValue(v);
            int channel = 0;
            double drift = 0;
            if (!parts || !ParseInRange(parts->first, 1, mv62::kChannels, channel) ||
                !ParseReal(parts->second, -kFastest, kFastest, drift)) {
                return false;
            }
            perUnit[channel - 1] = drift;
            return true;
        },
        "CH " + Range(1, mv62::kChannels) + " and PER_UNIT from " + Decimal(-kFastest) + " to " +
            Decimal(kFastest));
}

// --fail-rate TEST:P, with the names of --fail.
Value FailRates(std::map<Fault, double>& rates) {
    return Described(
        [&rates](const std::string& v) {
            const auto parts = NameAndValue(v);
            const auto test = parts ? FaultFromName(parts->first) : std::nullopt;
            double rate = 0;
            if (!test || !ParseReal(parts->second, 0, 1, rate)) {
                return false;
            }
            rates[*test] = rate;
            return true;
        },
        "TEST one of " + Joined(Faults(), ", ", FaultName) + " and P from 0 to 1");
}

Value Codes(std::set<std::uint8_t>& codes) {
    return Described(
        [&codes](const std::string& v) {
            int code = 0;
            if (!ParseInRange(v, 0, 255, code, 16)) {
                return false;
            }
            codes.insert(static_cast<std::uint8_t>(code));
            return true;
        },
        "a command code in hexadecimal, such as 14 or 0x14");
}

// One declared option: the help's heading it goes under, its name as typed, the name of its
// value in the help (none for a flag), what it does, and its value.
struct Declared {
    std::string_view group;
    std::string_view name;
    std::string_view valueName;
    std::string what;
    Value value;
    std::string_view shortName = {};
};

constexpr std::string_view kPopulationGroup = "Population";

// The options, bound to `o`; their defaults are the values `o` holds now.
std::vector<Declared> Declarations(SimOptions& o) {
    DeviceConfig& d = o.device;
    const std::string rpm = Decimal(mv62::MotorRpm(d.motorCount)) + " rpm";
    auto sw1 = [&d](int bits) {
        d.sw1Low = static_cast<std::uint8_t>(bits & 0xFF);
        d.sw1High = static_cast<std::uint8_t>(bits >> 8);
    };
    auto sw2 = [&d](int bits) { d.sw2 = static_cast<std::uint8_t>(bits); };
    return {
        {"Line", "--link", "PATH", "also make a symbolic link PATH to the device (removed on exit)",
         Path(o.linkPath, "a path")},
        {"Line", "--device", "PATH",
         "use a real serial device (8E1, raw) instead of a pseudo-terminal",
         Path(o.devicePath, "a path")},
        {"Line", "--baud", "N", "line speed; output is paced at N/11 bytes per second",
         Baud(o.baud)},
        {"Device", "--ident", "TEXT", "identification text, reply 0x00",
         Text(d.ident, mv62::kIdentificationLength)},
        {"Device", "--offset", "K", "sensor offset, reply 0x27 byte 3 = K+100",
         Whole(d.sensorOffset, -100, 155)},
        {"Device", "--lens-count", "N", "lens count, reply 0x27", Whole(d.lensCount, 0, 65535)},
        {"Device", "--exchange", "A,B,C,D,E,F",
         "the six exchange-sensor bytes of reply 0x25, 255 for not flagged",
         ChannelBytes(d.exchange)},
        {"Device", "--sensor-frames", "N", "sensor frames per run before the closing 0x26",
         Whole(d.sensorFrames, 0, 1'000'000)},
        {"Device", "--sensor-period", "MS", "spacing of the sensor frames",
         Milliseconds(d.sensorPeriod, 1, 60'000)},
        {"Device", "--motor-count", "N", "encoder count per second of the motor replies",
         Whole(d.motorCount, 0, 65535, ", " + rpm)},
        {"Device", "--sw1", "LIST", "SW1 positions that are on",
         Positions(10, d.sw1Low | d.sw1High << 8, sw1)},
        {"Device", "--sw2", "LIST", "SW2 positions that are on", Positions(4, d.sw2, sw2)},
        {"Faults", "--fail", "TEST", "make the device answer a test as failing, repeatable",
         FaultsToMake(d.faults)},
        {"Faults", "--silent", "CODE", "never answer command CODE, repeatable", Codes(d.silent)},
        {"Faults", "--noise", "", "random bytes (never 0x55) between frames", Flag(o.noise)},
        {"Faults", "--split", "", "frames written in random pieces with short pauses",
         Flag(o.split)},
        {"Faults", "--stream", "", "sensor frames back to back at full line speed until stopped",
         Flag(d.stream)},
        {"Faults", "--seed", "N", "seed of the random choices of --noise, --split and --population",
         Described([&o](const std::string& v) { return ParseNumber(v, o.seed); }, "a whole number",
                   std::to_string(o.seed))},
        {kPopulationGroup, "--population", "",
         "a line of units, one after another: each sensor run (Auto Test or CALIBRATION) "
         "meets a new unit, drawn from --seed and shaped by the options below; the log has a "
         "line for each unit",
         Flag(d.population.enabled)},
        {kPopulationGroup, "--spread", "SD",
         "standard deviation of a unit's corrected values around their targets and of its "
         "peaks around " +
             Decimal(kNormalPeak) + "; its motor's encoder count spreads around --motor-count " +
             "by about " + Decimal(std::round(kEncoderCountsPerSpread)) + " times SD",
         Spread(d.population.spread)},
        {kPopulationGroup, "--drift", "CH:PER_UNIT",
         "channel CH's corrected value moves by PER_UNIT from one unit to the next, "
         "repeatable; 3:-0.02 takes channel 3 past its lower limit in about 200 units",
         Drifts(d.population.driftPerUnit)},
        {kPopulationGroup, "--fail-rate", "TEST:P",
         "each unit fails TEST with chance P, repeatable; eeprom:0.03 fails about 3 units in "
         "100",
         FailRates(d.population.failRate)},
        {"Replay", "--replay", "JOURNAL",
         "play the device side of a station's session journal: each host command is answered "
         "with the bytes that followed the same command in the journal (the next answer of that "
         "command each time), with the recorded spacing; a command the journal does not hold "
         "gets no answer and is logged. The device options above do not apply.",
         Path(o.replayPath, "the path of a session journal")},
        {"Other", "--verbose", "", "also log every sensor frame and maintenance report sent",
         Flag(o.verbose)},
        {"Other", "--exit-after", "SECONDS", "stop after this time", Seconds(o.exitAfterSeconds)},
        {"Other", "--help", "", "this text", Flag(o.help), "-h"},
        {"Other", "--version", "", "the program's version", Flag(o.version)},
    };
}

// An option's names and value name, then what it does and the values it takes.
std::string HelpEntry(const Declared& option) {
    const std::string names = std::string(option.shortName) +
                              (option.shortName.empty() ? "" : ", ") + std::string(option.name) +
                              (option.valueName.empty() ? "" : " " + std::string(option.valueName));
    return mv62tool::HelpEntry(
        names, std::string(option.what) +
                   (option.value.shown.empty() ? "" : " (" + option.value.shown + ")"));
}

constexpr std::string_view kIntroduction = R"(Usage: mv62-sim [OPTION]...

Simulates an MV62 on a serial line so that the calibration station can be tried
and tested without a device. By default it opens a pseudo-terminal and prints
    mv62-sim: device /dev/pts/N
on standard output: connect the station to that path (for example with
MV62_COM1=/dev/pts/N). Every host command received is logged on standard error.
It runs until interrupted (Ctrl-C) and survives the station's End Protocol and
Start Protocol.
)";

constexpr std::string_view kDeviceAnswers = R"(What the device answers:
  55 AA 00  0x00 identification, then 0x27 (offset, lens count), then 0x25
  55 AA 02  a sensor run: 0x02 frames every --sensor-period, closed by one 0x26
  55 AA 07  three 0x03 motor replies, 300 ms apart; the motor runs until a stop
  55 AA 08/11/12/13  0x04 pulse 0x10 / 0x08, 0x09, 0x10 with 1 (pass)
  55 AA 14  0x05 lamp steps 0, 1, 2, 3, 500 ms apart
  55 AA 15/16  0x06 SW1 / 0x07 SW2 positions
  55 AA 30/31  maintenance mode on/off; reports 0x20..0x23 each 500 ms while on;
            the manual commands 0x32..0x50 work in maintenance mode only
  55 AA 01 ch hi lo  sets a drive (DAC) value, shown in later sensor frames
  55 AA 51 + 30 bytes  0x24 acknowledgement;  55 AA 54  256 raw EEPROM bytes
  55 AA ED or a lone ED  stop a sensor run, motor or lamp test and the motor
)";

}  // namespace

bool ParseOptions(std::span<const std::string> args, SimOptions& o, std::string& error) {
    const std::vector<Declared> options = Declarations(o);
    std::string_view shapesPopulation;  // an option that needs --population
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != name.npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto option = std::ranges::find_if(options, [&name](const Declared& d) {
            return name == d.name || (!d.shortName.empty() && name == d.shortName);
        });
        if (option == options.end() || (option->valueName.empty() && value)) {
            error = "unknown option " + args[i];
            return false;
        }
        if (!option->valueName.empty() && !value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value: " + option->value.accepted;
                return false;
            }
            value = args[++i];
        }
        if (!option->value.set(value.value_or(""))) {
            error = "bad value \"" + *value + "\" for " + name + ": " + option->value.accepted;
            return false;
        }
        if (option->group == kPopulationGroup && !option->valueName.empty()) {
            shapesPopulation = option->name;
        }
    }
    o.device.baud = o.baud;
    o.device.population.seed = o.seed;
    if (!shapesPopulation.empty() && !o.device.population.enabled) {
        error = std::string(shapesPopulation) + " shapes a population of units: add --population";
        return false;
    }
    if (!o.linkPath.empty() && !o.devicePath.empty()) {
        error = "--link is for the pseudo-terminal; it cannot go with --device";
        return false;
    }
    return true;
}

std::string HelpText() {
    SimOptions defaults;
    std::string text(kIntroduction);
    std::string_view group;
    for (const Declared& option : Declarations(defaults)) {
        if (option.group != group) {
            group = option.group;
            text.append("\n").append(group).append(":\n");
        }
        text += HelpEntry(option);
    }
    return text + "\n" + std::string(kDeviceAnswers);
}

}  // namespace mv62sim

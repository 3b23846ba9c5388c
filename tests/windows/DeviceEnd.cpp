#include "DeviceEnd.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

bool DeviceEnd::Available() {
    const char* v = std::getenv("MV62_DEVICE_END");
    return v != nullptr && *v != '\0';
}

std::optional<std::string> DeviceEnd::Ask(const std::string& command) {
    std::fflush(stdout);  // the test framework's own output stays in order with the requests
    std::cout << "@device " << port_ << ' ' << command << std::endl;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return std::nullopt;
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    if (answer == "ok")
        return std::string();
    if (answer.rfind("ok ", 0) == 0)
        return answer.substr(3);
    std::cerr << "device end: " << answer << std::endl;
    return std::nullopt;
}

std::map<std::string, long> DeviceEnd::LineSettings() {
    std::map<std::string, long> settings;
    std::istringstream in(Ask("settings").value_or(""));
    std::string item;
    while (in >> item) {
        const auto eq = item.find('=');
        if (eq != std::string::npos)
            settings[item.substr(0, eq)] = std::strtol(item.c_str() + eq + 1, nullptr, 10);
    }
    return settings;
}

bool DeviceEnd::Send(const Bytes& bytes) {
    return Ask("send " + ToHex(bytes)).has_value();
}

Bytes DeviceEnd::Received(std::size_t n) {
    return FromHex(Ask("received " + std::to_string(n)).value_or(""));
}

bool DeviceEnd::Hold() {
    return Ask("hold").has_value();
}

bool DeviceEnd::Hangup() {
    return Ask("hangup").has_value();
}

std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 0x0F];
    }
    return hex.empty() ? "-" : hex;
}

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

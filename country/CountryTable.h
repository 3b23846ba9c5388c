#pragma once
// The fixed table of the 240 countries the MV62 can be set up for. The row index is the country's
// bit position in the country mask, so the order is part of the device interface.
#include <array>

inline constexpr int kCountryCount = 240;

// UTF-8 texts; the Chinese names keep their trailing blank where they have one.
extern const std::array<const char*, kCountryCount> CountryCode;
extern const std::array<const char*, kCountryCount> CountryNameEn;
extern const std::array<const char*, kCountryCount> CountryNameZh;

struct CountryRegion {
    const char* name;  // English region name
    int first;         // first country index
    int count;         // number of rows
};
inline constexpr std::array<CountryRegion, 6> CountryRegions = {{
    {"Asia", 0, 33},
    {"Europe", 33, 55},
    {"Middle East", 88, 14},
    {"Africa", 102, 59},
    {"Americas", 161, 56},
    {"Oceania", 217, 23},
}};

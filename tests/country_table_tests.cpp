// The country table: its regions, literal rows, and its codes against the ISO 3166-1 list that
// the system's iso-codes package ships.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "CountryTable.h"

namespace {

struct Expected {
    int index;
    const char* code;
    const char* en;
    const char* zh;
};

std::set<std::string> IsoAlpha2Codes() {
    std::ifstream in("/usr/share/iso-codes/json/iso_3166-1.json");
    std::stringstream text;
    text << in.rdbuf();
    const std::string json = text.str();
    std::set<std::string> codes;
    const std::string key = "\"alpha_2\"";
    for (auto pos = json.find(key); pos != std::string::npos; pos = json.find(key, pos + 1)) {
        const auto open = json.find('"', json.find(':', pos + key.size()));
        const auto close = json.find('"', open + 1);
        codes.insert(json.substr(open + 1, close - open - 1));
    }
    return codes;
}

}  // namespace

TEST(CountryTable, RegionsAreContiguousAndCoverEveryRow) {
    const int counts[] = {33, 55, 14, 59, 56, 23};
    int next = 0;
    for (std::size_t r = 0; r < CountryRegions.size(); ++r) {
        EXPECT_EQ(CountryRegions[r].first, next) << CountryRegions[r].name;
        EXPECT_EQ(CountryRegions[r].count, counts[r]) << CountryRegions[r].name;
        next = CountryRegions[r].first + CountryRegions[r].count;
    }
    EXPECT_EQ(next, kCountryCount);
    EXPECT_STREQ(CountryRegions[0].name, "Asia");
    EXPECT_STREQ(CountryRegions[5].name, "Oceania");
}

TEST(CountryTable, LiteralRows) {
    // Region borders, the Koreas, full-width punctuation, the ASCII hyphen of row 144.
    const Expected rows[] = {
        {0, "AF", "AFGHANISTAN", "阿富汗 "},
        {12, "JP", "JAPAN", "日本 "},
        {13, "KZ", "KAZAKHSTAN", "哈薩克斯坦 "},
        {14, "KP", "North Korea", "北朝鮮 "},
        {15, "KR", "South Korea", "韓國 "},
        {16, "KG", "KYRGYZSTAN", "吉爾吉斯斯坦 "},
        {32, "VN", "VIET NAM", "越南 "},
        {33, "AX", "ALAND ISLANDS", "奧蘭群島 "},
        {55, "VA", "HOLY SEE (VATICAN CITY STATE)", "羅馬教廷（梵蒂岡城國） "},
        {66, "MK", "MACEDONIA, THE FORMER YUGOSLAV REPUBLIC OF", "馬其頓，前南斯拉夫共和國 "},
        {87, "GB", "UNITED KINGDOM", "英國 "},
        {88, "BH", "BAHRAIN", "巴林 "},
        {101, "YE", "YEMEN", "也門 "},
        {102, "DZ", "ALGERIA", "阿爾及利亞 "},
        {144, "SH", "SAINT HELENA, ASCENSION AND TRISTAN DA CUNHA",
         "聖赫勒拿島，阿森松和特里斯坦-達庫尼亞群島 "},
        {160, "ZW", "ZIMBABWE", "津巴布韋"},
        {161, "CA", "CANADA", "加拿大 "},
        {165, "UM", "UNITED STATES MINOR OUTLYING ISLANDS", "美屬維爾京群島 "},
        {166, "AI", "ANGUILLA", "安圭拉 "},
        {196, "MF", "SAINT MARTIN (FRENCH PART)", "聖馬丁（法語區） "},
        {202, "VI", "VIRGIN ISLANDS, U.S.", "維爾京群島，美國 "},
        {203, "AR", "ARGENTINA", "阿根廷 "},
        {216, "VE", "VENEZUELA, BOLIVARIAN REPUBLIC OF", "委內瑞拉玻利瓦爾共和國 "},
        {217, "AS", "AMERICAN SAMOA", "美屬薩摩亞"},
        {227, "MV", "MALDIVES", "馬爾代夫 "},
        {239, "WS", "SAMOA", "薩摩亞 "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.index);
        EXPECT_STREQ(CountryCode[row.index], row.code);
        EXPECT_STREQ(CountryNameEn[row.index], row.en);
        EXPECT_STREQ(CountryNameZh[row.index], row.zh);
    }
}

TEST(CountryTable, TrailingBlankOfChineseNames) {
    const Expected bare[] = {
        {10, "IN", "", "印度"},    {11, "ID", "", "印度尼西亞"},  {41, "BG", "", "保加利亞"},
        {112, "TD", "", "查德"},   {120, "ER", "", "厄立特里亞"}, {133, "ML", "", "馬里"},
        {149, "SO", "", "索馬里"}, {160, "ZW", "", "津巴布韋"},   {168, "AW", "", "阿魯巴"},
        {191, "PA", "", "巴拿馬"}, {217, "AS", "", "美屬薩摩亞"},
    };
    std::set<int> bareRows;
    for (const auto& row : bare) {
        SCOPED_TRACE(row.index);
        EXPECT_STREQ(CountryCode[row.index], row.code);
        EXPECT_STREQ(CountryNameZh[row.index], row.zh);
        bareRows.insert(row.index);
    }
    int withBlank = 0;
    for (int i = 0; i < kCountryCount; ++i) {
        SCOPED_TRACE(i);
        const std::string zh = CountryNameZh[i];
        ASSERT_FALSE(zh.empty());
        const bool blank = zh.back() == ' ';
        EXPECT_EQ(blank, bareRows.count(i) == 0);
        withBlank += blank ? 1 : 0;
        // Only the trailing blank and the hyphen of row 144 are ASCII; the rest is Chinese text.
        const std::string body = blank ? zh.substr(0, zh.size() - 1) : zh;
        const auto ascii = std::count_if(
            body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        EXPECT_EQ(ascii, i == 144 ? 1 : 0);
    }
    EXPECT_EQ(withBlank, 229);
}

TEST(CountryTable, EnglishNamesAreUpperCaseAscii) {
    for (int i = 0; i < kCountryCount; ++i) {
        SCOPED_TRACE(i);
        const std::string en = CountryNameEn[i];
        EXPECT_GE(en.size(), 4u);
        EXPECT_LE(en.size(), 44u);
        const bool hasLower = std::any_of(en.begin(), en.end(), [](char c) {
            return std::islower(static_cast<unsigned char>(c)) != 0;
        });
        EXPECT_EQ(hasLower, i == 14 || i == 15);
        EXPECT_TRUE(std::all_of(en.begin(), en.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
        }));
    }
}

TEST(CountryTable, CodesAreDistinctIsoAlpha2Codes) {
    const std::set<std::string> iso = IsoAlpha2Codes();
    ASSERT_EQ(iso.size(), 249u) << "iso_3166-1.json of the iso-codes package not readable";

    std::set<std::string> table;
    for (int i = 0; i < kCountryCount; ++i) {
        SCOPED_TRACE(i);
        const std::string code = CountryCode[i];
        ASSERT_EQ(code.size(), 2u);
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(code[0])) &&
                    std::isupper(static_cast<unsigned char>(code[1])));
        EXPECT_TRUE(iso.count(code) == 1) << code << " is no ISO 3166-1 alpha-2 code";
        EXPECT_TRUE(table.insert(code).second) << code << " occurs twice";
    }

    std::set<std::string> missing;
    std::set_difference(iso.begin(), iso.end(), table.begin(), table.end(),
                        std::inserter(missing, missing.begin()));
    EXPECT_EQ(missing,
              (std::set<std::string>{"AQ", "GS", "SB", "TK", "TO", "TV", "TW", "VU", "WF"}));
}

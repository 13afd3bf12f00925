#include "PlistValue.h"

#include "PlistSamples.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace plist;

std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

// Written by an independent encoder (Python's plistlib), so this checks our reading against
// someone else's writing, not against our own.
const std::string foreignBinary = fromHex(
    "62706c6973743030d90102030405060708090a0b0c0d121314151654426c6f6255436f756e7455456d7074795"
    "44c697374544e616d65534f6666524f6e55526174696f545768656e4300010213fffffffffffffffbd0a20e0f"
    "5161d110115444656570556e757672616400430061006600e90809233fe00000000000003341c1deca9280000"
    "0081b20262c31363a3d43484c5556595b5e63697273747d000000000000010100000000000000170000000000"
    "0000000000000000000086");

Dictionary foreignContents() {
    return Dictionary{{"Name", "Caf\xc3\xa9"},
                      {"Count", Value(std::int64_t{-5})},
                      {"Ratio", 0.5},
                      {"On", true},
                      {"Off", false},
                      {"Blob", Data{std::string("\x00\x01\x02", 3)}},
                      {"When", Date{599627045.0}}, // 2020-01-02 03:04:05 UTC
                      {"List", Array{"a", Dictionary{{"Deep", "nuvra"}}}},
                      {"Empty", Dictionary{}}};
}

TEST(PlistValue, EveryTypeSurvivesXmlAndBinaryRoundTrips) {
    const Value original(realisticHIToolboxDomain());
    std::optional<std::string> xml = toXml(original);
    ASSERT_TRUE(xml.has_value());
    EXPECT_EQ(parse(*xml), original);

    std::optional<std::string> binary = toBinary(original);
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(parse(*binary), original);
}

TEST(PlistValue, IntegersAndRealsStayApart) {
    std::optional<std::string> xml = toXml(Value(Array{Value(1), Value(1.0)}));
    ASSERT_TRUE(xml.has_value());
    EXPECT_NE(xml->find("<integer>1</integer>"), std::string::npos);
    EXPECT_NE(xml->find("<real>1</real>"), std::string::npos);
    std::optional<Value> back = parse(*xml);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->get<Array>()->at(0).is<std::int64_t>());
    EXPECT_TRUE(back->get<Array>()->at(1).is<double>());
}

TEST(PlistValue, DatesKeepWholeSecondsInXmlAndFractionsInBinary) {
    const Value beforeReference(Date{-86401.0});
    std::optional<std::string> xml = toXml(beforeReference);
    ASSERT_TRUE(xml.has_value());
    EXPECT_NE(xml->find("<date>2000-12-30T23:59:59Z</date>"), std::string::npos);
    EXPECT_EQ(parse(*xml), beforeReference);

    EXPECT_EQ(parse(*toXml(Value(Date{12.75}))), Value(Date{12.0}));
    EXPECT_EQ(parse(*toXml(Value(Date{-0.25}))), Value(Date{-1.0}));
    for (double seconds : {12.75, -86400.25, 723456789.5}) {
        EXPECT_EQ(parse(*toBinary(Value(Date{seconds}))), Value(Date{seconds})) << seconds;
    }
}

TEST(PlistValue, ReadsForeignBinaryAndXml) {
    EXPECT_EQ(parse(foreignBinary), Value(foreignContents()));

    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Blob</key>
	<data>
	AAEC
	</data>
	<key>Count</key>
	<integer>-5</integer>
	<key>Empty</key>
	<dict/>
	<key>List</key>
	<array>
		<string>a</string>
		<dict>
			<key>Deep</key>
			<string>nuvra</string>
		</dict>
	</array>
	<key>Name</key>
	<string>Café</string>
	<key>Off</key>
	<false/>
	<key>On</key>
	<true/>
	<key>Ratio</key>
	<real>0.5</real>
	<key>When</key>
	<date>2020-01-02T03:04:05Z</date>
</dict>
</plist>
)";
    EXPECT_EQ(parse(xml), Value(foreignContents()));
}

TEST(PlistValue, RefusesToWriteWhatItCannotWriteFaithfully) {
    EXPECT_FALSE(toXml(Value()).has_value());
    EXPECT_FALSE(toXml(Value(Dictionary{{"ok", 1}, {"deep", Array{Value()}}})).has_value());
    EXPECT_FALSE(toBinary(Value(Array{Value()})).has_value());
    EXPECT_FALSE(toXml(Value(std::string("cut\0short", 9))).has_value());
    EXPECT_FALSE(toXml(Value(Dictionary{{std::string("k\0ey", 4), 1}})).has_value());
    EXPECT_FALSE(toXml(Value(Date{NAN})).has_value());
    EXPECT_FALSE(toBinary(Value(Date{INFINITY})).has_value());

    // Text that is not UTF-8: the binary writer would cut it at the first bad byte.
    for (const Value& notUtf8 :
         {Value(Dictionary{{"UserNote", "Caf\xe9 \xff"}}), Value(Dictionary{{"K\xe9y", "v"}}),
          Value(Array{"\xed\xa0\x80"})}) {
        EXPECT_FALSE(toBinary(notUtf8).has_value());
        EXPECT_FALSE(toXml(notUtf8).has_value());
    }

    // Reading refuses the same texts, so whatever it gives back can be written unchanged.
    const std::string placeholder("Caf\x01 \x02", 6);
    std::string binary = *toBinary(Value(Dictionary{{"UserNote", placeholder}}));
    binary.replace(binary.find(placeholder), placeholder.size(), "Caf\xe9 \xff");
    EXPECT_FALSE(parse(binary).has_value());
    std::string keyed = *toBinary(Value(Dictionary{{placeholder, "v"}}));
    keyed.replace(keyed.find(placeholder), placeholder.size(), "Caf\xe9 \xff");
    EXPECT_FALSE(parse(keyed).has_value());
}

TEST(PlistValue, DatesOfAnyYearAreKeptExactlyOrRefused) {
    // Years libplist's XML reader would turn into some other date, and years that overflowed the
    // calendar arithmetic: the file is refused, never read as a different date.
    for (const char* date : {"-0001-01-01T00:00:00Z", "10000-01-01T00:00:00Z",
                             "99999999999999999999-01-01T00:00:00Z", "0000-12-31T00:00:00Z"}) {
        EXPECT_FALSE(parse("<plist version=\"1.0\"><date>" + std::string(date) + "</date></plist>")
                         .has_value())
            << date;
    }
    const double yearOne = -63113904000.0;    // 0001-01-01
    const double lastSecond = 252423993599.0; // 9999-12-31 23:59:59
    for (double seconds : {yearOne, lastSecond, -2147483649.0}) {
        EXPECT_EQ(parse(*toXml(Value(Date{seconds}))), Value(Date{seconds})) << seconds;
    }
    // Binary holds every finite date exactly; XML refuses the years it cannot hold.
    for (double seconds : {yearOne - 1, lastSecond + 1, -1e300, 1e300, -4e9 + 0.123456789}) {
        EXPECT_EQ(parse(*toBinary(Value(Date{seconds}))), Value(Date{seconds})) << seconds;
        if (seconds < yearOne || seconds > lastSecond) {
            EXPECT_FALSE(toXml(Value(Date{seconds})).has_value()) << seconds;
        }
        EXPECT_FALSE(describe(Value(Date{seconds})).empty());
    }
}

TEST(PlistValue, RejectsBrokenInputWithoutCrashing) {
    for (std::string_view bad : {std::string_view(), std::string_view("not a plist"),
                                 std::string_view("bplist00"), std::string_view("<plist><dict>")}) {
        EXPECT_FALSE(parse(bad).has_value()) << bad;
    }
    // libplist aborts the process when it hands out a key with a NUL inside; such files are
    // turned away first, in both text encodings, while ordinary non-ASCII keys still read.
    EXPECT_FALSE(parse(fromHex("62706c6973743030d101025261005178080b0e00000000000001010000000000"
                               "00000300000000000000000000000000000010"))
                     .has_value());
    const std::string utf16Key = "62706c6973743030d1010263006b00e900795178080b1200000000000001010"
                                 "00000000000000300000000000000000000000000000014";
    EXPECT_EQ(parse(fromHex(utf16Key)), Value(Dictionary{{"k\xc3\xa9y", "x"}}));
    std::string nulInUtf16Key = utf16Key;
    nulInUtf16Key.replace(nulInUtf16Key.find("006b"), 4, "0000");
    EXPECT_FALSE(parse(fromHex(nulInUtf16Key)).has_value());

    const std::string xml = *toXml(Value(realisticHIToolboxDomain()));
    EXPECT_FALSE(parse(xml.substr(0, xml.size() / 2)).has_value());
    // libplist would cut such a key short, or keep a NUL no writer can give back.
    for (const char* nul : {"<key>a&#0;b</key><true/>", "<key>k</key><string>a&#x00;</string>"}) {
        EXPECT_FALSE(parse("<plist version=\"1.0\"><dict>" + std::string(nul) + "</dict></plist>")
                         .has_value())
            << nul;
    }

    // Every cut of a binary file loses its trailer; every single-byte corruption must at worst
    // give some other value. Run under the sanitizers, this is where a reader overruns.
    const std::string binary = *toBinary(Value(realisticHIToolboxDomain()));
    for (std::size_t length = 0; length < binary.size(); ++length) {
        EXPECT_FALSE(parse(std::string_view(binary).substr(0, length)).has_value()) << length;
    }
    for (std::size_t at = 0; at < binary.size(); ++at) {
        for (int flip : {0x01, 0x80, 0xff}) {
            std::string corrupt = binary;
            corrupt[at] = static_cast<char>(corrupt[at] ^ flip);
            (void)parse(corrupt);
        }
    }
}

TEST(PlistValue, RefusesAbsurdNesting) {
    std::string xml = "<plist version=\"1.0\">";
    for (int i = 0; i < 2000; ++i) {
        xml += "<array>";
    }
    for (int i = 0; i < 2000; ++i) {
        xml += "</array>";
    }
    xml += "</plist>";
    EXPECT_FALSE(parse(xml).has_value());
}

void forEachText(const Value& value, const std::function<void(const std::string&)>& visit) {
    if (const auto* text = value.get<std::string>()) {
        visit(*text);
    } else if (const auto* array = value.get<Array>()) {
        for (const Value& item : *array) {
            forEachText(item, visit);
        }
    } else if (const auto* dictionary = value.get<Dictionary>()) {
        for (const auto& [key, item] : *dictionary) {
            visit(key);
            forEachText(item, visit);
        }
    }
}

TEST(PlistValue, DescriptionContainsEveryKeyAndTextAtEveryDepth) {
    const Value domain(realisticHIToolboxDomain());
    const std::string description = describe(domain);
    int seen = 0;
    forEachText(domain, [&](const std::string& text) {
        ++seen;
        EXPECT_NE(description.find(text), std::string::npos) << text;
    });
    EXPECT_GT(seen, 30);

    EXPECT_EQ(describe(Value(Dictionary{{"Bundle ID", "ai.nuvra.inputmethod.NuvraInput"},
                                        {"InputSourceKind", "Input Mode"},
                                        {"List", Array{Value(1), Value(true)}}})),
              "{\n"
              "    \"Bundle ID\" = ai.nuvra.inputmethod.NuvraInput;\n"
              "    InputSourceKind = \"Input Mode\";\n"
              "    List = (\n"
              "        1,\n"
              "        1\n"
              "    );\n"
              "}");
}

} // namespace

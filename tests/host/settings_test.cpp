// The settings text: exact round trips, any key text, and no half-read value
// from text that was cut off or garbled.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/kx_settings.h"

namespace {

TEST(Settings, RoundTripsEveryTypeExactly) {
    using L = std::numeric_limits<double>;
    const std::vector<double> doubles = {
        0.0,      -0.0,     0.1,       -2.5,          3.141592653589793, 1e-300,
        4.9e-324, L::max(), -L::max(), L::infinity(), -L::infinity()};
    const std::vector<int> ints = {
        0, 1, -1, 65537, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
    CKxStringW text;
    for (std::size_t i = 0; i < doubles.size(); ++i)
        SetDoubleToKey(text, (u"d" + std::u16string(1, u'a' + i)).c_str(), doubles[i]);
    for (std::size_t i = 0; i < ints.size(); ++i)
        SetIntToKey(text, (u"i" + std::u16string(1, u'a' + i)).c_str(), ints[i]);
    SetBoolToKey(text, u"yes", true);
    SetBoolToKey(text, u"no", false);
    SetDoubleToKey(text, u"nan", std::numeric_limits<double>::quiet_NaN());

    for (std::size_t i = 0; i < doubles.size(); ++i) {
        double v = 42;
        ASSERT_EQ(
            GetDoubleFromKey(text.GetString(), (u"d" + std::u16string(1, u'a' + i)).c_str(), &v), 1)
            << i;
        EXPECT_EQ(std::memcmp(&v, &doubles[i], sizeof v), 0) << i;  // bit for bit, -0 included
    }
    for (std::size_t i = 0; i < ints.size(); ++i) {
        int v = 42;
        ASSERT_EQ(GetIntFromKey(text.GetString(), (u"i" + std::u16string(1, u'a' + i)).c_str(), &v),
                  1);
        EXPECT_EQ(v, ints[i]);
    }
    bool b = false;
    EXPECT_EQ(GetBoolFromKey(text.GetString(), u"yes", &b), 1);
    EXPECT_TRUE(b);
    EXPECT_EQ(GetBoolFromKey(text.GetString(), u"no", &b), 1);
    EXPECT_FALSE(b);
    double nan = 0;
    EXPECT_EQ(GetDoubleFromKey(text.GetString(), u"nan", &nan), 1);
    EXPECT_TRUE(std::isnan(nan));

    // Absent keys and the wrong type leave the value untouched.
    int untouched = 7;
    EXPECT_EQ(GetIntFromKey(text.GetString(), u"absent", &untouched), 0);
    EXPECT_EQ(GetIntFromKey(text.GetString(), u"dc", &untouched), 0);  // 0.1 is no int
    EXPECT_EQ(GetBoolFromKey(text.GetString(), u"ic", &b), 0);         // 65537 is no bool
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(GetIntFromKey(nullptr, u"ia", &untouched), 0);
    EXPECT_EQ(GetIntFromKey(text.GetString(), nullptr, &untouched), 0);
    EXPECT_EQ(GetIntFromKey(text.GetString(), u"ia", nullptr), 0);

    // An int key reads as a double too; the last of two pairs counts.
    double asDouble = 0;
    EXPECT_EQ(GetDoubleFromKey(text.GetString(), u"id", &asDouble), 1);
    EXPECT_EQ(asDouble, 65537.0);
    SetIntToKey(text, u"ia", 5);
    int last = 0;
    EXPECT_EQ(GetIntFromKey(text.GetString(), u"ia", &last), 1);
    EXPECT_EQ(last, 5);
}

TEST(Settings, KeysMayHoldAnyText) {
    const std::vector<std::u16string> keys = {u"speed_revolutionPerSecond_x",
                                              u"a=b",
                                              u"semi;colon",
                                              u"back\\slash",
                                              u"\\u0041",
                                              u"tab\there",
                                              u"line\nbreak",
                                              u"\u00b5m",
                                              u"\u65e5\u672c",
                                              u"",
                                              u"=;\\"};
    CKxStringW text;
    for (std::size_t i = 0; i < keys.size(); ++i)
        SetIntToKey(text, keys[i].c_str(), static_cast<int>(i) * 10);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        int v = -1;
        ASSERT_EQ(GetIntFromKey(text.GetString(), keys[i].c_str(), &v), 1) << i;
        EXPECT_EQ(v, static_cast<int>(i) * 10) << i;
    }
    // The text itself stays printable ASCII.
    for (char16_t c : text.str()) EXPECT_TRUE(c >= 0x20 && c <= 0x7E);
}

TEST(Settings, CutOffOrGarbledTextNeverYieldsAHalfReadValue) {
    CKxStringW full;
    SetDoubleToKey(full, u"speed", 12.345678);
    SetIntToKey(full, u"count", 123456);
    SetBoolToKey(full, u"flag", true);
    SetDoubleToKey(full, u"speed", 0.5);
    const std::u16string& all = full.str();
    for (std::size_t n = 0; n <= all.size(); ++n) {
        const std::u16string cut = all.substr(0, n);
        double d = -1;
        if (GetDoubleFromKey(cut.c_str(), u"speed", &d)) {
            EXPECT_TRUE(d == 12.345678 || d == 0.5) << n;
        }
        int i = -1;
        if (GetIntFromKey(cut.c_str(), u"count", &i)) {
            EXPECT_EQ(i, 123456) << n;
        }
        bool b = false;
        if (GetBoolFromKey(cut.c_str(), u"flag", &b)) {
            EXPECT_TRUE(b) << n;
        }
    }
    // Random damage never crashes: the settings fuzz target's corpus runs
    // as a test of its own.
}

TEST(HostStrings, FindDeleteConcatenate) {
    CKxStringW s(u"Port COM12");
    EXPECT_EQ(s.FindNoCase(u"com"), 5);
    EXPECT_EQ(s.FindNoCase(u"Com12"), 5);
    EXPECT_EQ(s.FindNoCase(u"com3"), -1);
    EXPECT_EQ(s.FindNoCase(u"a much longer text than the string"), -1);
    s.DeleteLeft(5);
    EXPECT_EQ(s, CKxStringW(u"COM12"));
    s.DeleteLeft(100);
    EXPECT_TRUE(s.IsEmpty());
    CKxStringW a(u"XY");
    EXPECT_EQ(a + CKxStringW(u" Drive"), CKxStringW(u"XY Drive"));
    a = nullptr;
    EXPECT_TRUE(a.IsEmpty());
    // As UTF-8: one to four bytes a character, unpaired surrogates replaced.
    EXPECT_EQ(KX_ToUtf8(u"um \u00B5m \u00B2 \u20AC"), "um \xC2\xB5m \xC2\xB2 \xE2\x82\xAC");
    EXPECT_EQ(KX_ToUtf8(u"\U0001F52C"), "\xF0\x9F\x94\xAC");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(KX_ToUtf8(lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(KX_ToUtf8(std::u16string_view(u"x\0y", 3)), std::string("x\0y", 3));
}

}  // namespace

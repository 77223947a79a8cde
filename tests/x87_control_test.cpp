// The calendar and angle texts must come out the same whatever precision the
// caller left the x87 unit in: the zone offsets below give other texts when
// evaluated in double precision.
#include "platform/x87_control.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "core/error.h"
#include "export/calendar.h"
#include "test_support.h"

namespace kosmara {
namespace {

// Double precision (53-bit significand), rounding to nearest, all masked:
// what a Windows thread starts with.
constexpr std::uint16_t kDoublePrecisionWord = 0x027F;

void ExpectExtendedTexts() {
    EXPECT_EQ(ZoneOffsetText(-0.15), u"0e08:59");
    EXPECT_EQ(ZoneOffsetText(0.5041666666666667), u"0w30:14");
    EXPECT_EQ(ZoneOffsetText(0.016666666666666666), u"0w00:59");
    EXPECT_EQ(LatitudeText(52.516666666666666), u"52n31:00");
    EXPECT_EQ(JulianDayText(2451545.0, -1.0), u"2451544.95833");
    EXPECT_EQ(TimeOfDayText(2451545.043101847, GermanTimeFormat()), u"13:02:04");
    EXPECT_EQ(JulianDayToDateText(2299160.5), u"15.10.1582");
}

// Restores the control word of the test thread whatever the test does.
class ControlWordKeeper {
public:
    ControlWordKeeper() : saved_(ReadX87ControlWord()) {}
    ~ControlWordKeeper() { WriteX87ControlWord(saved_); }
    std::uint16_t saved() const { return saved_; }

private:
    std::uint16_t saved_;
};

TEST(ExtendedPrecision, TextsAreExactWhenTheCallerLeftDoublePrecision) {
    ControlWordKeeper keeper;
    WriteX87ControlWord(kDoublePrecisionWord);
    ExpectExtendedTexts();
    // The caller's control word is given back.
    EXPECT_EQ(ReadX87ControlWord(), kDoublePrecisionWord);
}

TEST(ExtendedPrecision, TextsAreExactWhenTheCallerLeftAnotherRounding) {
    ControlWordKeeper keeper;
    for (std::uint16_t rounding : {0x0400, 0x0800, 0x0C00}) {  // down, up, toward zero
        const auto word = static_cast<std::uint16_t>(kDoublePrecisionWord | rounding);
        WriteX87ControlWord(word);
        ExpectExtendedTexts();
        EXPECT_EQ(ReadX87ControlWord(), word);
    }
}

TEST(ExtendedPrecision, TheWordIsRestoredWhenARoutineFails) {
    ControlWordKeeper keeper;
    WriteX87ControlWord(kDoublePrecisionWord);
    EXPECT_THROW(ZoneOffsetText(1e30), Error);
    EXPECT_EQ(ReadX87ControlWord(), kDoublePrecisionWord);
}

TEST(ExtendedPrecision, TextsAreExactOnANewThread) {
    // On Windows a new thread starts in 53-bit mode.
    std::uint16_t threadWord = 0;
    std::thread worker([&threadWord] {
        threadWord = ReadX87ControlWord();
        ExpectExtendedTexts();
    });
    worker.join();
    RecordProperty("new_thread_control_word", threadWord);
}

TEST(ExtendedPrecision, DoublePrecisionReallyChangesTheResult) {
    // Guards the tests above: without the guard, 53-bit mode gives 0e09.
    ControlWordKeeper keeper;
    WriteX87ControlWord(kDoublePrecisionWord);
    volatile long double offset = 0.15;  // the double nearest to 0.15, a hair below it
    volatile long double minutes = offset * 60.0L;
    WriteX87ControlWord(kExtendedControlWord);
    EXPECT_EQ(minutes, 9.0L);  // extended precision keeps 8.99999999999999966...
}

}  // namespace
}  // namespace kosmara

namespace kosmara {
namespace {

// The texts' cut toward zero without switching the unit to truncation: the
// same integer as the compiler's cast, in every rounding mode and precision
// the caller may have left, for halves, near-integers and large values.
TEST(ExtendedPrecision, CutToIntegerEqualsTheCastInEveryMode) {
    const ControlWordKeeper keeper;
    std::mt19937_64 random(20261210);
    std::vector<long double> values = {0.0L, -0.0L, 0.5L, -0.5L, 1.5L, -1.5L, 2.5L, -2.5L, 0.49999999999999999L,
                                       -0.9999999999999999999L, 0x1p62L + 0.5L, -0x1p62L - 0.5L, 0x1p63L - 1.0L,
                                       -0x1p63L, -0x1p63L + 1.0L, 86399999.5L, -86399999.5L};
    std::uniform_int_distribution<int> exponent(-4, 62);
    std::uniform_real_distribution<long double> mantissa(-1.0L, 1.0L);
    for (int i = 0; i < 20000; ++i) {
        const long double x = std::ldexp(mantissa(random), exponent(random));
        values.push_back(x);
        values.push_back(std::nearbyint(x) + (i % 2 == 0 ? 0.5L : -0.5L));
    }
    for (const std::uint16_t rounding : {0x0000, 0x0400, 0x0800, 0x0C00}) {
        for (const std::uint16_t precision : {0x0300, 0x0200}) {
            WriteX87ControlWord(static_cast<std::uint16_t>(0x007F | rounding | precision));
            for (const long double x : values) {
                if (!(x > -0x1p63L - 1.0L && x < 0x1p63L)) continue;
                const std::int64_t cut = CutToInteger64(x);
                const std::int64_t cast = static_cast<std::int64_t>(x);
                if (cut != cast) {
                    WriteX87ControlWord(keeper.saved());
                    FAIL() << "control word " << std::hex << (0x007F | rounding | precision) << std::dec << ", x "
                           << static_cast<double>(x) << ": " << cut << " != " << cast;
                }
            }
        }
    }
}

}  // namespace
}  // namespace kosmara

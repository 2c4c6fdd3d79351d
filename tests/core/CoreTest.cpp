#include "Conversions.h"
#include "ProgressRun.h"
#include "SettingsStore.h"
#include "TickSchedule.h"

#include "FreshRegistry.h"
#include "RawRegistry.h"

#include <gtest/gtest.h>
#include <winreg_store.h>

#include <cmath>
#include <tuple>

namespace dawdlex {
namespace {

using namespace std::string_literals;
constexpr auto no = std::nullopt;
constexpr char kSubKey[] = "Software\\Pendlewick\\Dawdlex";

// Each text as the whole-number conversions, the lenient reading, the delay correction and the timer read it.
TEST(Conversions, EachTextReadsTheSameWayWhereverItIsUsed)
{
    // text, toWhole32, readLenient, toLenientWhole16, correctedDelay, delayInterval of the result
    using Whole = std::optional<int>;
    const std::vector<std::tuple<std::string, Whole, double, Whole, std::optional<std::string>, int>> rows{
        {" \t-2.5\t", -2, -2.5, -2, "1", 1},
        {"25D-1", 2, 2.5, 2, no, 2},
        {"1 2\n", no, 12, 12, no, 12},
        {"", no, 0, 0, "1", 1},
        {"2147483648", no, 2147483648, no, "50000", 50000},
        {"50000.1", 50000, 50000.1, no, "50000", 50000},
        {"49999.9junk", no, 49999.9, no, no, 50000},
        {"-1e999", no, -HUGE_VAL, no, "1", 1},
        {"0." + std::string(400, '0') + "5e401", 5, 5, 5, no, 5},
    };
    for (const auto& [text, whole32, lenient, lenient16, corrected, interval] : rows) {
        SCOPED_TRACE('"' + text + '"');
        EXPECT_EQ(std::make_tuple(toWhole32(text), toLenientWhole16(text), correctedDelay(text)),
                  std::make_tuple(whole32, lenient16, corrected));
        EXPECT_DOUBLE_EQ(readLenient(text), lenient);
        EXPECT_EQ(delayInterval(corrected.value_or(text)), interval);
    }
}

struct Display : ProgressDisplay
{
    std::string status;
    std::int32_t interval = 0;
    float bars[2] = {-1, -1};

    void showPhaseMessage(const std::string& text) override { status = text; }
    void setTickInterval(std::int32_t milliseconds) override { interval = milliseconds; }
    void showBarValue(int bar, float value) override { bars[bar] = value; }
};

// A bar shows 1 to 40 and then 0. Each full first bar moves the second on and enters the next phase, whose
// message and delay then show; an empty message sends the run back to phase 0.
TEST(ProgressRun, BarsStepAndPhasesFollowTheMessages)
{
    // the messages; then after each of a number of ticks: both bars and the phase
    using Messages = std::array<std::string, Settings::kPhaseCount>;
    const std::vector<std::pair<Messages, std::vector<std::array<int, 4>>>> rows{
        {{"a", "b", "c", "d", "e"}, {{1, 1, 0, 0}, {39, 40, 0, 0}, {1, 0, 1, 1}, {164, 0, 5, 0}}},
        {{"a", "b", "", "d", "e"}, {{81, 40, 1, 1}, {1, 0, 2, 0}, {41 * 38 + 40, 40, 40, 0}, {1, 0, 0, 1}}},
        {{"", "b", "c", "", ""}, {{41, 0, 1, 1}, {41, 0, 2, 2}, {41, 0, 3, 0}}},
    };
    for (const auto& [messages, steps] : rows) {
        Settings settings;
        settings.statuses = messages;
        settings.delays = {"10", "20", "30", "40", "50"};
        Display display;
        ProgressRun run(display);
        int total = 0;
        for (const auto& [ticks, first, second, phase] : steps) {
            for (int i = 0; i < ticks; ++i)
                run.tick(settings);
            // The message and delay on show are the phase's once it has changed at all.
            total += ticks;
            EXPECT_EQ(std::make_tuple(display.bars[0], display.bars[1], run.phase(), display.status,
                                      display.interval),
                      std::make_tuple(float(first), float(second), phase,
                                      total < 41 ? "" : messages[std::size_t(phase)],
                                      total < 41 ? 0 : 10 * (phase + 1)))
                << total;
        }
    }
}

// A late timer event owes one tick per deadline passed since the schedule began at the first event; an
// event a little early is on time, one more than a second late starts the schedule afresh, and so does a
// new interval.
TEST(TickSchedule, OwesOneTickPerPassedDeadline)
{
    // the interval, then milliseconds since start() and the ticks owed then; a new interval: -1 and it
    const std::vector<std::pair<int, std::vector<std::pair<int, int>>>> rows{
        {10, {{35, 1}, {44, 1}, {54, 1}, {78, 2}, {85, 1}}},
        {10, {{35, 1}, {3035, 1}, {3045, 1}, {3065, 2}}},
        {10, {{0, 1}, {-1, 20}, {45, 1}, {65, 1}, {105, 2}}},
        {0, {{5, 1}, {500, 1}}}};
    const auto origin = TickSchedule::Clock::now();
    using ms = std::chrono::milliseconds;
    for (const auto& [interval, events] : rows) {
        TickSchedule schedule;
        schedule.start(ms(interval));
        for (const auto& [at, owed] : events) {
            if (at < 0)
                schedule.start(ms(owed));
            else
                EXPECT_EQ(schedule.due(origin + ms(at)), owed) << interval << ' ' << at;
        }
    }
}

// A first start finds no key and makes it; a save then writes all sixteen settings, which load back as saved.
// A key that cannot be opened with full access is neither read nor written.
TEST(SettingsStore, FirstStartMakesTheKeyAndSavedSettingsLoadBack)
{
    FreshRegistry freshRegistry;
    Settings settings;
    EXPECT_FALSE(saveSettings(settings));
    EXPECT_FALSE(RawRegistry::queryRaw(kSubKey, "Title").found) << "a save never makes the key";
    EXPECT_EQ(loadSettings(settings), SettingsLoad::KeyCreated);
    ASSERT_TRUE(saveSettings(settings));
    // The defaults, checked here only, as name=text.
    for (const std::string entry :
         {"Title=Processing...", "Status0=Reading Files...", "Status1=Linking Data...", "Status2=Updating...",
          "Status3=", "Status4=", "Speed0=50", "Speed1=200", "Speed2=400", "Speed3=200", "Speed4=200",
          "Dual=1", "Saver=0", "Icon=0", "CustIconPath=", "ButtonText=Cancel"}) {
        const std::string name = entry.substr(0, entry.find('='));
        // Stored with a terminator; an empty text as a single NUL character.
        std::string text = entry.substr(name.size() + 1);
        text += text.empty() ? "\0\0"s : "\0"s;
        EXPECT_EQ(RawRegistry::queryRaw(kSubKey, name).data, std::vector<uint8_t>(text.begin(), text.end()))
            << name;
    }
    // Every setting unlike its default.
    settings = {"Défrag", {"a", "b", "", "d", "e"}, {"1", "2", "3", "4", "5"}, "", false, true, 7, "/my.ico"};
    ASSERT_TRUE(saveSettings(settings));
    Settings loaded;
    EXPECT_EQ(loadSettings(loaded), SettingsLoad::Loaded);
    EXPECT_EQ(loaded, settings);

    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, kSubKey, TRUE), ERROR_SUCCESS);
    EXPECT_EQ(loadSettings(loaded = Settings{}), SettingsLoad::KeyUnavailable);
    EXPECT_EQ(loaded, Settings{});
    EXPECT_FALSE(saveSettings(Settings{}));
}

// One value stored by hand, and what its setting loads as. A value the setting cannot use leaves it as it
// was.
TEST(SettingsStore, StoredValuesLoadOnlyWhenTheirSettingCanUseThem)
{
    const std::vector<std::tuple<std::string, DWORD, std::string, std::string>> rows{
        // Delays are corrected into 1..50000; what the lenient reading lets through stays as typed.
        {"Speed1", REG_SZ, "70000\0"s, "50000"},
        {"Speed1", REG_SZ, "5abc\0"s, "5abc"},
        // The icon index is read leniently and rounded; one outside the list is not taken.
        {"Icon", REG_SZ, "6.7\0"s, "7"},
        {"Icon", REG_SZ, "8\0"s, "kept"},
        {"Icon", REG_SZ, "7.5\0"s, "kept"},
        // Check boxes take only 0 and 1, by the strict conversion.
        {"Dual", REG_SZ, " 0 \0"s, "0"},
        {"Dual", REG_SZ, "0x\0"s, "kept"},
        {"Saver", REG_SZ, "1.5\0"s, "kept"},
        // A text ends at its first NUL character; an empty one is not taken.
        {"Title", REG_SZ, "ab\0cd\0"s, "ab"},
        {"Title", REG_MULTI_SZ, "one\0two\0\0"s, "one"},
        {"Title", REG_NONE, "", "kept"},
    };
    for (const auto& [name, type, bytes, expected] : rows) {
        FreshRegistry freshRegistry;
        RawRegistry::setRaw(kSubKey, name, type, {bytes.begin(), bytes.end()});
        Settings settings;
        EXPECT_EQ(loadSettings(settings), SettingsLoad::Loaded);
        SCOPED_TRACE(name + " = " + ::testing::PrintToString(bytes));
        if (expected == "kept") {
            EXPECT_EQ(settings, Settings{});
            continue;
        }
        // The setting as it is saved again.
        ASSERT_TRUE(saveSettings(settings));
        const std::string text = expected + '\0';
        EXPECT_EQ(RawRegistry::queryRaw(kSubKey, name).data, std::vector<uint8_t>(text.begin(), text.end()));
    }
}

} // namespace
} // namespace dawdlex

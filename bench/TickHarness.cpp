// The progress run's timing, measured on the real main window: start-up to the shown window and to the
// first tick, the tick intervals, the length of each 41-tick phase, the drift over the whole run and the
// process's CPU time and peak memory. Prints one line of "name=value" figures.
//
//   dawdlex-tick-bench --interval MS --seconds S [--dump FILE]
//                                                      run with every phase at MS (0: the default delays)
//   dawdlex-tick-bench --settings-io N                 time loadSettings + saveSettings on the real Options
//   window dawdlex-tick-bench --seed [--interval MS]          only seed the settings, for the real program
//   dawdlex-tick-bench --floor --seconds S             an empty window of the same size, for comparison
//
// Runs against the store under $XDG_CONFIG_HOME, which must be set (the bench script gives it a fresh
// folder); the settings key is created first so that no welcome box waits for a person. Start-up is timed
// from DAWDLEX_BENCH_T0 (microseconds of the real-time clock, taken by the caller just before exec) when
// it is set, else from the start of main.
#include "TickRecorder.h"
#include "OptionsWindow.h"
#include "SettingsStore.h"
#include "ProgressWindow.h"
#include "CRegistry.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using dawdlex::bench::TickRecorder;
using SystemClock = std::chrono::system_clock;

// CPU is counted from this long after the window is shown, so that start-up's own work is left out.
constexpr int kWarmUpMs = 2000;

struct Options
{
    int interval = 0;
    double seconds = 10;
    int settingsRounds = 0;
    bool seedOnly = false;
    // A plain window of the same size instead of the program's: the floor of start-up and memory.
    bool floor = false;
    // Where to write every timer event's time (ms since the first) and the run's position, one per line.
    std::string dump;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--seed") {
            options.seedOnly = true;
            continue;
        }
        if (flag == "--floor") {
            options.floor = true;
            continue;
        }
        if (i + 1 == argc) {
            return false;
        }
        const char* value = argv[++i];
        if (flag == "--interval") {
            options.interval = std::atoi(value);
        } else if (flag == "--seconds") {
            options.seconds = std::atof(value);
        } else if (flag == "--dump") {
            options.dump = value;
        } else if (flag == "--settings-io") {
            options.settingsRounds = std::atoi(value);
        } else {
            return false;
        }
    }
    return true;
}

bool configHomeIsSafe()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (!config || !*config) {
        return false;
    }
    return !home || std::string(config).rfind(std::string(home) + "/.config", 0) != 0;
}

// The settings key, and the three default phases' delays when an interval is asked for. False when they
// could not be stored: the run would then measure something else.
bool seedSettings(int interval)
{
    CRegistry registry;
    // False also for a key left by an earlier run; the open below tells whether it is there.
    (void)registry.CreateKey(dawdlex::kSettingsKey);
    if (!registry.OpenKey(dawdlex::kSettingsKey)) {
        return false;
    }
    for (int phase = 0; interval > 0 && phase < 3; ++phase) {
        if (!registry.WriteString(std::to_string(interval), "Speed" + std::to_string(phase))) {
            return false;
        }
    }
    return true;
}

double microsecondsSince(SystemClock::time_point start)
{
    return std::chrono::duration<double, std::micro>(SystemClock::now() - start).count();
}

SystemClock::time_point processStart()
{
    if (const char* t0 = std::getenv("DAWDLEX_BENCH_T0")) {
        // As bash's EPOCHREALTIME gives it: seconds with a decimal point.
        const double seconds = std::atof(t0);
        if (seconds > 0) {
            return SystemClock::time_point(
                std::chrono::duration_cast<SystemClock::duration>(std::chrono::duration<double>(seconds)));
        }
    }
    return SystemClock::now();
}

// Stamps the first expose of the main window's native window.
class ExposeWatch : public QObject
{
public:
    ExposeWatch(QWidget& window, SystemClock::time_point start) : m_window(window), m_start(start) {}
    double shownAfterUs = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (shownAfterUs < 0 && event->type() == QEvent::Expose && watched == m_window.windowHandle() &&
            m_window.windowHandle()->isExposed()) {
            shownAfterUs = microsecondsSince(m_start);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& m_window;
    SystemClock::time_point m_start;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(std::lround(fraction * double(values.size() - 1)));
    return values[index];
}

double ms(TickRecorder::Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void report(const std::vector<TickRecorder::Sample>& samples, int interval,
            TickRecorder::Clock::time_point end)
{
    constexpr int kCycle = 41;
    std::vector<double> errors;
    std::vector<double> phaseErrors;
    long ticks = 0;
    std::size_t firstPhase = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        errors.push_back(std::abs(ms(samples[i].time - samples[i - 1].time) - interval));
        const int advanced =
            ((samples[i].position - samples[i - 1].position) % (kCycle * kCycle) + kCycle * kCycle) %
            (kCycle * kCycle);
        ticks += advanced;
        // A sample whose position is a multiple of 41 comes just before a tick that enters a phase.
        if (samples[i].position % kCycle != 0) {
            continue;
        }
        if (firstPhase != 0) {
            const double duration = ms(samples[i].time - samples[firstPhase].time);
            phaseErrors.push_back(100.0 * std::abs(duration - kCycle * interval) / (kCycle * interval));
        }
        firstPhase = i;
    }
    const double span = samples.size() > 1 ? ms(samples.back().time - samples.front().time) : 0;
    // Ticks due from the first one seen to the end of the run.
    const double expectedTicks = samples.empty() ? 0 : ms(end - samples.front().time) / interval + 1;
    const double drift =
        ticks > 0 ? 100.0 * (span - double(ticks) * interval) / (double(ticks) * interval) : NAN;
    std::printf("interval_ms=%d events=%zu ticks=%ld expected_ticks=%.0f tick_count_error_pct=%.3f "
                "err_median_ms=%.4f err_p99_ms=%.4f err_max_ms=%.3f phases=%zu phase_err_median_pct=%.4f "
                "phase_err_max_pct=%.4f drift_pct=%.5f span_ms=%.1f ",
                interval, samples.size(), ticks, expectedTicks,
                100.0 * (double(ticks) - expectedTicks) / expectedTicks, percentile(errors, 0.5),
                percentile(errors, 0.99), percentile(errors, 1.0), phaseErrors.size(),
                percentile(phaseErrors, 0.5), percentile(phaseErrors, 1.0), drift, span);
}

double cpuMsSoFar()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3 +
           (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) / 1e3;
}

// Steady-state CPU from the warm mark to the end, apart from the start-up's own cost.
void reportUsage(double warmCpuMs, double warmWallMs)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpuMs = cpuMsSoFar();
    std::printf("cpu_total_ms=%.1f startup_cpu_ms=%.1f steady_wall_ms=%.0f cpu_pct=%.3f maxrss_kb=%ld", cpuMs,
                warmCpuMs, warmWallMs, 100.0 * (cpuMs - warmCpuMs) / warmWallMs, usage.ru_maxrss);
}

void dumpSamples(const std::vector<TickRecorder::Sample>& samples, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file || samples.empty()) {
        return;
    }
    for (const auto& sample : samples) {
        std::fprintf(file, "%.4f %d\n", ms(sample.time - samples.front().time), sample.position);
    }
    std::fclose(file);
}

int settingsIo(int rounds)
{
    dawdlex::OptionsWindow options;
    options.loadStoredSettings();
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = TickRecorder::Clock::now();
        options.loadStoredSettings();
        options.saveStoredSettings();
        times.push_back(ms(TickRecorder::Clock::now() - start));
    }
    std::printf("getreg_setreg_median_ms=%.4f getreg_setreg_max_ms=%.4f\n", percentile(times, 0.5),
                percentile(times, 1.0));
    return 0;
}

int floorRun(SystemClock::time_point start, double mainAfterUs, double seconds)
{
    QWidget window;
    window.setFixedSize(433, 134);
    ExposeWatch expose(window, start);
    qApp->installEventFilter(&expose);
    window.show();
    double warmCpuMs = 0;
    auto warmTime = TickRecorder::Clock::now();
    QTimer::singleShot(kWarmUpMs, qApp, [&] {
        warmCpuMs = cpuMsSoFar();
        warmTime = TickRecorder::Clock::now();
    });
    QTimer::singleShot(int(seconds * 1000), qApp, [] { qApp->exit(0); });
    QApplication::exec();
    std::printf("platform=%s main_us=%.0f shown_us=%.0f ", qPrintable(QGuiApplication::platformName()),
                mainAfterUs, expose.shownAfterUs);
    reportUsage(warmCpuMs, ms(TickRecorder::Clock::now() - warmTime));
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const SystemClock::time_point start = processStart();
    const double mainAfterUs = microsecondsSince(start);
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--interval MS] [--seconds S] [--settings-io N]\n", argv[0]);
        return 2;
    }
    if (!configHomeIsSafe()) {
        std::fprintf(stderr, "set XDG_CONFIG_HOME to a folder of the benchmark's own\n");
        return 2;
    }
    if (!options.floor && !seedSettings(options.interval)) {
        std::fprintf(stderr, "could not store the settings in the registry\n");
        return 1;
    }
    if (options.seedOnly) {
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dawdlex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dawdlex/gear.svg")));
    if (options.settingsRounds > 0) {
        return settingsIo(options.settingsRounds);
    }

    if (options.floor) {
        return floorRun(start, mainAfterUs, options.seconds);
    }

    dawdlex::ProgressWindow form;
    ExposeWatch expose(form, start);
    app.installEventFilter(&expose);
    double firstTickUs = -1;
    QObject::connect(form.tickTimer(), &QTimer::timeout, &form, [&] {
        if (firstTickUs < 0) {
            firstTickUs = microsecondsSince(start);
        }
    });
    TickRecorder recorder(form.tickTimer(), [&form] {
        return form.run().secondBarStep() * dawdlex::ProgressRun::kCycle + form.run().firstBarStep();
    });

    form.start();
    form.show();
    const auto runStart = TickRecorder::Clock::now();
    QTimer::singleShot(int(options.seconds * 1000), &app, [&app] { app.exit(0); });
    double warmCpuMs = 0;
    auto warmTime = runStart;
    QTimer::singleShot(kWarmUpMs, &app, [&] {
        warmCpuMs = cpuMsSoFar();
        warmTime = TickRecorder::Clock::now();
    });
    app.exec();
    const auto runEnd = TickRecorder::Clock::now();

    std::printf("platform=%s main_us=%.0f shown_us=%.0f first_tick_us=%.0f ",
                qPrintable(QGuiApplication::platformName()), mainAfterUs, expose.shownAfterUs, firstTickUs);
    if (!options.dump.empty()) {
        dumpSamples(recorder.samples(), options.dump);
    }
    const int interval = options.interval > 0 ? options.interval : form.tickTimer()->interval();
    report(recorder.samples(), interval, runEnd);
    reportUsage(warmCpuMs, ms(runEnd - warmTime));
    std::printf("\n");
    return 0;
}

#!/usr/bin/env python3
"""Turns one scripts/bench run's raw results into the figures section of docs/performance.md.

Usage: report.py RESULTS_DIR MODE RUNS OUT_FILE

The section between the figures markers is replaced; the text around it is kept, so the page's own
explanations stay where they are.
"""
import json
import os
import platform
import statistics
import subprocess
import sys

BEGIN = "<!-- figures:begin -->"
END = "<!-- figures:end -->"

REGISTRY = [
    # name, label, target (per call, us), reference (us)
    ("BM_ValueSet", "Value set (RegSetValueExA, short text, 64 names)", 15, 40),
    ("BM_ValueQuery", "Value query (RegQueryValueExA, short text, 64 names)", 3, 40),
    ("BM_KeyOpenClose", "Key open + close (RegOpenKeyExA + RegCloseKey, 2,000 subkeys)", 5, 80),
    ("BM_KeyCreate/iterations:2000", "Key create (RegCreateKeyExA + RegCloseKey, 2,000 subkeys)", 25, 80),
    ("BM_KeyDelete/iterations:2000", "Key delete (RegDeleteKeyA, 2,000 subkeys)", 30, 120),
]


def kv_lines(path):
    """Each line of name=value pairs as a dict of floats (text values kept as text)."""
    rows = []
    if not os.path.exists(path):
        return rows
    with open(path) as f:
        for line in f:
            row = {}
            for item in line.split():
                if "=" not in item:
                    continue
                key, value = item.split("=", 1)
                try:
                    row[key] = float(value)
                except ValueError:
                    row[key] = value
            if row:
                rows.append(row)
    return rows


def column(rows, key, scale=1.0, absolute=False):
    values = []
    for row in rows:
        value = row.get(key)
        if isinstance(value, float) and value == value:
            values.append(abs(value) * scale if absolute else value * scale)
    return values


def fmt(value):
    if value is None:
        return "–"
    if abs(value) >= 100:
        return f"{value:.0f}"
    if abs(value) >= 10:
        return f"{value:.1f}"
    if abs(value) >= 1:
        return f"{value:.2f}"
    return f"{value:.3f}"


def triple(values):
    if not values:
        return ["–", "–", "–", "0"]
    return [fmt(min(values)), fmt(statistics.median(values)), fmt(max(values)), str(len(values))]


def verdict(values, target, lower_is_better=True):
    if not values or target is None:
        return ""
    median = statistics.median(values)
    met = median <= target if lower_is_better else median >= target
    return "met" if met else "**missed**"


def registry_rows(results, name="registry.json"):
    path = os.path.join(results, name)
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    by_name = {}
    for bench in data.get("benchmarks", []):
        if bench.get("run_type") != "iteration":
            continue
        unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[bench.get("time_unit", "ns")]
        by_name.setdefault(bench["run_name"], []).append(bench["real_time"] * unit)
        by_name.setdefault(bench["run_name"] + "/cpu", []).append(bench["cpu_time"] * unit)
    return by_name


# dawdlex-reg's verbs on big keys: (benchmark name, label, target in ms).
REGTOOL = [
    ("BM_QueryKeyOf10000Values/iterations:3", "query of a key with 10,000 values", 500),
    ("BM_DeleteAllOf10000Values/iterations:3", "delete /va of 10,000 values", 1000),
    ("BM_ImportFileOf10000Values/iterations:3", "import of a .reg file with 10,000 values", 2000),
    ("BM_QueryTreeOf1000KeysWith10Values/iterations:3", "query /s of 1,000 keys with 10 values each", 500),
    ("BM_ImportDeletingKeysOf1000/iterations:3", "import of a .reg file deleting 1,000 sibling keys", None),
]


def regtool_lines(results):
    """The table of dawdlex-reg's figures (ms per command, wall clock and CPU)."""
    rows = registry_rows(results, "regtool.json")
    lines = ["| Figure | Target | min | median | max | n | CPU median | Verdict |",
             "|---|---|---|---|---|---|---|---|"]
    for name, label, target in REGTOOL:
        values = [v * 1e-3 for v in rows.get(name, [])]
        cpu = [v * 1e-3 for v in rows.get(name + "/cpu", [])]
        cpu_text = fmt(statistics.median(cpu)) if cpu else "–"
        target_text = f"≤ {target:,}" if target else "–"
        lines.append(f"| {label} | {target_text} | " + " | ".join(triple(values)) +
                     f" | {cpu_text} | {verdict(values, target)} |")
    return lines


def machine():
    cpu = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    cores = os.cpu_count()
    try:
        qt = subprocess.run(["dpkg-query", "-W", "-f=${Version}\n", "libqt6core6"], capture_output=True,
                            text=True).stdout.split("\n")[0]
        sqlite = subprocess.run(["dpkg-query", "-W", "-f=${Version}\n", "libsqlite3-0"], capture_output=True,
                                text=True).stdout.split("\n")[0]
    except OSError:
        qt = sqlite = "?"
    return f"{cpu}, {cores} cores; Linux {platform.release()}; Qt {qt}; SQLite {sqlite}"


def main():
    results, mode, runs, out = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
    lines = []
    add = lines.append
    def loads(name):
        path = os.path.join(results, name)
        if not os.path.exists(path):
            return ""
        with open(path) as f:
            return " → ".join(line.split("load average:")[-1].strip() for line in f if line.strip())

    load = loads("load.txt")
    add(f"Figures of `scripts/bench --{mode}` ({runs} runs each unless the n column says otherwise), "
        f"taken {os.path.basename(results)}.")
    add("")
    add(f"- Machine: {machine()}.")
    add(f"- Load average (1, 5, 15 min) when the run began → ended: {load}.")
    add("")

    header = "| Figure | Target | min | median | max | n | Verdict |"
    rule = "|---|---|---|---|---|---|---|"

    add("### Registry (wall-clock time per call, µs; CPU time beside it, which load does not inflate)")
    add("")
    add("Reproduce: `build/bench/dawdlex-registry-bench --benchmark_repetitions=5`; "
        "each repetition is one sample.")
    registry_load = loads("registry-load.txt")
    if registry_load:
        add("")
        add(f"These registry figures come from a separate run of the registry program alone, after the full run "
            f"(load average {registry_load}).")
    add("")
    add("| Figure | Target | min | median | max | n | CPU median | vs. reference | Verdict |")
    add("|---|---|---|---|---|---|---|---|---|")
    registry = registry_rows(results)
    for name, label, target, reference in REGISTRY:
        values = registry.get(name, [])
        cpu = registry.get(name + "/cpu", [])
        cpu_text = fmt(statistics.median(cpu)) if cpu else "–"
        speedup = f"{reference / statistics.median(values):.1f}x faster than {reference} µs" if values else "–"
        add(f"| {label} | ≤ {target} | " + " | ".join(triple(values)) + f" | {cpu_text} | {speedup} | "
            f"{verdict(values, target)} |")
    enum = registry.get("BM_EnumValues1000", [])
    add(f"| Listing 1,000 values (RegEnumValueA, names and data), per listing | – | " +
        " | ".join(triple(enum)) + " | – | – | |")
    getreg = registry.get("BM_LoadSettingsCalls", [])
    setreg = registry.get("BM_SaveSettingsCalls", [])
    both = [g + s for g, s in zip(getreg, setreg)]
    add("| loadSettings's registry calls (OpenKey + 16 ReadString) | – | " + " | ".join(triple(getreg)) + " | – | – | |")
    add("| saveSettings's registry calls (OpenKey + 16 WriteString) | – | " + " | ".join(triple(setreg)) + " | – | – | |")
    add("| Both together | ≤ 2,000 | " + " | ".join(triple(both)) + f" | – | – | {verdict(both, 2000)} |")
    rename = [v * 1e-3 for v in registry.get("BM_RenameKeyTree/iterations:2", [])]
    add("| RenameKey of a 1,000-key tree, 4 values per key (ms) | ≤ 1,000 | " + " | ".join(triple(rename)) +
        f" | – | – | {verdict(rename, 1000)} |")
    add("")

    add("### dawdlex-reg on big keys (wall-clock time per command, ms; CPU time beside it)")
    add("")
    add("Reproduce: `build/bench/dawdlex-regtool-bench --benchmark_repetitions=5`; each repetition is the "
        "mean of 3 commands, run in-process on a store in a temporary folder; filling the key and writing "
        "the file are not timed.")
    add("")
    for line in regtool_lines(results):
        add(line)
    add("")

    settings = kv_lines(os.path.join(results, "settings.txt"))
    add("### Settings on the real Options window")
    add("")
    add("Reproduce: `QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$(mktemp -d) "
        "build/bench/dawdlex-tick-bench --settings-io 200` (median of 200 rounds per run).")
    add("")
    add(header)
    add(rule)
    values = column(settings, "getreg_setreg_median_ms")
    add("| loadSettings + saveSettings with the real controls (ms) | ≤ 2 | " + " | ".join(triple(values)) +
        f" | {verdict(values, 2)} |")
    add("")

    add("### Ticks (the real main window, tick times from the program's own clock)")
    add("")
    add("Reproduce: `XDG_CONFIG_HOME=$(mktemp -d) build/bench/dawdlex-tick-bench --interval MS "
        "--seconds S` under `xvfb-run` (xcb) or with `QT_QPA_PLATFORM=offscreen`.")
    add("")
    add("| Figure | Target | min | median | max | n | Verdict |")
    add(rule)
    for platform_name in ("xcb", "offscreen"):
        t50 = kv_lines(os.path.join(results, f"ticks-{platform_name}-50.txt"))
        t1 = kv_lines(os.path.join(results, f"ticks-{platform_name}-1.txt"))
        seconds = int(statistics.median(column(t50, "span_ms")) / 1000) if t50 else 0
        label = f"{platform_name}, {seconds} s runs"
        rows = [
            (f"50 ms: median abs. interval error (ms), {label}", column(t50, "err_median_ms"), 0.25),
            (f"50 ms: 99th percentile abs. interval error (ms), {label}", column(t50, "err_p99_ms"), 1.0),
            (f"50 ms: worst 41-tick phase vs. 41 x 50 ms (%), {label}", column(t50, "phase_err_max_pct"), 0.5),
            (f"50 ms: drift over the run (%), {label}", column(t50, "drift_pct", absolute=True), 0.05),
            (f"1 ms: ticks counted vs. due (% off), {label}", column(t1, "tick_count_error_pct", absolute=True),
             1.0),
            (f"1 ms: median 41-tick phase vs. 41 ms (%), {label}", column(t1, "phase_err_median_pct"), None),
            (f"1 ms: drift over the run (%), {label}", column(t1, "drift_pct", absolute=True), None),
        ]
        for text, values, target in rows:
            target_text = f"≤ {target}" if target is not None else "–"
            add(f"| {text} | {target_text} | " + " | ".join(triple(values)) + f" | {verdict(values, target)} |")
    drift = kv_lines(os.path.join(results, "drift-600.txt"))
    if drift:
        values = column(drift, "drift_pct", absolute=True)
        add("| 50 ms: drift after 10 minutes (%), xcb | ≤ 0.05 | " + " | ".join(triple(values)) +
            f" | {verdict(values, 0.05)} |")
    add("")

    add("### Cost of running")
    add("")
    add("CPU is the whole process's (every thread's) CPU time per wall-clock second, from 2 s after start "
        "to the end of the run, so start-up's own work is left out; start-up's CPU is shown apart. Peak "
        "memory is VmHWM. The real program: `build/app/dawdlex` under Xvfb with a seeded store; "
        "the harness: as above.")
    add("")
    add(header)
    add(rule)
    prog0 = kv_lines(os.path.join(results, "program-0.txt"))
    prog1 = kv_lines(os.path.join(results, "program-1.txt"))
    t1 = kv_lines(os.path.join(results, "ticks-xcb-1.txt"))
    floor = kv_lines(os.path.join(results, "floor.txt"))
    startup = kv_lines(os.path.join(results, "startup.txt"))
    t50 = kv_lines(os.path.join(results, "ticks-xcb-50.txt"))
    rows = [
        ("CPU at the default settings, real program (% of a core)", column(prog0, "cpu_pct"), 0.5),
        ("CPU at 1 ms delays, real program (% of a core)", column(prog1, "cpu_pct"), 8.0),
        ("CPU at 1 ms delays, harness on xcb (% of a core)", column(t1, "cpu_pct"), 8.0),
        ("Peak resident memory, real program at the default settings (MB)",
         column(prog0, "maxrss_kb", 1 / 1024), 35),
        ("Peak resident memory, real program at 1 ms (MB)", column(prog1, "maxrss_kb", 1 / 1024), 35),
        ("Start-up: process start to the window's MapNotify, real program, warm (ms)",
         column(startup, "map_ms"), 100),
        ("Start-up: exec to the first expose, harness on xcb (ms)", column(t50, "shown_us", 1e-3), 100),
        ("Start-up: exec to the first tick at 50 ms, harness on xcb (ms)", column(t50, "first_tick_us", 1e-3),
         None),
        ("Start-up CPU, harness on xcb (ms)", column(t50, "startup_cpu_ms"), None),
        ("Floor: empty Qt window of the same size, exec to first expose (ms)", column(floor, "shown_us", 1e-3),
         None),
        ("Floor: empty Qt window, peak resident memory (MB)", column(floor, "maxrss_kb", 1 / 1024), None),
        ("Floor: empty Qt window, CPU when idle (% of a core)", column(floor, "cpu_pct"), None),
    ]
    for text, values, target in rows:
        target_text = f"≤ {target}" if target is not None else "–"
        add(f"| {text} | {target_text} | " + " | ".join(triple(values)) + f" | {verdict(values, target)} |")
    add("")

    section = "\n".join(lines)
    text = ""
    if os.path.exists(out):
        with open(out) as f:
            text = f.read()
    if BEGIN in text and END in text:
        before = text[: text.index(BEGIN) + len(BEGIN)]
        after = text[text.index(END):]
        text = before + "\n" + section + "\n" + after
    else:
        text = "# Performance\n\n" + BEGIN + "\n" + section + "\n" + END + "\n"
    with open(out, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()

#include "SettingsStore.h"

#include "Conversions.h"
#include "CRegistry.h"

#include <algorithm>
#include <optional>
#include <string>

namespace dawdlex {

namespace {

std::string statusName(std::size_t phase)
{
    return "Status" + std::to_string(phase);
}

std::string speedName(std::size_t phase)
{
    return "Speed" + std::to_string(phase);
}

// A stored text up to its first NUL character, so that a text saved empty (stored as a single NUL) comes
// back empty. No result for a value that is missing, unreadable or empty.
std::optional<std::string> storedText(CRegistry& registry, const std::string& name)
{
    std::string stored = registry.ReadString(name);
    if (stored.empty()) {
        return std::nullopt;
    }
    stored.resize(std::min(stored.find('\0'), stored.size()));
    return stored;
}

void loadText(CRegistry& registry, const std::string& name, std::string& setting)
{
    if (auto text = storedText(registry, name)) {
        setting = std::move(*text);
    }
}

// Only 0 and 1 are check-box values, by the strict conversion.
void loadCheck(CRegistry& registry, const char* name, bool& setting)
{
    const auto text = storedText(registry, name);
    if (!text) {
        return;
    }
    const auto value = toWhole16(*text);
    if (value == 0 || value == 1) {
        setting = *value == 1;
    }
}

// The stored index, read leniently and rounded; an index outside the list is not taken.
void loadIcon(CRegistry& registry, int& setting)
{
    const auto text = storedText(registry, "Icon");
    if (!text) {
        return;
    }
    const auto index = toLenientWhole16(*text);
    if (index && *index >= 0 && *index < Settings::kIconCount) {
        setting = *index;
    }
}

void loadDelay(CRegistry& registry, const std::string& name, std::string& setting)
{
    if (const auto text = storedText(registry, name)) {
        setting = correctedDelay(*text).value_or(*text);
    }
}

void loadValues(CRegistry& registry, Settings& settings)
{
    loadText(registry, "Title", settings.title);
    loadCheck(registry, "Dual", settings.dualBars);
    loadCheck(registry, "Saver", settings.disableScreenSaver);
    loadIcon(registry, settings.icon);
    loadText(registry, "CustIconPath", settings.customIconPath);
    loadText(registry, "ButtonText", settings.buttonText);
    for (std::size_t i = 0; i < Settings::kPhaseCount; ++i) {
        loadText(registry, statusName(i), settings.statuses[i]);
        loadDelay(registry, speedName(i), settings.delays[i]);
    }
}

} // namespace

SettingsLoad loadSettings(Settings& settings)
{
    CRegistry registry;
    if (registry.OpenKey(kSettingsKey)) {
        loadValues(registry, settings);
        return SettingsLoad::Loaded;
    }
    if (registry.CreateKey(kSettingsKey)) {
        return SettingsLoad::KeyCreated;
    }
    return SettingsLoad::KeyUnavailable;
}

bool saveSettings(const Settings& settings)
{
    CRegistry registry;
    if (!registry.OpenKey(kSettingsKey)) {
        return false;
    }
    bool allWritten = true;
    const auto write = [&](const std::string& text, const std::string& name) {
        allWritten = registry.WriteString(text, name) && allWritten;
    };
    write(settings.title, "Title");
    for (std::size_t i = 0; i < Settings::kPhaseCount; ++i) {
        write(settings.statuses[i], statusName(i));
        write(settings.delays[i], speedName(i));
    }
    write(settings.dualBars ? "1" : "0", "Dual");
    write(settings.disableScreenSaver ? "1" : "0", "Saver");
    write(std::to_string(settings.icon), "Icon");
    write(settings.customIconPath, "CustIconPath");
    write(settings.buttonText, "ButtonText");
    return allWritten;
}

} // namespace dawdlex

#include "options/SettingsPersistence.h"

#include "core/Conversions.h"
#include "options/OptionsWindow.h"
#include "options/MessageBoxes.h"
#include "registry/CRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <optional>
#include <string>

namespace dawdlex {

namespace {

constexpr char kWelcome[] = "Welcome to the Dawdlex.  Click on the gear icon for options.  Enjoy!";
constexpr char kKeyError[] = "Error creating registry key";

constexpr int kIconEntries = 8;

std::string statusName(std::size_t phase)
{
    return "Status" + std::to_string(phase);
}

std::string speedName(std::size_t phase)
{
    return "Speed" + std::to_string(phase);
}

// A stored text as a control sees it: up to its first NUL character, so that a text saved empty (stored
// as a single NUL) comes back empty. No result for a value that is missing or unreadable.
std::optional<QString> storedText(CRegistry& registry, const char* name)
{
    const std::string stored = registry.ReadString(name);
    if (stored.empty()) {
        return std::nullopt;
    }
    const std::size_t end = std::min(stored.find('\0'), stored.size());
    return QString::fromUtf8(stored.data(), qsizetype(end));
}

void loadText(CRegistry& registry, const char* name, QLineEdit* box)
{
    if (const auto text = storedText(registry, name)) {
        box->setText(*text);
    }
}

// Only 0 and 1 are check-box values; anything else keeps the box as it is.
void loadCheck(CRegistry& registry, const char* name, QCheckBox* box)
{
    const auto text = storedText(registry, name);
    if (!text) {
        return;
    }
    const auto value = toWhole16(text->toStdString());
    if (value == 0 || value == 1) {
        box->setChecked(*value == 1);
    }
}

// The stored index, read leniently and rounded; an index outside the list (no selection included) keeps
// the selection as it is.
void loadIcon(CRegistry& registry, QComboBox* list)
{
    const auto text = storedText(registry, "Icon");
    if (!text) {
        return;
    }
    const auto index = toLenientWhole16(text->toStdString());
    if (index && *index >= 0 && *index < kIconEntries) {
        list->setCurrentIndex(*index);
    }
}

void loadValues(CRegistry& registry, OptionsWindow& form2)
{
    loadText(registry, "Title", form2.titleEdit);
    loadCheck(registry, "Dual", form2.dualBarsCheck);
    loadCheck(registry, "Saver", form2.disableSaverCheck);
    loadIcon(registry, form2.iconChoice);
    loadText(registry, "CustIconPath", form2.customIconPathEdit);
    loadText(registry, "ButtonText", form2.buttonTextEdit);
    for (std::size_t i = 0; i < form2.statusEdits.size(); ++i) {
        loadText(registry, statusName(i).c_str(), form2.statusEdits[i]);
        loadText(registry, speedName(i).c_str(), form2.delayEdits[i]);
    }
}

void saveText(CRegistry& registry, const std::string& name, const QLineEdit* box)
{
    registry.WriteString(box->text().toStdString(), name);
}

void saveNumber(CRegistry& registry, const std::string& name, int value)
{
    registry.WriteString(std::to_string(value), name);
}

} // namespace

void loadSettings(OptionsWindow& form2)
{
    CRegistry registry;
    if (registry.OpenKey(kSettingsKey)) {
        loadValues(registry, form2);
        return;
    }
    if (registry.CreateKey(kSettingsKey)) {
        showMessageBox(QString::fromLatin1(kWelcome), MessageSymbol::Information);
        return;
    }
    showMessageBox(QString::fromLatin1(kKeyError), MessageSymbol::Warning);
}

void saveSettings(const OptionsWindow& form2)
{
    CRegistry registry;
    if (!registry.OpenKey(kSettingsKey)) {
        return;
    }
    saveText(registry, "Title", form2.titleEdit);
    for (std::size_t i = 0; i < form2.statusEdits.size(); ++i) {
        saveText(registry, statusName(i), form2.statusEdits[i]);
        saveText(registry, speedName(i), form2.delayEdits[i]);
    }
    saveNumber(registry, "Dual", form2.dualBarsCheck->isChecked() ? 1 : 0);
    saveNumber(registry, "Saver", form2.disableSaverCheck->isChecked() ? 1 : 0);
    saveNumber(registry, "Icon", form2.iconChoice->currentIndex());
    saveText(registry, "CustIconPath", form2.customIconPathEdit);
    saveText(registry, "ButtonText", form2.buttonTextEdit);
}

} // namespace dawdlex

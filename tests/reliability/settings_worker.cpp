// One run of the program's settings life in a process of its own: load the stored settings into a fresh
// Options window, change every control to variant A or B, and save, optionally with the disk full from
// the moment after loading. Usage: reliability_settings_worker A|B [full|nearly-full]
// Exit status 0 when the run ended normally and the save said nothing to the user.
#include "OptionsWindow.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"

#include <winreg_store.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <string>

using namespace dawdlex;

namespace {

void setVariant(OptionsWindow& form, bool b)
{
    const QString tag = b ? QStringLiteral("B") : QStringLiteral("A");
    form.titleEdit()->setText(QStringLiteral("message ") + tag);
    form.buttonTextEdit()->setText(QStringLiteral("button ") + tag);
    form.customIconPathEdit()->setText(QStringLiteral("/icons/") + tag + QStringLiteral(".ico"));
    for (int i = 0; i < 5; ++i) {
        form.statusEdits()[i]->setText(QStringLiteral("phase %1 %2").arg(i).arg(tag));
        form.delayEdits()[i]->setText(QString::number((b ? 200 : 100) + i));
    }
    form.dualBarsCheck()->setChecked(b);
    form.iconChoice()->setCurrentIndex(b ? 2 : 1);
}

off_t fileSize(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// No file of this process may grow past `limit` bytes from now on.
bool limitFileSize(rlim_t limit)
{
    struct rlimit current = {};
    if (::getrlimit(RLIMIT_FSIZE, &current) != 0)
        return false;
    current.rlim_cur = limit;
    return ::setrlimit(RLIMIT_FSIZE, &current) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
        return 2;
    const bool variantB = std::string(argv[1]) == "B";
    const std::string disk = argc == 3 ? argv[2] : "";
    std::signal(SIGXFSZ, SIG_IGN);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int messagesWhileSaving = 0;
    bool saving = false;
    DesktopServices seams;
    seams.showMessage = [&](const QString& text, MessageSymbol) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        messagesWhileSaving += saving ? 1 : 0;
    };
    seams.setScreenSaverActive = [](bool) { return true; };
    seams.openUrl = [](const QString&) {};
    seams.browseForFile = [](const QString&, const QString&, const QString&, quint32, QWidget*) {
        return QString();
    };
    OptionsWindow form(seams);
    form.loadStoredSettings();
    setVariant(form, variantB);

    const std::string wal = std::string(RegStorePath()) + "-wal";
    if (disk == "full" && !limitFileSize(0))
        return 1;
    // Room for a few of the sixteen writes, not all of them.
    if (disk == "nearly-full" && !limitFileSize(static_cast<rlim_t>(fileSize(wal)) + 3 * 4200))
        return 1;
    saving = true;
    form.saveStoredSettings();
    return messagesWhileSaving == 0 ? 0 : 3;
}

#pragma once

#include "DesktopServices.h"
#include "MainWindowLink.h"
#include "ProgressRun.h"
#include "TickSchedule.h"

#include <QPixmap>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace dawdlex {

class FramePacer;
class TimerAlignment;
class OptionsWindow;
class PictureBox;

// The main window: it starts the whole program (start), shows the progress run that its timer drives,
// opens the Options window from its icon and ends the program. It owns the Options window and the run; the
// settings themselves are the Options window's, which the run reads at every change of phase.
class ProgressWindow : public QWidget, public MainWindowLink, private ProgressDisplay
{
    Q_OBJECT

public:
    // `seams` are handed to the Options window when start creates it.
    explicit ProgressWindow(DesktopServices seams = DesktopServices::platformDefaults(),
                            QWidget* parent = nullptr);
    ~ProgressWindow() override;

    // The controls and the timer, for tests that drive the window as a user would.
    QLabel* statusLabel() const { return m_statusLabel; }
    const std::array<QProgressBar*, 2>& bars() const { return m_bars; }
    PictureBox* iconPicture() const { return m_iconPicture; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QTimer* tickTimer() const { return m_tickTimer; }

    // The Options window; null until start has run.
    OptionsWindow* options() const { return m_options.get(); }
    const ProgressRun& run() const { return m_run; }

    // Start-up: loads the Options window and the settings, starts the run and applies the settings here.
    // Call once, before the window is first shown.
    void start();
    // Writes what the Options window holds to the store; endProgram does it once on the way out, and the
    // program calls it alone when the window system is gone.
    void saveSettings();
    // Saves the settings and ends the program; runs once, however many close requests arrive.
    void endProgram();
    void onTick();
    void onIconClicked();
    void onCancelClicked();

    // MainWindowLink: what the Options window's Apply sets here.
    std::int32_t currentPhase() const override;
    void setStatusCaption(const QString& text) override;
    void setTimerInterval(std::int32_t milliseconds) override;
    void setWindowCaption(const QString& text) override;
    void setButtonCaption(const QString& text) override;
    void setSecondBarVisible(bool visible) override;
    void showBuiltInIcon(int index) override;
    bool showIconFile(const QString& path) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Copies the stored settings into the Options window; runs once per program run.
    void loadSettings();

    // ProgressDisplay.
    void showPhaseMessage(const std::string& text) override;
    void setTickInterval(std::int32_t milliseconds) override;
    void showBarValue(int bar, float value) override;

    void buildControls();
    void loadBuiltInIcons();
    void enableTimer();
    // Starts the tick timer at its interval, with the schedules that follow it.
    void startTickTimer();
    // The tick timer's event: the ticks it owes, so that the run keeps its rhythm when the event loop was
    // late.
    void onTimerFired();

    QLabel* m_statusLabel = nullptr;
    std::array<QProgressBar*, 2> m_bars{};
    PictureBox* m_iconPicture = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTimer* m_tickTimer = nullptr;
    DesktopServices m_seams;
    std::unique_ptr<OptionsWindow> m_options;
    ProgressRun m_run;
    std::array<QPixmap, 7> m_builtInIcons;
    TickSchedule m_schedule;
    FramePacer* m_pacer = nullptr;
    TimerAlignment* m_alignment = nullptr;
    bool m_timerEnabled = false;
    bool m_unloaded = false;
    bool m_centred = false;
};

} // namespace dawdlex

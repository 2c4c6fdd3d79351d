#pragma once

#include "Settings.h"
#include "DesktopServices.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dawdlex {

class MainWindowLink;
class PictureBox;

// The Options window: the program's settings and the controls that edit them, kept equal on every change.
// It lives for the whole run, since closing it only hides it. Apply pushes the settings to the main window
// through a MainWindowLink and stores nothing; the store itself is SettingsStore's.
class OptionsWindow : public QWidget
{
    Q_OBJECT

public:
    // Builds the window hidden, with every setting at its default, and runs fillIconList.
    explicit OptionsWindow(DesktopServices seams = DesktopServices::platformDefaults(),
                           QWidget* parent = nullptr);

    // The main window Apply acts on; without one Apply does nothing. Not owned.
    void setMainWindow(MainWindowLink* mainWindow) { m_mainWindow = mainWindow; }

    // What the controls hold. Messages and delays are read from here by the progress run as they change;
    // the rest reaches the main window on Apply.
    const Settings& settings() const { return m_settings; }

    // Puts `settings` into the controls, which react as to a user's change: delay boxes correct
    // themselves, a ticked screen-saver box switches the screen saver off.
    void showSettings(const Settings& settings);

    // Loads the stored settings into the controls. A first start welcomes the user; a key that can be
    // neither opened nor created gives a warning; in both cases every control keeps what it held.
    void loadStoredSettings();
    // Stores what the controls hold; says nothing when that fails.
    void saveStoredSettings() const;

    // The controls, for tests that drive the window as a user would.
    QLineEdit* titleEdit() const { return m_titleEdit; }
    QLineEdit* buttonTextEdit() const { return m_buttonTextEdit; }
    QLineEdit* customIconPathEdit() const { return m_customIconPathEdit; }
    const std::array<QLineEdit*, 5>& statusEdits() const { return m_statusEdits; }
    const std::array<QLineEdit*, 5>& delayEdits() const { return m_delayEdits; }
    QCheckBox* dualBarsCheck() const { return m_dualBarsCheck; }
    QCheckBox* disableSaverCheck() const { return m_disableSaverCheck; }
    QComboBox* iconChoice() const { return m_iconChoice; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* applyButton() const { return m_applyButton; }
    QPushButton* websiteButton() const { return m_websiteButton; }
    QPushButton* browseButton() const { return m_browseButton; }
    PictureBox* bannerPicture() const { return m_bannerPicture; }

    // Event handlers.
    void fillIconList();
    void onOkClicked();
    void onApplyClicked();
    void onWebsiteClicked();
    void onBrowseClicked();
    void onIconChoiceChanged(int index);
    void onScreenSaverToggled(bool checked);
    void onBannerClicked();
    void onDelayEdited(int phase);
    void onCloseRequested(bool& cancel);

    bool setScreenSaverActive(bool active);
    void openWebPage(const QString& address);
    void showMessage(const QString& text, MessageSymbol symbol);

    // Shows the chosen icon in the main window: a built-in picture for entries 0 to 6, the custom picture
    // file for entry 7. Returns false after warning the user when that file is missing or is
    // not a picture; the main window's picture is then left as it was. No selection changes nothing.
    bool applyChosenIcon();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildBanner();
    void buildMessagesFrame();
    void buildAppearanceFrame();
    void buildButtons();
    void setFocusOrder();
    void connectHandlers();

    DesktopServices m_seams;
    MainWindowLink* m_mainWindow = nullptr;
    Settings m_settings;
    QLineEdit* m_titleEdit = nullptr;
    QLineEdit* m_buttonTextEdit = nullptr;
    QLineEdit* m_customIconPathEdit = nullptr;
    std::array<QLineEdit*, 5> m_statusEdits{};
    std::array<QLineEdit*, 5> m_delayEdits{};
    QCheckBox* m_dualBarsCheck = nullptr;
    QCheckBox* m_disableSaverCheck = nullptr;
    QComboBox* m_iconChoice = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_applyButton = nullptr;
    QPushButton* m_websiteButton = nullptr;
    QPushButton* m_browseButton = nullptr;
    PictureBox* m_bannerPicture = nullptr;
};

// The filter the icon file chooser offers.
inline constexpr char kIconFilter[] = "Icon Images(*.ico;*.bmp;*.gif)|*.ico;*.bmp;*.gif|All files (*.*)|*.*";

} // namespace dawdlex

#pragma once

#include "options/DesktopServices.h"

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

// The Options window. Its controls are the program's live settings: it owns them for the whole run and is
// never destroyed while the program runs, since closing it only hides it. Apply pushes the settings to the
// main window through a MainWindowLink. It stores nothing; saving and loading the settings live elsewhere.
class OptionsWindow : public QWidget
{
    Q_OBJECT

public:
    // Builds the window hidden, with every setting at its default, and runs fillIconList.
    explicit OptionsWindow(DesktopServices seams = DesktopServices::platformDefaults(),
                           QWidget* parent = nullptr);

    // The main window Apply acts on; without one Apply does nothing. Not owned.
    void setMainWindow(MainWindowLink* mainWindow) { m_mainWindow = mainWindow; }

    // The controls, named as the settings they hold.
    QLineEdit* titleEdit = nullptr;
    QLineEdit* buttonTextEdit = nullptr;
    QLineEdit* customIconPathEdit = nullptr;
    std::array<QLineEdit*, 5> statusEdits{};
    std::array<QLineEdit*, 5> delayEdits{};
    QCheckBox* dualBarsCheck = nullptr;
    QCheckBox* disableSaverCheck = nullptr;
    QComboBox* iconChoice = nullptr;
    QPushButton* okButton = nullptr;      // OK
    QPushButton* applyButton = nullptr;   // Apply
    QPushButton* websiteButton = nullptr; // the website
    QPushButton* browseButton = nullptr;  // browse for a picture file
    PictureBox* bannerPicture = nullptr;  // the banner

    // Event handlers.
    void fillIconList();
    void onOkClicked();
    void onApplyClicked();
    void onWebsiteClicked();
    void onBrowseClicked();
    void onIconChoiceChanged();
    void onScreenSaverToggled();
    void onBannerClicked();
    void onDelayEdited(int Index);
    void onCloseRequested(bool& Cancel);

    bool setScreenSaverActive(bool active);
    void openWebPage(const QString& address);

    // Shows the chosen icon in the main window: a built-in picture for entries 0 to 6, the file named by
    // customIconPathEdit for entry 7. Returns false after warning the user when that file is missing or is
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
};

// The filter the icon file chooser offers.
inline constexpr char kIconFilter[] = "Icon Images(*.ico;*.bmp;*.gif)|*.ico;*.bmp;*.gif|All files (*.*)|*.*";

} // namespace dawdlex

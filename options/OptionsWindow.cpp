#include "OptionsWindow.h"

#include "Conversions.h"
#include "SettingsStore.h"
#include "MainWindowLink.h"
#include "FileExists.h"
#include "PictureBox.h"
#include "WindowFonts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace dawdlex {

namespace {

constexpr char kWelcome[] = "Welcome to the Dawdlex.  Click on the gear icon for options.  Enjoy!";
constexpr char kKeyError[] = "Error creating registry key";

constexpr std::array<const char*, 8> kIconEntries{"Gear",  "Arrow", "Scissors", "Folder",
                                                  "Files", "CD",    "Monitor",  "(Custom...)"};

QLabel* makeLabel(const QString& text, QRect geometry, FontWeight weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(dialogFont(weight));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* makeTextBox(const QString& text, QRect geometry, QWidget* parent)
{
    auto* box = new QLineEdit(text, parent);
    box->setGeometry(geometry);
    // The line edit's default cap would cut longer stored texts at the next save.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

// No button is the window's default: Enter in a text box must press nothing.
QPushButton* makeButton(const QString& text, QRect geometry, FontWeight weight, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFont(dialogFont(weight));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

OptionsWindow::OptionsWindow(DesktopServices seams, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_seams(std::move(seams))
{
    setWindowTitle(QStringLiteral("Options"));
    setWindowIcon(QIcon(QStringLiteral(":/dawdlex/gear.svg")));
    setFont(dialogFont());
    setFixedSize(589, 292);

    buildBanner();
    buildMessagesFrame();
    buildAppearanceFrame();
    buildButtons();
    setFocusOrder();
    connectHandlers();
    fillIconList();
}

void OptionsWindow::buildBanner()
{
    m_bannerPicture = new PictureBox(this);
    m_bannerPicture->setGeometry(24, 8, 233, 49);
    m_bannerPicture->setAutoFillBackground(true);
    QPalette white = m_bannerPicture->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_bannerPicture->setPalette(white);
    m_bannerPicture->setPicture(QPixmap(QStringLiteral(":/dawdlex/banner.svg")));
    m_bannerPicture->setCursor(QCursor(QPixmap(QStringLiteral(":/dawdlex/hand-point.svg")), 12, 9));
    m_bannerPicture->setFocusPolicy(Qt::TabFocus);
    m_bannerPicture->setAccessibleName(tr("Pendlewick home page"));
    m_bannerPicture->setAccessibleDescription(tr("Click to open the maker's home page in your web browser."));

    QLabel* credits = makeLabel(tr("Dawdlex is a free program by Pendlewick."), QRect(304, 32, 273, 17),
                                FontWeight::Bold, this);
    credits->setFont(creditsFont());
    QPalette blue = credits->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    credits->setPalette(blue);
}

void OptionsWindow::buildMessagesFrame()
{
    auto* messagesFrame = new QGroupBox(QStringLiteral("Change Messages:"), this);
    messagesFrame->setGeometry(24, 64, 273, 217);

    makeLabel(QStringLiteral("Title:"), QRect(8, 24, 65, 17), FontWeight::Bold, messagesFrame);
    m_titleEdit = makeTextBox(QString::fromStdString(m_settings.title), QRect(8, 40, 233, 19), messagesFrame);
    makeLabel(QStringLiteral("Status:"), QRect(8, 72, 65, 17), FontWeight::Bold, messagesFrame);
    makeLabel(QStringLiteral("Delay:"), QRect(184, 72, 41, 17), FontWeight::Bold, messagesFrame);
    for (std::size_t i = 0; i < m_statusEdits.size(); ++i) {
        const int top = 88 + 16 * int(i);
        m_statusEdits[i] = makeTextBox(QString::fromStdString(m_settings.statuses[i]), QRect(8, top, 169, 19),
                                       messagesFrame);
        m_delayEdits[i] =
            makeTextBox(QString::fromStdString(m_settings.delays[i]), QRect(184, top, 57, 19), messagesFrame);
    }
    makeLabel(QStringLiteral("Button Text:"), QRect(8, 176, 105, 17), FontWeight::Bold, messagesFrame);
    m_buttonTextEdit =
        makeTextBox(QString::fromStdString(m_settings.buttonText), QRect(8, 192, 233, 19), messagesFrame);
}

void OptionsWindow::buildAppearanceFrame()
{
    auto* appearanceFrame = new QGroupBox(QStringLiteral("Appearance:"), this);
    appearanceFrame->setGeometry(304, 64, 273, 145);

    m_dualBarsCheck = new QCheckBox(QStringLiteral("Dual progress bars"), appearanceFrame);
    m_dualBarsCheck->setGeometry(16, 24, 145, 17);
    m_dualBarsCheck->setChecked(m_settings.dualBars);
    m_disableSaverCheck = new QCheckBox(QStringLiteral("Disable Screen Saver"), appearanceFrame);
    m_disableSaverCheck->setGeometry(16, 48, 145, 17);
    m_disableSaverCheck->setChecked(m_settings.disableScreenSaver);

    makeLabel(QStringLiteral("Icon"), QRect(24, 72, 33, 17), FontWeight::Normal, appearanceFrame);
    m_iconChoice = new QComboBox(appearanceFrame);
    m_iconChoice->setGeometry(56, 72, 129, 21);
    m_iconChoice->setEditable(false);

    QLabel* customIconLabel = makeLabel(QStringLiteral("Custom Icon (32x32)"), QRect(8, 96, 49, 41),
                                        FontWeight::Normal, appearanceFrame);
    customIconLabel->setWordWrap(true);
    m_customIconPathEdit = makeTextBox(QString::fromStdString(m_settings.customIconPath),
                                       QRect(56, 104, 169, 19), appearanceFrame);

    m_browseButton = makeButton(QString(), QRect(232, 96, 25, 25), FontWeight::Normal, appearanceFrame);
    m_browseButton->setIcon(QIcon(QStringLiteral(":/dawdlex/browse.svg")));
    m_browseButton->setIconSize(QSize(16, 16));
    m_browseButton->setToolTip(tr("Choose a picture file"));
    m_browseButton->setAccessibleName(tr("Browse for a custom icon file"));
}

void OptionsWindow::buildButtons()
{
    m_websiteButton = makeButton(QStringLiteral("More Free Stuff - Visit Website"), QRect(344, 216, 193, 25),
                                 FontWeight::Normal, this);
    m_applyButton = makeButton(QStringLiteral("&Apply"), QRect(344, 256, 89, 25), FontWeight::Bold, this);
    m_okButton = makeButton(QStringLiteral("&OK"), QRect(456, 256, 81, 25), FontWeight::Bold, this);
}

void OptionsWindow::setFocusOrder()
{
    QList<QWidget*> order{m_titleEdit};
    for (std::size_t i = 0; i < m_statusEdits.size(); ++i) {
        order << m_statusEdits[i] << m_delayEdits[i];
    }
    order << m_buttonTextEdit << m_dualBarsCheck << m_disableSaverCheck << m_iconChoice
          << m_customIconPathEdit << m_browseButton << m_websiteButton << m_applyButton << m_okButton
          << m_bannerPicture;
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    // Where typing goes when the window is first activated; otherwise the banner, made first, would take it.
    m_titleEdit->setFocus(Qt::OtherFocusReason);
}

// The handlers run on every change, the program's own included, nested in the code that made it. Each
// keeps the settings equal to what its control holds.
void OptionsWindow::connectHandlers()
{
    const auto keepText = [this](QLineEdit* box, std::string& setting) {
        connect(box, &QLineEdit::textChanged, this,
                [&setting](const QString& text) { setting = text.toStdString(); });
    };
    keepText(m_titleEdit, m_settings.title);
    keepText(m_buttonTextEdit, m_settings.buttonText);
    keepText(m_customIconPathEdit, m_settings.customIconPath);
    for (std::size_t i = 0; i < m_statusEdits.size(); ++i) {
        keepText(m_statusEdits[i], m_settings.statuses[i]);
        connect(m_delayEdits[i], &QLineEdit::textChanged, this, [this, i] { onDelayEdited(int(i)); });
    }
    connect(m_dualBarsCheck, &QCheckBox::toggled, this,
            [this](bool checked) { m_settings.dualBars = checked; });
    connect(m_disableSaverCheck, &QCheckBox::toggled, this, &OptionsWindow::onScreenSaverToggled);
    connect(m_iconChoice, &QComboBox::currentIndexChanged, this, &OptionsWindow::onIconChoiceChanged);
    connect(m_okButton, &QPushButton::clicked, this, &OptionsWindow::onOkClicked);
    connect(m_applyButton, &QPushButton::clicked, this, &OptionsWindow::onApplyClicked);
    connect(m_websiteButton, &QPushButton::clicked, this, &OptionsWindow::onWebsiteClicked);
    connect(m_browseButton, &QPushButton::clicked, this, &OptionsWindow::onBrowseClicked);
    connect(m_bannerPicture, &PictureBox::clicked, this, &OptionsWindow::onBannerClicked);
}

void OptionsWindow::showSettings(const Settings& settings)
{
    m_titleEdit->setText(QString::fromStdString(settings.title));
    m_dualBarsCheck->setChecked(settings.dualBars);
    m_disableSaverCheck->setChecked(settings.disableScreenSaver);
    m_iconChoice->setCurrentIndex(settings.icon);
    m_customIconPathEdit->setText(QString::fromStdString(settings.customIconPath));
    m_buttonTextEdit->setText(QString::fromStdString(settings.buttonText));
    for (std::size_t i = 0; i < m_statusEdits.size(); ++i) {
        m_statusEdits[i]->setText(QString::fromStdString(settings.statuses[i]));
        m_delayEdits[i]->setText(QString::fromStdString(settings.delays[i]));
    }
}

void OptionsWindow::loadStoredSettings()
{
    Settings stored = m_settings;
    switch (loadSettings(stored)) {
    case SettingsLoad::Loaded:
        showSettings(stored);
        return;
    case SettingsLoad::KeyCreated:
        showMessage(QString::fromLatin1(kWelcome), MessageSymbol::Information);
        return;
    case SettingsLoad::KeyUnavailable:
        showMessage(QString::fromLatin1(kKeyError), MessageSymbol::Warning);
        return;
    }
}

void OptionsWindow::saveStoredSettings() const
{
    // This runs as the program ends, which has never told the user of a failed save.
    (void)saveSettings(m_settings);
}

void OptionsWindow::fillIconList()
{
    for (const char* entry : kIconEntries) {
        m_iconChoice->addItem(QString::fromLatin1(entry));
    }
    m_iconChoice->setCurrentIndex(0);
}

void OptionsWindow::onOkClicked()
{
    onApplyClicked();
    hide();
}

void OptionsWindow::onApplyClicked()
{
    if (!m_mainWindow) {
        return;
    }
    const auto phase = std::size_t(m_mainWindow->currentPhase());
    m_mainWindow->setStatusCaption(QString::fromStdString(m_settings.statuses.at(phase)));
    m_mainWindow->setTimerInterval(delayInterval(m_settings.delays.at(phase)));
    m_mainWindow->setWindowCaption(QString::fromStdString(m_settings.title));
    m_mainWindow->setButtonCaption(QString::fromStdString(m_settings.buttonText));
    m_mainWindow->setSecondBarVisible(m_settings.dualBars);
    applyChosenIcon();
}

bool OptionsWindow::applyChosenIcon()
{
    if (!m_mainWindow) {
        return true;
    }
    const int index = m_settings.icon;
    if (index >= 0 && index < Settings::kCustomIcon) {
        m_mainWindow->showBuiltInIcon(index);
        return true;
    }
    if (index != Settings::kCustomIcon) {
        return true;
    }
    const QString path = QString::fromStdString(m_settings.customIconPath);
    if (!FileExists(path)) {
        showMessage(QStringLiteral("Custom icon file does not exist."), MessageSymbol::Warning);
        return false;
    }
    if (!m_mainWindow->showIconFile(path)) {
        showMessage(tr("The custom icon file is not a picture that can be shown."), MessageSymbol::Warning);
        return false;
    }
    return true;
}

void OptionsWindow::onWebsiteClicked()
{
    openWebPage(QString::fromLatin1(MakerHomePage));
}

void OptionsWindow::onBrowseClicked()
{
    if (!m_seams.browseForFile) {
        return;
    }
    const QString path =
        m_seams.browseForFile(QString::fromLatin1(kIconFilter), QStringLiteral("ico"), QString(), 0, this);
    if (!path.isEmpty()) {
        m_customIconPathEdit->setText(path);
    }
}

void OptionsWindow::onIconChoiceChanged(int index)
{
    m_settings.icon = index;
    if (m_settings.customIconPath.empty() && isVisible() && index == Settings::kCustomIcon) {
        onBrowseClicked();
    }
}

void OptionsWindow::onScreenSaverToggled(bool checked)
{
    m_settings.disableScreenSaver = checked;
    setScreenSaverActive(!checked);
}

void OptionsWindow::onBannerClicked()
{
    openWebPage(QString::fromLatin1(MakerHomePage));
}

// Setting the corrected text raises this handler once more, nested; it then finds the text valid.
void OptionsWindow::onDelayEdited(int phase)
{
    QLineEdit* box = m_delayEdits.at(std::size_t(phase));
    if (const auto corrected = correctedDelay(box->text().toStdString())) {
        box->setText(QString::fromStdString(*corrected));
    }
    m_settings.delays.at(std::size_t(phase)) = box->text().toStdString();
}

void OptionsWindow::onCloseRequested(bool& cancel)
{
    cancel = true;
    hide();
}

bool OptionsWindow::setScreenSaverActive(bool active)
{
    return m_seams.setScreenSaverActive && m_seams.setScreenSaverActive(active);
}

void OptionsWindow::showMessage(const QString& text, MessageSymbol symbol)
{
    if (m_seams.showMessage) {
        m_seams.showMessage(text, symbol);
    }
}

void OptionsWindow::openWebPage(const QString& address)
{
    if (m_seams.openUrl) {
        m_seams.openUrl(address);
    }
}

void OptionsWindow::closeEvent(QCloseEvent* event)
{
    bool cancel = false;
    onCloseRequested(cancel);
    event->setAccepted(!cancel);
}

} // namespace dawdlex

#include "OptionsWindow.h"

#include "Conversions.h"
#include "MainWindowLink.h"
#include "MessageBoxes.h"
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

namespace dawdlex {

namespace {

constexpr int kCustomIconEntry = 7;

struct PhaseDefault
{
    const char* status;
    const char* delay;
};

constexpr std::array<PhaseDefault, 5> kPhaseDefaults{{
    {"Reading Files...", "50"},
    {"Linking Data...", "200"},
    {"Updating...", "400"},
    {"", "200"},
    {"", "200"},
}};

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
    Picture1 = new PictureBox(this);
    Picture1->setGeometry(24, 8, 233, 49);
    Picture1->setAutoFillBackground(true);
    QPalette white = Picture1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Picture1->setPalette(white);
    Picture1->setPicture(QPixmap(QStringLiteral(":/dawdlex/banner.svg")));
    Picture1->setCursor(QCursor(QPixmap(QStringLiteral(":/dawdlex/hand-point.svg")), 12, 9));
    Picture1->setFocusPolicy(Qt::TabFocus);
    Picture1->setAccessibleName(tr("Pendlewick home page"));
    Picture1->setAccessibleDescription(tr("Click to open the maker's home page in your web browser."));

    QLabel* Label8 = makeLabel(tr("Dawdlex is a free program by Pendlewick."), QRect(304, 32, 273, 17),
                               FontWeight::Bold, this);
    Label8->setFont(creditsFont());
    QPalette blue = Label8->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label8->setPalette(blue);
}

void OptionsWindow::buildMessagesFrame()
{
    auto* Frame1 = new QGroupBox(QStringLiteral("Change Messages:"), this);
    Frame1->setGeometry(24, 64, 273, 217);

    makeLabel(QStringLiteral("Title:"), QRect(8, 24, 65, 17), FontWeight::Bold, Frame1);
    Pmess = makeTextBox(QStringLiteral("Processing..."), QRect(8, 40, 233, 19), Frame1);
    makeLabel(QStringLiteral("Status:"), QRect(8, 72, 65, 17), FontWeight::Bold, Frame1);
    makeLabel(QStringLiteral("Delay:"), QRect(184, 72, 41, 17), FontWeight::Bold, Frame1);
    for (std::size_t i = 0; i < Status.size(); ++i) {
        const int top = 88 + 16 * int(i);
        Status[i] =
            makeTextBox(QString::fromLatin1(kPhaseDefaults[i].status), QRect(8, top, 169, 19), Frame1);
        Speedbox[i] =
            makeTextBox(QString::fromLatin1(kPhaseDefaults[i].delay), QRect(184, top, 57, 19), Frame1);
    }
    makeLabel(QStringLiteral("Button Text:"), QRect(8, 176, 105, 17), FontWeight::Bold, Frame1);
    ButText = makeTextBox(QStringLiteral("Cancel"), QRect(8, 192, 233, 19), Frame1);
}

void OptionsWindow::buildAppearanceFrame()
{
    auto* Frame2 = new QGroupBox(QStringLiteral("Appearance:"), this);
    Frame2->setGeometry(304, 64, 273, 145);

    DualChk = new QCheckBox(QStringLiteral("Dual progress bars"), Frame2);
    DualChk->setGeometry(16, 24, 145, 17);
    DualChk->setChecked(true);
    Ssav = new QCheckBox(QStringLiteral("Disable Screen Saver"), Frame2);
    Ssav->setGeometry(16, 48, 145, 17);

    makeLabel(QStringLiteral("Icon"), QRect(24, 72, 33, 17), FontWeight::Normal, Frame2);
    IconList = new QComboBox(Frame2);
    IconList->setGeometry(56, 72, 129, 21);
    IconList->setEditable(false);

    QLabel* Label6 =
        makeLabel(QStringLiteral("Custom Icon (32x32)"), QRect(8, 96, 49, 41), FontWeight::Normal, Frame2);
    Label6->setWordWrap(true);
    CustIconFileTxt = makeTextBox(QString(), QRect(56, 104, 169, 19), Frame2);

    Command4 = makeButton(QString(), QRect(232, 96, 25, 25), FontWeight::Normal, Frame2);
    Command4->setIcon(QIcon(QStringLiteral(":/dawdlex/browse.svg")));
    Command4->setIconSize(QSize(16, 16));
    Command4->setToolTip(tr("Choose a picture file"));
    Command4->setAccessibleName(tr("Browse for a custom icon file"));
}

void OptionsWindow::buildButtons()
{
    Command3 = makeButton(QStringLiteral("More Free Stuff - Visit Website"), QRect(344, 216, 193, 25),
                          FontWeight::Normal, this);
    Command2 = makeButton(QStringLiteral("&Apply"), QRect(344, 256, 89, 25), FontWeight::Bold, this);
    Command1 = makeButton(QStringLiteral("&OK"), QRect(456, 256, 81, 25), FontWeight::Bold, this);
}

void OptionsWindow::setFocusOrder()
{
    QList<QWidget*> order{Pmess};
    for (std::size_t i = 0; i < Status.size(); ++i) {
        order << Status[i] << Speedbox[i];
    }
    order << ButText << DualChk << Ssav << IconList << CustIconFileTxt << Command4 << Command3 << Command2
          << Command1 << Picture1;
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

// The handlers run on every change, the program's own included, nested in the code that made it.
void OptionsWindow::connectHandlers()
{
    for (std::size_t i = 0; i < Speedbox.size(); ++i) {
        connect(Speedbox[i], &QLineEdit::textChanged, this, [this, i] { onDelayEdited(int(i)); });
    }
    connect(Ssav, &QCheckBox::toggled, this, &OptionsWindow::onScreenSaverToggled);
    connect(IconList, &QComboBox::currentIndexChanged, this, &OptionsWindow::onIconChoiceChanged);
    connect(Command1, &QPushButton::clicked, this, &OptionsWindow::onOkClicked);
    connect(Command2, &QPushButton::clicked, this, &OptionsWindow::onApplyClicked);
    connect(Command3, &QPushButton::clicked, this, &OptionsWindow::onWebsiteClicked);
    connect(Command4, &QPushButton::clicked, this, &OptionsWindow::onBrowseClicked);
    connect(Picture1, &PictureBox::clicked, this, &OptionsWindow::onBannerClicked);
}

void OptionsWindow::fillIconList()
{
    for (const char* entry : kIconEntries) {
        IconList->addItem(QString::fromLatin1(entry));
    }
    IconList->setCurrentIndex(0);
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
    m_mainWindow->setStatusCaption(Status.at(phase)->text());
    m_mainWindow->setTimerInterval(delayInterval(Speedbox.at(phase)->text().toStdString()));
    m_mainWindow->setWindowCaption(Pmess->text());
    m_mainWindow->setButtonCaption(ButText->text());
    m_mainWindow->setSecondBarVisible(DualChk->isChecked());
    applyChosenIcon();
}

bool OptionsWindow::applyChosenIcon()
{
    if (!m_mainWindow) {
        return true;
    }
    const int index = IconList->currentIndex();
    if (index >= 0 && index < kCustomIconEntry) {
        m_mainWindow->showBuiltInIcon(index);
        return true;
    }
    if (index != kCustomIconEntry) {
        return true;
    }
    const QString path = CustIconFileTxt->text();
    if (!FileExists(path)) {
        showMessageBox(QStringLiteral("Custom icon file does not exist."), MessageSymbol::Warning);
        return false;
    }
    if (!m_mainWindow->showIconFile(path)) {
        showMessageBox(tr("The custom icon file is not a picture that can be shown."),
                       MessageSymbol::Warning);
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
        CustIconFileTxt->setText(path);
    }
}

void OptionsWindow::onIconChoiceChanged()
{
    if (CustIconFileTxt->text().isEmpty() && isVisible() && IconList->currentIndex() == kCustomIconEntry) {
        onBrowseClicked();
    }
}

void OptionsWindow::onScreenSaverToggled()
{
    setScreenSaverActive(!Ssav->isChecked());
}

void OptionsWindow::onBannerClicked()
{
    openWebPage(QString::fromLatin1(MakerHomePage));
}

// Setting the corrected text raises this handler once more, nested; it then finds the text valid.
void OptionsWindow::onDelayEdited(int Index)
{
    QLineEdit* box = Speedbox.at(std::size_t(Index));
    if (const auto corrected = correctedDelay(box->text().toStdString())) {
        box->setText(QString::fromStdString(*corrected));
    }
}

void OptionsWindow::onCloseRequested(bool& Cancel)
{
    Cancel = true;
    hide();
}

bool OptionsWindow::setScreenSaverActive(bool active)
{
    return m_seams.setScreenSaverActive && m_seams.setScreenSaverActive(active);
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

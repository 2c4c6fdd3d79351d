#include "ProgressWindow.h"

#include "Conversions.h"
#include "OptionsWindow.h"
#include "PictureBox.h"
#include "WindowFonts.h"
#include "FramePacer.h"
#include "TimerAlignment.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace dawdlex {

namespace {

constexpr std::array<const char*, 7> kBuiltInIcons{"gear",  "arrow", "scissors", "folder",
                                                   "files", "cd",    "monitor"};

QProgressBar* makeBar(QRect geometry, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setGeometry(geometry);
    bar->setOrientation(Qt::Horizontal);
    bar->setRange(0, 40);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

} // namespace

ProgressWindow::ProgressWindow(DesktopServices seams, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_seams(std::move(seams)), m_run(*this)
{
    setWindowIcon(QIcon(QStringLiteral(":/dawdlex/document.svg")));
    setFixedSize(433, 134);
    buildControls();
    loadBuiltInIcons();
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::buildControls()
{
    m_statusLabel = new QLabel(QStringLiteral("Processing..."), this);
    m_statusLabel->setGeometry(56, 24, 353, 17);
    m_statusLabel->setFont(dialogFont(FontWeight::Bold));
    m_statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_bars[0] = makeBar(QRect(56, 40, 353, 17), this);
    m_bars[1] = makeBar(QRect(56, 64, 353, 17), this);

    m_iconPicture = new PictureBox(this);
    m_iconPicture->setGeometry(16, 40, 33, 33);
    m_iconPicture->setCursor(QCursor(QPixmap(QStringLiteral(":/dawdlex/hand.svg")), 12, 9));
    m_iconPicture->setToolTip(QStringLiteral("Click here for options."));
    m_iconPicture->setFocusPolicy(Qt::TabFocus);
    m_iconPicture->setAccessibleName(tr("Options"));
    m_iconPicture->setAccessibleDescription(tr("Click to open the Options window."));
    connect(m_iconPicture, &PictureBox::clicked, this, &ProgressWindow::onIconClicked);

    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setGeometry(160, 96, 113, 25);
    m_cancelButton->setFont(dialogFont(FontWeight::Bold));
    connect(m_cancelButton, &QPushButton::clicked, this, &ProgressWindow::onCancelClicked);
    setTabOrder(m_cancelButton, m_iconPicture);

    // Precise, so that short delays tick close to their interval; interval 0 means no ticks, so the timer
    // is started only once an interval is set.
    m_tickTimer = new QTimer(this);
    m_tickTimer->setTimerType(Qt::PreciseTimer);
    connect(m_tickTimer, &QTimer::timeout, this, &ProgressWindow::onTimerFired);
    m_pacer = new FramePacer(this);
    m_alignment = new TimerAlignment(this);
}

void ProgressWindow::loadBuiltInIcons()
{
    for (std::size_t i = 0; i < m_builtInIcons.size(); ++i) {
        m_builtInIcons[i] =
            QPixmap(QStringLiteral(":/dawdlex/icons/%1.svg").arg(QLatin1String(kBuiltInIcons[i])));
    }
}

void ProgressWindow::loadSettings()
{
    if (m_options) {
        m_options->loadStoredSettings();
    }
}

void ProgressWindow::saveSettings()
{
    if (m_options) {
        m_options->saveStoredSettings();
    }
}

void ProgressWindow::start()
{
    m_options = std::make_unique<OptionsWindow>(m_seams);
    m_options->setMainWindow(this);
    loadSettings();
    enableTimer();
    const Settings& settings = m_options->settings();
    setWindowCaption(QString::fromStdString(settings.title));
    setButtonCaption(QString::fromStdString(settings.buttonText));
    m_run.reset();
    setTimerInterval(delayInterval(settings.delays[0]));
    setStatusCaption(QString::fromStdString(settings.statuses[0]));
    if (!m_options->applyChosenIcon()) {
        m_options->show();
    }
    if (!settings.dualBars) {
        setSecondBarVisible(false);
    }
    if (settings.disableScreenSaver) {
        m_options->setScreenSaverActive(false);
    }
}

void ProgressWindow::enableTimer()
{
    m_timerEnabled = true;
    if (m_tickTimer->interval() > 0) {
        startTickTimer();
    }
}

void ProgressWindow::endProgram()
{
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    m_tickTimer->stop();
    m_alignment->stopped();
    saveSettings();
    if (m_options) {
        m_options->close();
    }
    QCoreApplication::exit(0);
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    endProgram();
    event->accept();
}

void ProgressWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_centred || !screen()) {
        return;
    }
    m_centred = true;
    const QRect available = screen()->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
}

void ProgressWindow::onTick()
{
    if (m_unloaded || !m_options) {
        return;
    }
    m_run.tick(m_options->settings());
}

void ProgressWindow::onTimerFired()
{
    const auto now = TickSchedule::Clock::now();
    m_alignment->fired(now);
    const std::int32_t interval = m_tickTimer->interval();
    for (int owed = m_schedule.due(now); owed > 0 && !m_unloaded; --owed) {
        onTick();
        // A new phase's delay starts a new schedule; what the old one still owed is not carried over.
        if (m_tickTimer->interval() != interval) {
            return;
        }
    }
}

void ProgressWindow::onIconClicked()
{
    if (m_unloaded || !m_options) {
        return;
    }
    m_options->show();
    m_options->raise();
    // Shown is not enough: typing must reach the window the user just opened.
    m_options->activateWindow();
}

void ProgressWindow::onCancelClicked()
{
    close();
}

std::int32_t ProgressWindow::currentPhase() const
{
    return m_run.phase();
}

void ProgressWindow::setStatusCaption(const QString& text)
{
    if (m_statusLabel->text() != text) {
        m_statusLabel->setText(text);
    }
}

void ProgressWindow::setTimerInterval(std::int32_t milliseconds)
{
    // The same delay again (every phase at one delay, or Apply) keeps the running rhythm: restarting
    // would add the handler's own lateness to every phase.
    if (m_tickTimer->isActive() && m_tickTimer->interval() == milliseconds) {
        return;
    }
    m_tickTimer->setInterval(milliseconds);
    if (milliseconds <= 0) {
        m_tickTimer->stop();
        m_alignment->stopped();
        return;
    }
    if (m_timerEnabled && !m_unloaded) {
        startTickTimer();
    }
}

void ProgressWindow::startTickTimer()
{
    const auto interval = std::chrono::milliseconds(m_tickTimer->interval());
    m_alignment->started(interval, TickSchedule::Clock::now());
    m_tickTimer->start();
    m_schedule.start(interval);
}

void ProgressWindow::setWindowCaption(const QString& text)
{
    setWindowTitle(text);
}

void ProgressWindow::setButtonCaption(const QString& text)
{
    m_cancelButton->setText(text);
}

void ProgressWindow::setSecondBarVisible(bool visible)
{
    m_bars[1]->setVisible(visible);
}

void ProgressWindow::showBuiltInIcon(int index)
{
    m_iconPicture->setPicture(m_builtInIcons.at(std::size_t(index)));
}

bool ProgressWindow::showIconFile(const QString& path)
{
    QImageReader reader(path);
    // Only the box's top-left corner is ever shown. Formats that can read a region read only that; the
    // others decode the whole picture, so the default cap on its size would refuse pictures the format
    // allows. How big a picture can be is left to the format and the memory there is.
    reader.setClipRect(QRect(QPoint(0, 0), m_iconPicture->size()));
    reader.setAllocationLimit(0);
    const QImage image = reader.read();
    if (image.isNull()) {
        return false;
    }
    m_iconPicture->setPicture(QPixmap::fromImage(image));
    return true;
}

void ProgressWindow::showPhaseMessage(const std::string& text)
{
    setStatusCaption(QString::fromStdString(text));
}

void ProgressWindow::setTickInterval(std::int32_t milliseconds)
{
    setTimerInterval(milliseconds);
}

void ProgressWindow::showBarValue(int bar, float value)
{
    m_pacer->setValue(m_bars.at(std::size_t(bar)), int(value));
}

} // namespace dawdlex

#include "progress/ProgressWindow.h"

#include "options/Conversions.h"
#include "options/OptionsWindow.h"
#include "options/PictureBox.h"
#include "options/SettingsPersistence.h"
#include "options/WindowFonts.h"
#include "progress/FramePacer.h"
#include "progress/TimerAlignment.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
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
      m_seams(std::move(seams)), m_run(*this, *this)
{
    setWindowIcon(QIcon(QStringLiteral(":/dawdlex/document.svg")));
    setFixedSize(433, 134);
    buildControls();
    loadBuiltInIcons();
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::buildControls()
{
    ProcessName = new QLabel(QStringLiteral("Processing..."), this);
    ProcessName->setGeometry(56, 24, 353, 17);
    ProcessName->setFont(dialogFont(FontWeight::Bold));
    ProcessName->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    PB[0] = makeBar(QRect(56, 40, 353, 17), this);
    PB[1] = makeBar(QRect(56, 64, 353, 17), this);

    Picture1 = new PictureBox(this);
    Picture1->setGeometry(16, 40, 33, 33);
    Picture1->setCursor(QCursor(QPixmap(QStringLiteral(":/dawdlex/hand.svg")), 12, 9));
    Picture1->setToolTip(QStringLiteral("Click here for options."));
    Picture1->setFocusPolicy(Qt::TabFocus);
    Picture1->setAccessibleName(tr("Options"));
    Picture1->setAccessibleDescription(tr("Click to open the Options window."));
    connect(Picture1, &PictureBox::clicked, this, &ProgressWindow::onIconClicked);

    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setGeometry(160, 96, 113, 25);
    Command1->setFont(dialogFont(FontWeight::Bold));
    connect(Command1, &QPushButton::clicked, this, &ProgressWindow::onCancelClicked);
    setTabOrder(Command1, Picture1);

    // Precise, so that short delays tick close to their interval; interval 0 means no ticks, so the timer
    // is started only once an interval is set.
    Timer1 = new QTimer(this);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &ProgressWindow::onTimerFired);
    m_pacer = new FramePacer(this);
    m_alignment = new TimerAlignment(this);
}

void ProgressWindow::loadBuiltInIcons()
{
    for (std::size_t i = 0; i < icos.size(); ++i) {
        icos[i] = QPixmap(QStringLiteral(":/dawdlex/icons/%1.svg").arg(QLatin1String(kBuiltInIcons[i])));
    }
}

void ProgressWindow::loadSettings()
{
    if (m_form2) {
        dawdlex::loadSettings(*m_form2);
    }
}

void ProgressWindow::saveSettings()
{
    if (m_form2) {
        dawdlex::saveSettings(*m_form2);
    }
}

void ProgressWindow::start()
{
    m_form2 = std::make_unique<OptionsWindow>(m_seams);
    m_form2->setMainWindow(this);
    loadSettings();
    enableTimer();
    setWindowCaption(m_form2->Pmess->text());
    setButtonCaption(m_form2->ButText->text());
    m_run.reset();
    setTimerInterval(delayInterval(m_form2->Speedbox[0]->text().toStdString()));
    setStatusCaption(m_form2->Status[0]->text());
    if (!m_form2->applyChosenIcon()) {
        m_form2->show();
    }
    if (!m_form2->DualChk->isChecked()) {
        setSecondBarVisible(false);
    }
    if (m_form2->Ssav->isChecked()) {
        m_form2->setScreenSaverActive(false);
    }
}

void ProgressWindow::enableTimer()
{
    m_timerEnabled = true;
    if (Timer1->interval() > 0) {
        startTickTimer();
    }
}

void ProgressWindow::endProgram()
{
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    Timer1->stop();
    m_alignment->stopped();
    saveSettings();
    if (m_form2) {
        m_form2->close();
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
    if (m_unloaded) {
        return;
    }
    m_run.tick();
}

void ProgressWindow::onTimerFired()
{
    const auto now = TickSchedule::Clock::now();
    m_alignment->fired(now);
    const std::int32_t interval = Timer1->interval();
    for (int owed = m_schedule.due(now); owed > 0 && !m_unloaded; --owed) {
        onTick();
        // A new phase's delay starts a new schedule; what the old one still owed is not carried over.
        if (Timer1->interval() != interval) {
            return;
        }
    }
}

void ProgressWindow::onIconClicked()
{
    if (m_unloaded || !m_form2) {
        return;
    }
    m_form2->show();
    m_form2->raise();
}

void ProgressWindow::onCancelClicked()
{
    close();
}

std::int32_t ProgressWindow::currentPhase() const
{
    return PhaseIndex;
}

void ProgressWindow::setStatusCaption(const QString& text)
{
    if (ProcessName->text() != text) {
        ProcessName->setText(text);
    }
}

void ProgressWindow::setTimerInterval(std::int32_t milliseconds)
{
    // The same delay again (every phase at one delay, or Apply) keeps the running rhythm: restarting
    // would add the handler's own lateness to every phase.
    if (Timer1->isActive() && Timer1->interval() == milliseconds) {
        return;
    }
    Timer1->setInterval(milliseconds);
    if (milliseconds <= 0) {
        Timer1->stop();
        m_alignment->stopped();
        return;
    }
    if (m_timerEnabled && !m_unloaded) {
        startTickTimer();
    }
}

void ProgressWindow::startTickTimer()
{
    const auto interval = std::chrono::milliseconds(Timer1->interval());
    m_alignment->started(interval, TickSchedule::Clock::now());
    Timer1->start();
    m_schedule.start(interval);
}

void ProgressWindow::setWindowCaption(const QString& text)
{
    setWindowTitle(text);
}

void ProgressWindow::setButtonCaption(const QString& text)
{
    Command1->setText(text);
}

void ProgressWindow::setSecondBarVisible(bool visible)
{
    PB[1]->setVisible(visible);
}

void ProgressWindow::showBuiltInIcon(int index)
{
    Picture1->setPicture(icos.at(std::size_t(index)));
}

bool ProgressWindow::showIconFile(const QString& path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) {
        return false;
    }
    Picture1->setPicture(QPixmap::fromImage(image));
    return true;
}

QString ProgressWindow::statusText(int phase) const
{
    return m_form2->Status.at(std::size_t(phase))->text();
}

QString ProgressWindow::delayText(int phase) const
{
    return m_form2->Speedbox.at(std::size_t(phase))->text();
}

void ProgressWindow::setBarValue(int bar, float value)
{
    m_pacer->setValue(PB.at(std::size_t(bar)), int(value));
}

} // namespace dawdlex

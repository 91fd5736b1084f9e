#include "loopbackscreen.h"

#include "common/numbertext.h"
#include "loopback/loopbackengine.h"
#include "ui/controlnames.h"
#include "ui/twips.h"
#include "ui/valuelabel.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace varo::loopback {

namespace {

using ui::twipsRect;

// The screen's mapping: object names and the captions controls are announced by.
enum class Control { Heading, StartButton, StopButton, ClearButton, Count, ResultList };

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::Heading, {"Label2"}},
    {Control::StartButton, {"Command1"}},
    {Control::StopButton, {"Command3"}},
    {Control::ClearButton, {"Command4"}},
    {Control::Count, {"Label1", "Characters Sent"}},
    {Control::ResultList, {"List1", "Loopback results"}},
};
static_assert(ui::coversEveryId(kControls));

const QString kCountCaption = QStringLiteral("Characters Sent: ");

} // namespace

LoopbackScreen::LoopbackScreen(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent)
    , m_engine(new LoopbackEngine(link, this))
    , m_start(new QPushButton(QStringLiteral("Start Loopback Test from User Code"), this))
    , m_stop(new QPushButton(QStringLiteral("Stop Loopback Test"), this))
    , m_clearList(new QPushButton(QStringLiteral("Clear List"), this))
    , m_list(new QPlainTextEdit(this))
    , m_count(new ui::ValueLabel({}, this))
    , m_heading(new QLabel(QStringLiteral("Tessel Series  Loopback Test"), this))
    , m_displayTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("loopback"));
    setWindowTitle(QStringLiteral("Loopback Test"));

    ui::named(m_heading, kControls, Control::Heading);
    m_heading->setGeometry(twipsRect(240, 120, 6000, 375));
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    m_heading->setFont(headingFont);

    ui::named(m_start, kControls, Control::StartButton);
    m_start->setGeometry(twipsRect(240, 600, 3495, 495));
    ui::named(m_stop, kControls, Control::StopButton);
    m_stop->setGeometry(twipsRect(3855, 600, 2295, 495));
    ui::named(m_clearList, kControls, Control::ClearButton);
    m_clearList->setGeometry(twipsRect(6270, 600, 1575, 495));

    const ui::ControlName &countName = nameOf(kControls, Control::Count);
    m_count->setObjectName(countName.object());
    m_count->setCaption(countName.spoken());
    m_count->setGeometry(twipsRect(240, 1215, 6000, 315));

    ui::named(m_list, kControls, Control::ResultList);
    m_list->setReadOnly(true);
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_list->setGeometry(twipsRect(240, 1650, 7605, 5415));

    setMinimumSize(twipsRect(0, 0, 8100, 7300).size());

    m_displayTimer->setSingleShot(true);
    m_displayTimer->setInterval(kDisplayIntervalMs);
    connect(m_displayTimer, &QTimer::timeout, this, &LoopbackScreen::flushDisplay);

    connect(m_start, &QPushButton::clicked, m_engine, &LoopbackEngine::start);
    connect(m_stop, &QPushButton::clicked, m_engine, &LoopbackEngine::requestStop);
    connect(m_clearList, &QPushButton::clicked, this, [this] {
        m_pendingLines.clear();
        m_list->clear();
    });

    connect(m_engine, &LoopbackEngine::started, this, [this] {
        m_start->setEnabled(false);
        m_pendingLines.clear();
        m_list->clear();
        m_displayTimer->stop();
        m_shownCount = m_latestCount = -1;
        m_count->setValue({});
    });
    connect(m_engine, &LoopbackEngine::lineAdded, this, &LoopbackScreen::appendLine);
    connect(m_engine, &LoopbackEngine::countChanged, this, &LoopbackScreen::showCount);
    connect(m_engine, &LoopbackEngine::finished, this, [this] {
        m_displayTimer->stop();
        flushDisplay();
        m_start->setEnabled(true);
    });
    connect(m_engine, &LoopbackEngine::refused, this, [this](const QString &operation) {
        appendLine(QStringLiteral("Link in use by ") + operation);
        flushDisplay();
    });
}

LoopbackScreen::~LoopbackScreen() = default;

void LoopbackScreen::showCount(qint32 count) {
    m_latestCount = count;
    if (m_shownCount < 0) {
        // The first count of a test shows at once; later ones at the display's pace.
        flushCount();
        return;
    }
    scheduleDisplay();
}

void LoopbackScreen::scheduleDisplay() {
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

void LoopbackScreen::flushDisplay() {
    flushCount();
    if (m_pendingLines.isEmpty())
        return;
    m_list->appendPlainText(m_pendingLines.join(QLatin1Char('\n')));
    m_pendingLines.clear();
}

void LoopbackScreen::flushCount() {
    if (m_latestCount < 0 || m_latestCount == m_shownCount)
        return;
    m_shownCount = m_latestCount;
    m_count->setValue(kCountCaption + signedNumberText(m_shownCount));
}

void LoopbackScreen::appendLine(const QString &line) {
    m_pendingLines.append(line);
    scheduleDisplay();
}

} // namespace varo::loopback

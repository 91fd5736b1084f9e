#include "utilitiesscreen.h"

#include "labeltable.h"
#include "utilitytexts.h"

#include "ui/controlnames.h"
#include "ui/filechooser.h"
#include "ui/notice.h"
#include "ui/screenstyle.h"
#include "ui/valuelabel.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace varo::utilities {

namespace {

// The controls outside the label array (whose members are named `Label1_<index>` from the
// label table): object names and the captions they are announced by.
enum class Control {
    FirmwareField,
    ReaderTimeField,
    HoursField,
    HoursCaption,
    AddOption,
    SubtractOption,
    DirectionFrame,
};

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::FirmwareField, {"Text1_0", "Firmware Identification"}},
    {Control::ReaderTimeField, {"Text1_1", "Reader Time"}},
    {Control::HoursField, {"Text2", "Hours to add or subtract"}},
    {Control::HoursCaption, {"hoursCaption"}},
    {Control::AddOption, {"Option1_0"}},
    {Control::SubtractOption, {"Option1_1"}},
    {Control::DirectionFrame, {"directionFrame", "Direction"}},
};
static_assert(ui::coversEveryId(kControls));

template <typename Widget> Widget *named(Widget *control, Control id) {
    return ui::named(control, kControls, id);
}

const QString kStatusCaption = QStringLiteral("Status");

const QColor kStatusColour(128, 0, 0); // dark red
constexpr int kHoursMaxLength = 2;
constexpr int kButtonHeight = 32;

// The upload's text file: any name, "upload.txt" offered.
ui::FileRequest uploadFileRequest() {
    ui::FileRequest request;
    request.mode = ui::FileRequest::Mode::Save;
    request.filters = QStringLiteral("Text (*.txt)");
    request.suffix = QStringLiteral("txt");
    request.proposal = QStringLiteral("upload.txt");
    return request;
}

QString captionOf(const LabelEntry &entry) {
    return QString::fromLatin1(entry.caption.data(), qsizetype(entry.caption.size()));
}
} // namespace

UtilitiesScreen::UtilitiesScreen(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent)
    , m_commands(link)
    , m_clock([] { return QDateTime::currentDateTime(); }) {
    ui::nameScreen(this, QStringLiteral("utilities"), QStringLiteral("Utilities"));
    ui::fillGrey(this);

    buildControls();
    buildLayout();

    m_commands.setAsker(ui::questionAsker(this, texts::kApplicationTitle, QMessageBox::No,
                                          QStringLiteral("clearMemoryQuestion")));
    m_commands.upload()->setFileChooser(
        [this](UploadSession::FileChosen done) { chooseUploadFile(std::move(done)); });

    connect(&m_commands, &MaintenanceCommands::statusTextChanged, m_statusLabel,
            &ui::ValueLabel::setValue);
    connect(&m_commands, &MaintenanceCommands::firmwareIdChanged, m_firmwareField,
            &QLineEdit::setText);
    connect(&m_commands, &MaintenanceCommands::readerTimeChanged, m_readerTimeField,
            &QLineEdit::setText);
    connect(&m_commands, &MaintenanceCommands::memoryUsageChanged, this,
            &UtilitiesScreen::showMemoryUsage);
    connect(&m_commands, &MaintenanceCommands::refused, m_statusLabel,
            [this] { m_statusLabel->setValue(texts::kLinkBusy); });
    connect(m_commands.upload(), &UploadSession::fileErrorOccurred, this,
            &UtilitiesScreen::showFileError);
    // One click at a time: the buttons rest while a click runs.
    connect(&m_commands, &MaintenanceCommands::busyChanged, this, [this](bool busy) {
        for (QWidget *w : std::as_const(m_labels)) {
            if (qobject_cast<QPushButton *>(w))
                w->setEnabled(!busy);
        }
    });

    connect(&m_clockTimer, &QTimer::timeout, this, &UtilitiesScreen::showClock);
    m_clockTimer.start(kClockIntervalMs);
    showClock();
}

UtilitiesScreen::~UtilitiesScreen() = default;

void UtilitiesScreen::buildControls() {
    for (const LabelEntry &entry : labelTable()) {
        const QString name = QStringLiteral("Label1_%1").arg(entry.index);
        QWidget *widget = nullptr;
        if (entry.role == LabelRole::Button) {
            auto *button = new QPushButton(captionOf(entry), this);
            connect(button, &QPushButton::clicked, this,
                    [this, i = entry.index] { clickLabel(i); });
            widget = button;
        } else {
            // Not a button, yet a click on it runs the label array's click procedure.
            auto *label = new ui::ValueLabel({}, this);
            label->setValue(captionOf(entry));
            connect(label, &ui::ValueLabel::clicked, this,
                    [this, i = entry.index] { clickLabel(i); });
            widget = label;
        }
        widget->setObjectName(name);
        m_labels.insert(entry.index, widget);
    }
    m_clockLabel = valueLabel(kClockIndex);
    m_statusLabel = valueLabel(kStatusIndex);
    m_statusLabel->setCaption(kStatusCaption);
    m_statusLabel->setLive(true);
    m_statusLabel->setValue({});
    // The memory values are announced with their headings ("Total Slots: 00012").
    for (const MemoryRow &r : kMemoryRows)
        valueLabel(r.valueIndex)->setCaption(valueLabel(r.headingIndex)->text());
    QPalette statusPalette = m_statusLabel->palette();
    statusPalette.setColor(QPalette::WindowText, kStatusColour);
    m_statusLabel->setPalette(statusPalette);

    auto makeField = [this](Control id) {
        auto *field = named(new QLineEdit(this), id);
        field->setReadOnly(true);
        return field;
    };
    m_firmwareField = makeField(Control::FirmwareField);
    m_readerTimeField = makeField(Control::ReaderTimeField);

    m_hoursField = named(new QLineEdit(QStringLiteral("00"), this), Control::HoursField);
    m_hoursField->setMaxLength(kHoursMaxLength);
    m_hoursField->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,2}")), m_hoursField));

    m_addOption = named(new QRadioButton(QStringLiteral("Add"), this), Control::AddOption);
    m_subtractOption =
        named(new QRadioButton(QStringLiteral("Subtract"), this), Control::SubtractOption);
}

void UtilitiesScreen::buildLayout() {
    auto button = [this](int index) { return m_labels.value(index); };

    for (const LabelEntry &entry : labelTable()) {
        if (entry.role == LabelRole::Button)
            m_labels.value(entry.index)->setMinimumHeight(kButtonHeight);
    }

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(14);
    int row = 0;

    grid->addWidget(button(0), row, 0);
    grid->addWidget(m_firmwareField, row++, 1, 1, 3);

    grid->addWidget(button(2), row, 0);
    grid->addWidget(button(3), row, 1);
    grid->addWidget(button(25), row++, 2);

    grid->addWidget(button(6), row, 0);
    grid->addWidget(m_readerTimeField, row++, 1, 1, 2);

    auto *hoursLabel = named(new QLabel(QStringLiteral("Hours"), this), Control::HoursCaption);
    hoursLabel->setTextFormat(Qt::PlainText);
    hoursLabel->setBuddy(m_hoursField);
    m_hoursField->setFixedWidth(
        m_hoursField->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    auto *hoursRow = new QHBoxLayout;
    hoursRow->setSpacing(8);
    hoursRow->addWidget(m_hoursField);
    hoursRow->addWidget(hoursLabel);
    hoursRow->addStretch();
    auto *directionFrame = named(new QFrame(this), Control::DirectionFrame);
    directionFrame->setFrameShape(QFrame::StyledPanel);
    auto *directionRow = new QHBoxLayout(directionFrame);
    directionRow->addWidget(m_addOption);
    directionRow->addWidget(m_subtractOption);
    grid->addWidget(button(5), row, 0);
    grid->addLayout(hoursRow, row, 1);
    grid->addWidget(directionFrame, row++, 2);

    auto *memory = new QGridLayout;
    memory->setHorizontalSpacing(24);
    memory->setVerticalSpacing(6);
    int memoryRow = 0;
    for (const MemoryRow &r : kMemoryRows) {
        memory->addWidget(m_labels.value(r.headingIndex), memoryRow, 0);
        memory->addWidget(m_labels.value(r.valueIndex), memoryRow++, 1);
    }
    memory->setColumnStretch(2, 1);
    grid->addWidget(button(7), row, 0, Qt::AlignTop);
    grid->addLayout(memory, row++, 1, 1, 2);

    grid->addWidget(button(9), row, 0);
    grid->addWidget(button(12), row, 1);
    grid->addWidget(button(19), row++, 2);

    grid->setColumnStretch(3, 1);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->addLayout(grid);
    outer->addSpacing(24);
    outer->addWidget(m_clockLabel);
    outer->addSpacing(12);
    outer->addWidget(m_statusLabel);
    outer->addStretch();
}

void UtilitiesScreen::selectAdd() {
    m_addOption->setChecked(true);
}

void UtilitiesScreen::setClockSource(MaintenanceCommands::Clock clock) {
    m_clock = clock;
    m_commands.setClock(std::move(clock));
    showClock();
}

void UtilitiesScreen::setFileChooser(UploadSession::FileChooser chooser) {
    m_commands.upload()->setFileChooser(std::move(chooser));
}

void UtilitiesScreen::setAsker(MaintenanceCommands::Asker asker) {
    m_commands.setAsker(std::move(asker));
}

QFileDialog *UtilitiesScreen::createUploadFileDialog(QWidget *parent) {
    return ui::createFileDialog(parent, uploadFileRequest());
}

void UtilitiesScreen::clickLabel(int index) {
    const LabelEntry *entry = findLabel(index);
    if (!entry)
        return;
    MaintenanceStep step{entry->verb};
    step.adjustment = {m_hoursField->text(), direction()};
    step.mode = entry->mode;
    m_commands.run(step);
}

void UtilitiesScreen::showClock() {
    m_clockLabel->setValue(clockText(m_clock()));
}

void UtilitiesScreen::showMemoryUsage(const MemoryUsage &usage) {
    const QString values[] = {usage.totalSlots, usage.used, usage.uploaded};
    int i = 0;
    for (const MemoryRow &r : kMemoryRows)
        valueLabel(r.valueIndex)->setValue(values[i++]);
}

void UtilitiesScreen::showFileError(const QString &path, const QString &reason) {
    QMessageBox *box = ui::openNotice(this, texts::kApplicationTitle, fileErrorText(path, reason),
                                      QMessageBox::Warning);
    box->setObjectName(QStringLiteral("uploadFileError"));
}

void UtilitiesScreen::chooseUploadFile(UploadSession::FileChosen done) {
    ui::chooseFile(this, uploadFileRequest(), std::move(done));
}

ui::ValueLabel *UtilitiesScreen::valueLabel(int index) const {
    // Every member of the label array that is not a button is a value label.
    return qobject_cast<ui::ValueLabel *>(m_labels.value(index));
}

Direction UtilitiesScreen::direction() const {
    if (m_addOption->isChecked())
        return Direction::Add;
    if (m_subtractOption->isChecked())
        return Direction::Subtract;
    return Direction::None;
}

} // namespace varo::utilities

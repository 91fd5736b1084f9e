#include "utilitiesscreen.h"

#include "clickablelabel.h"
#include "labeltable.h"
#include "utilitytexts.h"

#include <QFileDialog>
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
const QColor kBackground(192, 192, 192); // light grey
const QColor kStatusColour(128, 0, 0);   // dark red
constexpr int kHoursMaxLength = 2;
constexpr int kButtonHeight = 32;

QString captionOf(const LabelEntry &entry) {
    return QString::fromLatin1(entry.caption.data(), qsizetype(entry.caption.size()));
}
} // namespace

UtilitiesScreen::UtilitiesScreen(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent)
    , m_commands(link)
    , m_clock([] { return QDateTime::currentDateTime(); }) {
    setObjectName(QStringLiteral("utilities"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);

    buildControls();
    buildLayout();

    m_commands.setAsker([this](const QString &question, std::function<void(bool)> answer) {
        askYesNo(question, std::move(answer));
    });
    m_commands.upload()->setFileChooser(
        [this](UploadSession::FileChosen done) { chooseUploadFile(std::move(done)); });

    connect(&m_commands, &MaintenanceCommands::statusTextChanged, m_statusLabel, &QLabel::setText);
    connect(&m_commands, &MaintenanceCommands::firmwareIdChanged, m_firmwareField,
            &QLineEdit::setText);
    connect(&m_commands, &MaintenanceCommands::readerTimeChanged, m_readerTimeField,
            &QLineEdit::setText);
    connect(&m_commands, &MaintenanceCommands::memoryUsageChanged, this,
            &UtilitiesScreen::showMemoryUsage);
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
            auto *label = new ClickableLabel(captionOf(entry), this);
            connect(label, &ClickableLabel::clicked, this,
                    [this, i = entry.index] { clickLabel(i); });
            widget = label;
        }
        widget->setObjectName(name);
        m_labels.insert(entry.index, widget);
    }
    m_clockLabel = static_cast<QLabel *>(m_labels.value(kClockIndex));
    m_statusLabel = static_cast<QLabel *>(m_labels.value(kStatusIndex));
    m_statusLabel->clear();
    QPalette statusPalette = m_statusLabel->palette();
    statusPalette.setColor(QPalette::WindowText, kStatusColour);
    m_statusLabel->setPalette(statusPalette);

    auto makeField = [this](const QString &name) {
        auto *field = new QLineEdit(this);
        field->setObjectName(name);
        field->setReadOnly(true);
        return field;
    };
    m_firmwareField = makeField(QStringLiteral("Text1_0"));
    m_readerTimeField = makeField(QStringLiteral("Text1_1"));

    m_hoursField = new QLineEdit(QStringLiteral("00"), this);
    m_hoursField->setObjectName(QStringLiteral("Text2"));
    m_hoursField->setMaxLength(kHoursMaxLength);
    m_hoursField->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,2}")), m_hoursField));

    m_addOption = new QRadioButton(QStringLiteral("Add"), this);
    m_addOption->setObjectName(QStringLiteral("Option1_0"));
    m_subtractOption = new QRadioButton(QStringLiteral("Subtract"), this);
    m_subtractOption->setObjectName(QStringLiteral("Option1_1"));
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

    auto *hoursLabel = new QLabel(QStringLiteral("Hours"), this);
    hoursLabel->setTextFormat(Qt::PlainText);
    m_hoursField->setFixedWidth(
        m_hoursField->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    auto *hoursRow = new QHBoxLayout;
    hoursRow->setSpacing(8);
    hoursRow->addWidget(m_hoursField);
    hoursRow->addWidget(hoursLabel);
    hoursRow->addStretch();
    auto *directionFrame = new QFrame(this);
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
    auto *dialog = new QFileDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("Text (*.txt)"));
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->selectFile(QStringLiteral("upload.txt"));
    return dialog;
}

void UtilitiesScreen::clickLabel(int index) {
    m_commands.click(index, {m_hoursField->text(), direction()});
}

void UtilitiesScreen::showClock() {
    m_clockLabel->setText(clockText(m_clock()));
}

void UtilitiesScreen::showMemoryUsage(const MemoryUsage &usage) {
    const QString values[] = {usage.totalSlots, usage.used, usage.uploaded};
    int i = 0;
    for (const MemoryRow &r : kMemoryRows)
        static_cast<QLabel *>(m_labels.value(r.valueIndex))->setText(values[i++]);
}

void UtilitiesScreen::showFileError(const QString &path, const QString &reason) {
    auto *box = new QMessageBox(QMessageBox::Warning, texts::kApplicationTitle,
                                fileErrorText(path, reason), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("uploadFileError"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void UtilitiesScreen::askYesNo(const QString &question, std::function<void(bool)> answer) {
    auto *box = new QMessageBox(QMessageBox::Question, texts::kApplicationTitle, question,
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("clearMemoryQuestion"));
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QDialog::finished, this, [box, answer = std::move(answer)] {
        answer(box->clickedButton() == box->button(QMessageBox::Yes));
    });
    box->open();
}

void UtilitiesScreen::chooseUploadFile(UploadSession::FileChosen done) {
    QFileDialog *dialog = createUploadFileDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [dialog, done = std::move(done)](int result) {
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            done(dialog->selectedFiles().constFirst());
        else
            done(std::nullopt);
    });
    dialog->open();
}

Direction UtilitiesScreen::direction() const {
    if (m_addOption->isChecked())
        return Direction::Add;
    if (m_subtractOption->isChecked())
        return Direction::Subtract;
    return Direction::None;
}

} // namespace varo::utilities

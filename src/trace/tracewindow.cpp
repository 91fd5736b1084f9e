#include "tracewindow.h"

#include "tracefile.h"
#include "tracefind.h"
#include "tracemodel.h"
#include "tracerecorder.h"

#include "ui/controlnames.h"
#include "ui/filechooser.h"
#include "ui/notice.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace varo::trace {

namespace {

// Paints a cell the way QStyledItemDelegate does, after cutting its text to a little more than
// the cell can show: the view elides it at the same place anyway (the table's text is ASCII in
// a fixed-pitch font), but laying out a long row's whole hex and text on every repaint cost
// more than recording the traffic itself.
class ClippingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const int advance = cell.fontMetrics.horizontalAdvance(u'0');
        if (advance > 0) {
            const qsizetype fits = cell.rect.width() / advance + 2;
            if (cell.text.size() > fits)
                cell.text.truncate(fits);
        }
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    }
};

enum class Control {
    PauseButton,
    ClearButton,
    SaveButton,
    FindText,
    FindHex,
    FindButton,
    Follow,
    KeepRecording,
    Capacity,
    Status,
    DroppedNote,
    Table,
};

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::PauseButton, {"tracePause", "Pause recording"}},
    {Control::ClearButton, {"traceClear", "Clear the trace"}},
    {Control::SaveButton, {"traceSave", "Save the trace"}},
    {Control::FindText, {"traceFindText", "Find text or hex bytes"}},
    {Control::FindHex, {"traceFindHex", "Find hex bytes"}},
    {Control::FindButton, {"traceFind", "Find next"}},
    {Control::Follow, {"traceFollow", "Follow the newest row"}},
    {Control::KeepRecording, {"traceKeepRecording", "Keep recording when closed"}},
    {Control::Capacity, {"traceCapacity", "Rows kept at most"}},
    {Control::Status, {"traceStatus", "Trace status"}},
    {Control::DroppedNote, {"traceDropped", "Dropped rows"}},
    {Control::Table, {"traceTable", "Wire trace rows"}},
};
static_assert(ui::coversEveryId(kControls));

void chooseTraceFile(QWidget *parent, std::function<void(std::optional<QString>)> done) {
    ui::FileRequest request;
    request.mode = ui::FileRequest::Mode::Save;
    request.title = QStringLiteral("Save the trace");
    request.filters = QStringLiteral("Text (*.txt);;CSV (*.csv)");
    request.suffix = QStringLiteral("txt");
    request.suffixFollowsFilter = true;
    ui::chooseFile(parent, request,
                   [done = std::move(done)](const std::optional<QString> &path) { done(path); });
}

} // namespace

TraceWindow::TraceWindow(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_link(link)
    , m_model(new TraceModel(this))
    , m_recorder(new TraceRecorder(link, m_model, this))
    , m_chooser(chooseTraceFile) {
    setObjectName(QStringLiteral("traceWindow"));
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);

    m_pause =
        ui::named(new QPushButton(QStringLiteral("&Pause"), this), kControls, Control::PauseButton);
    m_clear =
        ui::named(new QPushButton(QStringLiteral("C&lear"), this), kControls, Control::ClearButton);
    m_save =
        ui::named(new QPushButton(QStringLiteral("&Save…"), this), kControls, Control::SaveButton);
    m_findText = ui::named(new QLineEdit(this), kControls, Control::FindText);
    m_findText->setPlaceholderText(QStringLiteral("Find text or hex bytes"));
    m_findHex = ui::named(new QCheckBox(QStringLiteral("He&x"), this), kControls, Control::FindHex);
    m_find = ui::named(new QPushButton(QStringLiteral("&Find next"), this), kControls,
                       Control::FindButton);
    m_follow = ui::named(new QCheckBox(QStringLiteral("F&ollow newest"), this), kControls,
                         Control::Follow);
    m_follow->setChecked(true);
    m_keepRecording = ui::named(new QCheckBox(QStringLiteral("&Keep recording when closed"), this),
                                kControls, Control::KeepRecording);
    auto *capacityCaption = new QLabel(QStringLiteral("&Rows kept:"), this);
    m_capacity = ui::named(new QSpinBox(this), kControls, Control::Capacity);
    m_capacity->setRange(100, 10'000'000);
    m_capacity->setSingleStep(10'000);
    m_capacity->setGroupSeparatorShown(true);
    m_capacity->setValue(int(TraceModel::kDefaultCapacity));
    capacityCaption->setBuddy(m_capacity);
    m_status = ui::named(new QLabel(this), kControls, Control::Status);
    m_status->setTextFormat(Qt::PlainText);
    m_dropped = ui::named(new QLabel(this), kControls, Control::DroppedNote);
    m_dropped->setTextFormat(Qt::PlainText);
    m_dropped->setStyleSheet(QStringLiteral("QLabel { color: #8a4b00; font-weight: bold; }"));
    m_dropped->hide();

    m_view = ui::named(new QTableView(this), kControls, Control::Table);
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->setItemDelegate(new ClippingDelegate(m_view));
    m_view->verticalHeader()->hide();
    // Fixed row heights and column widths: the view never measures rows' contents.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int ch = QFontMetrics(m_view->font()).horizontalAdvance(u'0');
    m_view->setColumnWidth(TraceModel::Time, 12 * ch);
    m_view->setColumnWidth(TraceModel::Direction, 16 * ch);
    m_view->setColumnWidth(TraceModel::Operation, 20 * ch);
    m_view->setColumnWidth(TraceModel::Length, 8 * ch);
    m_view->setColumnWidth(TraceModel::Hex, 48 * ch);

    auto *tools = new QHBoxLayout;
    tools->addWidget(m_pause);
    tools->addWidget(m_clear);
    tools->addWidget(m_save);
    tools->addSpacing(ch * 2);
    tools->addWidget(m_findText, 1);
    tools->addWidget(m_findHex);
    tools->addWidget(m_find);
    auto *options = new QHBoxLayout;
    options->addWidget(m_follow);
    options->addWidget(m_keepRecording);
    options->addWidget(capacityCaption);
    options->addWidget(m_capacity);
    options->addStretch(1);
    options->addWidget(m_status);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addLayout(options);
    layout->addWidget(m_dropped);
    layout->addWidget(m_view, 1);

    connect(m_pause, &QPushButton::clicked, this, [this] { setPaused(!m_paused); });
    connect(m_clear, &QPushButton::clicked, this, &TraceWindow::clear);
    connect(m_save, &QPushButton::clicked, this, &TraceWindow::chooseSaveFile);
    connect(m_find, &QPushButton::clicked, this, &TraceWindow::findNext);
    connect(m_findText, &QLineEdit::returnPressed, this, &TraceWindow::findNext);
    connect(m_keepRecording, &QCheckBox::toggled, this, &TraceWindow::updateRecording);
    connect(m_capacity, &QSpinBox::valueChanged, this, [this](int rows) {
        m_model->setCapacity(rows);
        updateNotes();
    });
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            followNewest();
    });
    connect(m_recorder, &TraceRecorder::rowsRecorded, this, [this] {
        updateNotes();
        if (m_follow->isChecked())
            followNewest();
    });
    connect(m_recorder, &TraceRecorder::recordingChanged, this, &TraceWindow::updateNotes);
    connect(m_model, &TraceModel::droppedCountChanged, this, &TraceWindow::updateNotes);

    resize(110 * ch, 40 * m_view->verticalHeader()->defaultSectionSize());
    updateNotes();
}

TraceWindow::~TraceWindow() = default;

void TraceWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    updateRecording();
}

void TraceWindow::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    updateRecording();
}

void TraceWindow::updateRecording() {
    const bool wanted = !m_paused && (isVisible() || m_keepRecording->isChecked());
    m_recorder->setRecording(wanted);
}

void TraceWindow::setPaused(bool paused) {
    m_paused = paused;
    m_pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    m_pause->setAccessibleName(paused ? QStringLiteral("Resume recording")
                                      : QStringLiteral("Pause recording"));
    updateRecording();
}

void TraceWindow::clear() {
    m_recorder->clear();
    updateNotes();
}

void TraceWindow::updateNotes() {
    const QString state = m_recorder->isRecording()
                              ? QStringLiteral("Recording")
                              : (m_paused ? QStringLiteral("Paused") : QStringLiteral("Stopped"));
    m_status->setText(QStringLiteral("%1 · %L2 rows").arg(state).arg(m_model->rowCount()));
    const qint64 dropped = m_model->droppedCount();
    m_dropped->setVisible(dropped > 0);
    if (dropped > 0) {
        m_dropped->setText(
            QStringLiteral("%L1 older rows were dropped to keep at most %L2 rows and %L3 MiB.")
                .arg(dropped)
                .arg(m_model->capacity())
                .arg(m_model->byteCapacity() / (1024 * 1024)));
    }
}

void TraceWindow::followNewest() {
    if (m_model->rowCount() > 0)
        m_view->scrollToBottom();
}

bool TraceWindow::findNext() {
    m_recorder->flush();
    const QString query = m_findText->text();
    std::optional<QByteArray> needle;
    if (m_findHex->isChecked())
        needle = parseHexBytes(query);
    else if (!query.isEmpty())
        needle = query.toLatin1();
    if (!needle) {
        m_status->setText(m_findHex->isChecked() ? QStringLiteral("Not hex bytes: %1").arg(query)
                                                 : QStringLiteral("Nothing to find"));
        return false;
    }
    const QModelIndex current = m_view->currentIndex();
    const qsizetype from = current.isValid() ? current.row() + 1 : 0;
    const std::optional<TraceMatch> match = findBytes(m_model->rows(), *needle, from);
    if (!match) {
        m_status->setText(QStringLiteral("Not found: %1").arg(query));
        return false;
    }
    // Following would carry the view away from the match.
    m_follow->setChecked(false);
    const QModelIndex first = m_model->index(int(match->firstRow), 0);
    const QModelIndex last = m_model->index(int(match->lastRow), TraceModel::ColumnCount - 1);
    m_view->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    m_view->selectionModel()->select(QItemSelection(first, last),
                                     QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(first);
    m_status->setText(match->firstRow == match->lastRow
                          ? QStringLiteral("Found in row %1").arg(match->firstRow + 1)
                          : QStringLiteral("Found in rows %1 to %2")
                                .arg(match->firstRow + 1)
                                .arg(match->lastRow + 1));
    return true;
}

std::optional<QString> TraceWindow::saveTo(const QString &path) {
    m_recorder->flush();
    const TraceHeader header{m_recorder->linkSettings(), m_recorder->linkOpenedAt(),
                             m_model->droppedCount()};
    std::optional<QString> error = saveTrace(path, formatForPath(path), header, m_model->rows());
    if (error) {
        ui::openNotice(this, kTitle, *error, QMessageBox::Warning);
        emit saveFailed(*error);
    } else {
        m_status->setText(QStringLiteral("Saved %1").arg(path));
    }
    return error;
}

void TraceWindow::chooseSaveFile() {
    m_chooser(this, [this](const std::optional<QString> &path) {
        if (path)
            saveTo(*path);
    });
}

} // namespace varo::trace

#include "config/ui/pgmform.h"

#include "config/progresslog.h"
#include "config/readerreset.h"
#include "ui/screenstyle.h"

#include "ui/controlnames.h"
#include "ui/notice.h"
#include "ui/twips.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

namespace varo::config {

namespace {

using ui::twips;
using ui::twipsRect;

// The screen's mapping: the two progress lists, left and right, as the log fills them.
enum class Control { LeftList, RightList };

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::LeftList, {"Picture1", "Progress"}},
    {Control::RightList, {"Picture2", "Progress, continued"}},
};
static_assert(ui::coversEveryId(kControls));

QPlainTextEdit *makeList(Control control, int leftTwips, QWidget *parent) {
    auto *list = ui::named(new QPlainTextEdit(parent), kControls, control);
    list->setReadOnly(true);
    list->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setGeometry(twipsRect(leftTwips, 120, 4935, 7515));
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, ui::kScreenGrey);
    palette.setColor(QPalette::Text, Qt::black);
    list->setPalette(palette);
    return list;
}

// Mirrors one list of the log: appended text goes to the end of the document without moving
// the user's selection. `written` learns which view took the latest text.
void bindList(QPlainTextEdit *view, ProgressLog *log, ProgressList list,
              QPointer<QPlainTextEdit> *written) {
    QObject::connect(log, &ProgressLog::appended, view,
                     [view, list, written](ProgressList target, const QString &text) {
                         if (target != list)
                             return;
                         QTextCursor end(view->document());
                         end.movePosition(QTextCursor::End);
                         end.insertText(text);
                         *written = view;
                     });
    QObject::connect(log, &ProgressLog::cleared, view, &QPlainTextEdit::clear);
    view->setPlainText(log->text(list));
}

} // namespace

PgmForm::PgmForm(link::ReaderLink *link, ConfigModel *model, QWidget *parent)
    : QWidget(parent)
    , m_log(new ProgressLog(this))
    , m_run(new ProgramRun(link, model, m_log, this))
    , m_reset(new ReaderReset(link, m_log, this)) {
    ui::nameScreen(this, QStringLiteral("pgmform"), QStringLiteral("Program Reader"));
    ui::fillGrey(this);

    const QFont font = ui::screenFont(false);
    m_leftList = makeList(Control::LeftList, 120, this);
    m_rightList = makeList(Control::RightList, 5160, this);
    m_leftList->setFont(font);
    m_rightList->setFont(font);
    bindList(m_leftList, m_log, ProgressList::Left, &m_lastWritten);
    bindList(m_rightList, m_log, ProgressList::Right, &m_lastWritten);
    setMinimumSize(twips(5160 + 4935 + 120), twips(120 + 7515 + 120));

    // The final message of a run or reset is the last line written: the focus goes there so
    // it is read out.
    connect(m_run, &ProgramRun::finished, this, [this] { focusLastLine(); });
    connect(m_reset, &ReaderReset::finished, this, [this] { focusLastLine(); });

    connect(m_run, &ProgramRun::finished, this, &PgmForm::programFinished);
    connect(m_run, &ProgramRun::refused, this, &PgmForm::showBusy);
    connect(m_reset, &ReaderReset::finished, this, &PgmForm::resetFinished);
    connect(m_reset, &ReaderReset::refused, this, &PgmForm::showBusy);
}

bool PgmForm::doReset() {
    return m_reset->start();
}

bool PgmForm::doProgram() {
    return m_run->start();
}

bool PgmForm::isProgramming() const {
    return m_run->isActive();
}

void PgmForm::showBusy(const QString &operation) {
    emit refused(operation);
    ui::openNotice(this, windowTitle(),
                   QStringLiteral("The link is busy: %1 is running.").arg(operation),
                   QMessageBox::Information);
}

void PgmForm::focusLastLine() {
    // Only while the user is on this screen: the focus is not taken from another one.
    QWidget *focus = QApplication::focusWidget();
    if (!m_lastWritten || !isVisible() || (focus && !isAncestorOf(focus)))
        return;
    // Lines end with a line break: the final message is the last block with text.
    QTextCursor cursor(m_lastWritten->document());
    cursor.movePosition(QTextCursor::End);
    while (cursor.block().text().trimmed().isEmpty() &&
           cursor.movePosition(QTextCursor::PreviousBlock)) {
    }
    cursor.movePosition(QTextCursor::StartOfBlock);
    m_lastWritten->setTextCursor(cursor);
    m_lastWritten->setFocus(Qt::OtherFocusReason);
}

} // namespace varo::config

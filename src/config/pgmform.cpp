#include "pgmform.h"

#include "progresslog.h"
#include "readerreset.h"
#include "screenstyle.h"

#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace varo::config {

namespace {

constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}

QPlainTextEdit *makeList(const QString &name, int leftTwips, QWidget *parent) {
    auto *list = new QPlainTextEdit(parent);
    list->setObjectName(name);
    list->setReadOnly(true);
    list->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setGeometry(px(leftTwips), px(120), px(4935), px(7515));
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, kScreenBackground);
    palette.setColor(QPalette::Text, Qt::black);
    list->setPalette(palette);
    return list;
}

// Mirrors one list of the log: appended text goes to the end of the document without moving
// the user's selection.
void bindList(QPlainTextEdit *view, ProgressLog *log, ProgressList list) {
    QObject::connect(log, &ProgressLog::appended, view,
                     [view, list](ProgressList target, const QString &text) {
                         if (target != list)
                             return;
                         QTextCursor end(view->document());
                         end.movePosition(QTextCursor::End);
                         end.insertText(text);
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
    setObjectName(QStringLiteral("pgmform"));
    setWindowTitle(QStringLiteral("Program Reader"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kScreenBackground);
    setPalette(palette);
    setAutoFillBackground(true);

    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    m_picture1 = makeList(QStringLiteral("Picture1"), 120, this);
    m_picture2 = makeList(QStringLiteral("Picture2"), 5160, this);
    m_picture1->setFont(font);
    m_picture2->setFont(font);
    bindList(m_picture1, m_log, ProgressList::Picture1);
    bindList(m_picture2, m_log, ProgressList::Picture2);
    setMinimumSize(px(5160 + 4935 + 120), px(120 + 7515 + 120));

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
    auto *box = new QMessageBox(QMessageBox::Information, windowTitle(),
                                QStringLiteral("The link is busy: %1 is running.").arg(operation),
                                QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace varo::config

#include "config/ui/fieldbinder.h"

#include "config/configmodel.h"
#include "config/ui/fieldvalidator.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>

namespace varo::config {

namespace {

constexpr int kLineEditChrome = 12; // frame, text margins and cursor of a line edit

} // namespace

FieldBinder::FieldBinder(ConfigModel *model, QWidget *screen)
    : QObject(screen)
    , m_model(model)
    , m_screen(screen) {
    connect(model, &ConfigModel::fieldChanged, this, &FieldBinder::refresh);
}

QCheckBox *FieldBinder::check(const QString &field, const QString &caption, QWidget *parent) {
    auto *box = new QCheckBox(caption, parent);
    connect(box, &QCheckBox::clicked, this,
            [this, field](bool checked) { m_model->setCheck(field, checked ? 1 : 0); });
    adopt(field, box);
    return box;
}

QRadioButton *FieldBinder::option(const QString &field, const QString &caption, QWidget *parent) {
    auto *button = new QRadioButton(caption, parent);
    connect(button, &QRadioButton::clicked, this, [this, field](bool checked) {
        if (checked)
            m_model->select(field);
    });
    adopt(field, button);
    return button;
}

QLineEdit *FieldBinder::text(const QString &field, QWidget *parent) {
    auto *edit = new QLineEdit(parent);
    edit->setValidator(new FieldValidator(m_model, field, edit));
    const FieldInfo &info = m_model->info(field);
    // Room for the typing limit, and for the two characters of the defaults longer than it.
    const int chars = std::max(info.maxLength, 2);
    const QString widest(chars, info.rule == InputRule::Hex ? u'D' : u'0');
    edit->setFixedWidth(QFontMetrics(m_screen->font()).horizontalAdvance(widest) + kLineEditChrome);
    connect(edit, &QLineEdit::textEdited, this,
            [this, field](const QString &text) { m_model->setText(field, text); });
    adopt(field, edit);
    return edit;
}

void FieldBinder::adopt(const QString &field, QWidget *control) {
    control->setObjectName(m_model->info(field).objectName);
    m_controls.insert(field, control);
    if (m_model->isHidden(field))
        control->setHidden(true);
    refresh(field);
}

void FieldBinder::refresh(const QString &field) {
    QWidget *control = m_controls.value(field);
    if (!control)
        return;
    control->setEnabled(m_model->isEnabled(field));
    if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        const QString text = m_model->text(field);
        if (edit->text() != text)
            edit->setText(text);
    } else if (auto *radio = qobject_cast<QRadioButton *>(control)) {
        radio->setChecked(m_model->isSelected(field));
    } else if (auto *box = qobject_cast<QCheckBox *>(control)) {
        box->setChecked(m_model->check(field) == 1);
    }
}

} // namespace varo::config

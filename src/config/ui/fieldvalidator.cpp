#include "config/ui/fieldvalidator.h"

#include "config/configmodel.h"
#include "config/keystrokerule.h"

namespace varo::config {

FieldValidator::FieldValidator(const ConfigModel *model, const QString &field, QObject *parent)
    : QValidator(parent)
    , m_model(model)
    , m_field(field) {}

QValidator::State FieldValidator::validate(QString &input, int &pos) const {
    Q_UNUSED(pos);
    if (!m_model)
        return Acceptable;
    const FieldInfo &info = m_model->info(m_field);
    const std::optional<QString> kept =
        acceptEdit(info.rule, info.maxLength, m_model->text(m_field), input);
    if (!kept)
        return Invalid;
    input = *kept;
    return Acceptable;
}

} // namespace varo::config

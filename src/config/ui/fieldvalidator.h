#pragma once

#include <QPointer>
#include <QString>
#include <QValidator>

namespace varo::config {

class ConfigModel;

// Applies the keystroke rule of a setup text field to every edit of its line edit, typed or
// pasted: refused edits leave the text unchanged, typed hex letters become upper case. The
// field's current text in the model is always acceptable, so a longer text set by the program
// stays as it is.
class FieldValidator : public QValidator {
    Q_OBJECT
public:
    FieldValidator(const ConfigModel *model, const QString &field, QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;

private:
    QPointer<const ConfigModel> m_model;
    QString m_field;
};

} // namespace varo::config

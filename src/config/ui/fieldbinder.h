#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace varo::config {

class ConfigModel;

// Makes the controls of one setup screen and keeps each bound to its model field both ways:
// user edits go to the model, model changes (values, enabled state) come back to the control.
// Fields are named by their keys; each control takes the object name the catalog gives its field
// ("Check1_17"). Hidden fields get a control that is never shown.
class FieldBinder : public QObject {
    Q_OBJECT
public:
    FieldBinder(ConfigModel *model, QWidget *screen);

    QCheckBox *check(const QString &field, const QString &caption, QWidget *parent);
    QRadioButton *option(const QString &field, const QString &caption, QWidget *parent);
    QLineEdit *text(const QString &field, QWidget *parent);

    QWidget *control(const QString &field) const { return m_controls.value(field); }
    ConfigModel *model() const { return m_model; }

private:
    void adopt(const QString &field, QWidget *control);
    void refresh(const QString &field);

    ConfigModel *m_model;
    QWidget *m_screen;
    QHash<QString, QPointer<QWidget>> m_controls;
};

} // namespace varo::config

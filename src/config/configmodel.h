#pragma once

#include "fieldcatalog.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

namespace varo::config {

// The reader configuration: every field of the setup screens `general`, `wiegand`, `barcode`
// and `commports`, addressed by its key ("wiegand.format1.site.start", "general.prox.enabled").
// The screens are views of this model; the defaults, the validation and the programming commands
// read and write it directly.
//
// Fields start as the screens would be created: check boxes 0, no option selected, texts empty,
// the cells of the catalog disabled or hidden. Programmatic writes ignore the enabled state and
// the typing limit (a default may be longer than the user could type).
//
// The Const rule is part of the model: writing a mask row's Const box (even with its current
// value) sets the row's Start text to "00" and disables it when the value is 1, and enables the
// Start field otherwise.
//
// Unknown field keys are programming errors: they assert in debug builds and read as empty.
class ConfigModel : public QObject {
    Q_OBJECT
public:
    explicit ConfigModel(QObject *parent = nullptr);

    bool contains(const QString &field) const { return m_index.contains(field); }
    const FieldInfo &info(const QString &field) const;
    // The fields of one screen in catalog order.
    QStringList fieldNames(SetupScreen screen) const;

    // Check box value: 0 or 1.
    int check(const QString &field) const;
    void setCheck(const QString &field, int value);

    bool isSelected(const QString &field) const;
    // Selects an option button and clears the other members of its group.
    void select(const QString &field);
    // The selected member of an option group ("barcode.priority"); empty when none.
    QString selectedIn(const QString &group) const;

    // A check box with value 1 or a selected option button.
    bool isOn(const QString &field) const;

    QString text(const QString &field) const;
    void setText(const QString &field, const QString &text);

    bool isEnabled(const QString &field) const;
    void setEnabled(const QString &field, bool enabled);
    bool isHidden(const QString &field) const;

    // Renewed with every change of a value or an enabled state, and unique across all models
    // of the process: what was derived from a model (checks, command texts) still holds while
    // its revision stays the same, and a revision alone names the state it was derived from.
    quint64 revision() const { return m_revision; }

signals:
    // The value or the enabled state of `field` changed.
    void fieldChanged(const QString &field);

private:
    struct State {
        FieldInfo info;
        int check = 0;
        bool selected = false;
        QString text;
        bool enabled = true;
    };

    State *find(const QString &field);
    const State *find(const QString &field) const;
    void applyConstRule(const QString &constBox, int value);

    QList<State> m_fields;
    QHash<QString, qsizetype> m_index;
    QHash<QString, QString> m_constStart; // Const box -> Start field of its mask row
    quint64 m_revision;
};

} // namespace varo::config

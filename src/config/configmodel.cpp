#include "configmodel.h"

#include <QtGlobal>

#include <atomic>

namespace varo::config {

namespace {

quint64 nextRevision() {
    static std::atomic<quint64> last{0};
    return ++last;
}

} // namespace

ConfigModel::ConfigModel(QObject *parent)
    : QObject(parent)
    , m_revision(nextRevision()) {
    const QList<FieldInfo> &catalog = fieldCatalog();
    m_fields.reserve(catalog.size());
    for (const FieldInfo &info : catalog) {
        m_index.insert(info.key, m_fields.size());
        m_fields.append({info, 0, false, {}, !info.disabled});
    }
    for (const ConstPair &pair : constPairs())
        m_constStart.insert(pair.constBox, pair.startField);
}

ConfigModel::State *ConfigModel::find(const QString &field) {
    const auto it = m_index.constFind(field);
    Q_ASSERT_X(it != m_index.cend(), "ConfigModel", qPrintable(field));
    return it == m_index.cend() ? nullptr : &m_fields[*it];
}

const ConfigModel::State *ConfigModel::find(const QString &field) const {
    const auto it = m_index.constFind(field);
    Q_ASSERT_X(it != m_index.cend(), "ConfigModel", qPrintable(field));
    return it == m_index.cend() ? nullptr : &m_fields[*it];
}

const FieldInfo &ConfigModel::info(const QString &field) const {
    static const FieldInfo kNone;
    const State *state = find(field);
    return state ? state->info : kNone;
}

QStringList ConfigModel::fieldNames(SetupScreen screen) const {
    QStringList names;
    for (const State &state : m_fields) {
        if (state.info.screen == screen)
            names.append(state.info.key);
    }
    return names;
}

int ConfigModel::check(const QString &field) const {
    const State *state = find(field);
    return state ? state->check : 0;
}

void ConfigModel::setCheck(const QString &field, int value) {
    State *state = find(field);
    if (!state)
        return;
    const int normalized = value != 0 ? 1 : 0;
    if (state->check != normalized) {
        state->check = normalized;
        m_revision = nextRevision();
        emit fieldChanged(field);
    }
    applyConstRule(field, normalized);
}

void ConfigModel::applyConstRule(const QString &constBox, int value) {
    const auto it = m_constStart.constFind(constBox);
    if (it == m_constStart.cend())
        return;
    if (value == 1) {
        setText(*it, QStringLiteral("00"));
        setEnabled(*it, false);
    } else {
        setEnabled(*it, true);
    }
}

bool ConfigModel::isSelected(const QString &field) const {
    const State *state = find(field);
    return state && state->selected;
}

void ConfigModel::select(const QString &field) {
    const State *chosen = find(field);
    if (!chosen || chosen->info.kind != FieldKind::Option)
        return;
    const QString group = chosen->info.group;
    QStringList changed;
    for (State &state : m_fields) {
        if (state.info.kind != FieldKind::Option || state.info.group != group)
            continue;
        const bool selected = state.info.key == field;
        if (state.selected != selected) {
            state.selected = selected;
            m_revision = nextRevision();
            changed.append(state.info.key);
        }
    }
    // Announced once the group is consistent again.
    for (const QString &name : std::as_const(changed))
        emit fieldChanged(name);
}

QString ConfigModel::selectedIn(const QString &group) const {
    for (const State &state : m_fields) {
        if (state.info.kind == FieldKind::Option && state.info.group == group && state.selected)
            return state.info.key;
    }
    return {};
}

bool ConfigModel::isOn(const QString &field) const {
    const State *state = find(field);
    if (!state)
        return false;
    return state->info.kind == FieldKind::Option ? state->selected : state->check == 1;
}

QString ConfigModel::text(const QString &field) const {
    const State *state = find(field);
    return state ? state->text : QString();
}

void ConfigModel::setText(const QString &field, const QString &text) {
    State *state = find(field);
    if (!state || state->text == text)
        return;
    state->text = text;
    m_revision = nextRevision();
    emit fieldChanged(field);
}

bool ConfigModel::isEnabled(const QString &field) const {
    const State *state = find(field);
    return state && state->enabled;
}

void ConfigModel::setEnabled(const QString &field, bool enabled) {
    State *state = find(field);
    if (!state || state->enabled == enabled)
        return;
    state->enabled = enabled;
    m_revision = nextRevision();
    emit fieldChanged(field);
}

bool ConfigModel::isHidden(const QString &field) const {
    const State *state = find(field);
    return state && state->info.hidden;
}

} // namespace varo::config

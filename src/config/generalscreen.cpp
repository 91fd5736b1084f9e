#include "generalscreen.h"

#include "configmodel.h"
#include "fieldbinder.h"
#include "screenstyle.h"

#include "ui/controlnames.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace varo::config {

namespace {

// One row of a group: a check box, or a caption with its text field.
struct Item {
    const char *field; // without the "general." prefix
    const char *caption;
    const char *toolTip = nullptr;
};

QGroupBox *makeGroup(FieldBinder *binder, const QString &title, std::initializer_list<Item> items,
                     QWidget *parent) {
    auto *group = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(group);
    compactGrid(grid);
    int row = 0;
    for (const Item &item : items) {
        const QString field = QStringLiteral("general.") + QLatin1String(item.field);
        const QString text = QLatin1String(item.caption);
        if (field.contains(QLatin1String(".Check"))) {
            grid->addWidget(binder->check(field, text, group), row, 0, 1, 2);
        } else {
            QLabel *label = caption(text, group);
            QLineEdit *edit = binder->text(field, group);
            ui::nameByCaption(label, edit);
            if (item.toolTip) {
                edit->setToolTip(QLatin1String(item.toolTip));
                label->setToolTip(QLatin1String(item.toolTip));
            }
            grid->addWidget(label, row, 0);
            grid->addWidget(edit, row, 1, Qt::AlignLeft);
        }
        ++row;
    }
    grid->setColumnStretch(2, 1);
    return group;
}

} // namespace

GeneralScreen::GeneralScreen(ConfigModel *model, QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("general"));
    setWindowTitle(QStringLiteral("General Setup"));
    applyScreenStyle(this);
    m_binder = new FieldBinder(model, this);

    auto *left = new QVBoxLayout;
    left->addWidget(makeGroup(
        m_binder, QStringLiteral("Proximity Settings"),
        {{"Check9", "Prox On"}, {"Check5", "Beep on Good Read"}, {"Check8", "Masking On"}}, this));
    left->addWidget(makeGroup(
        m_binder, QStringLiteral("Barcode Settings"),
        {{"Check12", "Barcode On"}, {"Check10", "Beep on Good Read"}, {"Check11", "Masking On"}},
        this));
    left->addWidget(makeGroup(
        m_binder, QStringLiteral("Magstripe Settings"),
        {{"Check4", "Magstripe On"}, {"Check2", "Beep on Good Read"}, {"Check3", "Masking On"}},
        this));
    left->addStretch();

    auto *middle = new QVBoxLayout;
    middle->addWidget(
        makeGroup(m_binder, QStringLiteral("Speaker Settings"),
                  {{"Text5(6)", "Good Read Time", "Good Read Time in 10ms intervals, max=99"},
                   {"Text5(2)", "Frequency (hex)"},
                   {"Text5(4)", "Duty Cycle On*"},
                   {"Text5(5)", "Duty Cycle Off*"},
                   {"Check13", "Startup Tone ON"}},
                  this));
    middle->addWidget(makeGroup(m_binder, QStringLiteral("Led 1"),
                                {{"Check6", "Power On (red)"},
                                 {"Check15", "Bad Read (red)"},
                                 {"Check16", "Good Read (green)"},
                                 {"Text5(1)", "Good Read Time"}},
                                this));
    middle->addWidget(makeGroup(m_binder, QStringLiteral("Led 2"),
                                {{"Check17", "Power On (green)"},
                                 {"Check14", "Good Read (green)"},
                                 {"Text5(3)", "Good Read Time"}},
                                this));
    middle->addStretch();

    auto *right = new QVBoxLayout;
    right->addWidget(makeGroup(m_binder, QStringLiteral("Storage Settings"),
                               {{"Text5(0)", "ID Length"},
                                {"Check1", "Include Date/Time"},
                                {"Check7", "Include Reader ID"},
                                {"Check18", "Include Reader Description"},
                                {"Text5(7)", "Reader ID"},
                                {"Text5(8)", "Reader Description"}},
                               this));
    right->addStretch();

    auto *columns = new QHBoxLayout(this);
    columns->addLayout(left);
    columns->addLayout(middle);
    columns->addLayout(right);
    columns->addStretch();
}

} // namespace varo::config

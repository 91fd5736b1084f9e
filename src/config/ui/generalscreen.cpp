#include "config/ui/generalscreen.h"

#include "config/configmodel.h"
#include "config/ui/fieldbinder.h"
#include "ui/screenstyle.h"

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
    const char *key; // without the "general." prefix
    const char *caption;
    const char *toolTip = nullptr;
};

QGroupBox *makeGroup(FieldBinder *binder, const QString &title, std::initializer_list<Item> items,
                     QWidget *parent) {
    auto *group = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    int row = 0;
    for (const Item &item : items) {
        const QString field = QStringLiteral("general.") + QLatin1String(item.key);
        const QString text = QLatin1String(item.caption);
        if (binder->model()->info(field).kind == FieldKind::Check) {
            grid->addWidget(binder->check(field, text, group), row, 0, 1, 2);
        } else {
            QLabel *label = ui::caption(text, group);
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
    ui::nameScreen(this, QStringLiteral("general"), QStringLiteral("General Setup"));
    ui::applyScreenStyle(this);
    m_binder = new FieldBinder(model, this);

    auto *left = new QVBoxLayout;
    left->addWidget(makeGroup(m_binder, QStringLiteral("Proximity Settings"),
                              {{"prox.enabled", "Prox On"},
                               {"prox.goodReadBeep", "Beep on Good Read"},
                               {"prox.masking", "Masking On"}},
                              this));
    left->addWidget(makeGroup(m_binder, QStringLiteral("Barcode Settings"),
                              {{"barcode.enabled", "Barcode On"},
                               {"barcode.goodReadBeep", "Beep on Good Read"},
                               {"barcode.masking", "Masking On"}},
                              this));
    left->addWidget(makeGroup(m_binder, QStringLiteral("Magstripe Settings"),
                              {{"magstripe.enabled", "Magstripe On"},
                               {"magstripe.goodReadBeep", "Beep on Good Read"},
                               {"magstripe.masking", "Masking On"}},
                              this));
    left->addStretch();

    auto *middle = new QVBoxLayout;
    middle->addWidget(makeGroup(
        m_binder, QStringLiteral("Speaker Settings"),
        {{"speaker.goodReadTime", "Good Read Time", "Good Read Time in 10ms intervals, max=99"},
         {"speaker.frequencyHex", "Frequency (hex)"},
         {"speaker.dutyCycleOn", "Duty Cycle On*"},
         {"speaker.dutyCycleOff", "Duty Cycle Off*"},
         {"speaker.startupTone", "Startup Tone ON"}},
        this));
    middle->addWidget(makeGroup(m_binder, QStringLiteral("Led 1"),
                                {{"led1.powerOnRed", "Power On (red)"},
                                 {"led1.badReadRed", "Bad Read (red)"},
                                 {"led1.goodReadGreen", "Good Read (green)"},
                                 {"led1.goodReadTime", "Good Read Time"}},
                                this));
    middle->addWidget(makeGroup(m_binder, QStringLiteral("Led 2"),
                                {{"led2.powerOnGreen", "Power On (green)"},
                                 {"led2.goodReadGreen", "Good Read (green)"},
                                 {"led2.goodReadTime", "Good Read Time"}},
                                this));
    middle->addStretch();

    auto *right = new QVBoxLayout;
    right->addWidget(makeGroup(m_binder, QStringLiteral("Storage Settings"),
                               {{"storage.idLength", "ID Length"},
                                {"storage.includeDateTime", "Include Date/Time"},
                                {"storage.includeReaderId", "Include Reader ID"},
                                {"storage.includeReaderDescription", "Include Reader Description"},
                                {"storage.readerId", "Reader ID"},
                                {"storage.readerDescription", "Reader Description"}},
                               this));
    right->addStretch();

    auto *columns = new QHBoxLayout(this);
    columns->addLayout(left);
    columns->addLayout(middle);
    columns->addLayout(right);
    columns->addStretch();
}

} // namespace varo::config

#include "config/ui/commportsscreen.h"

#include "config/configmodel.h"
#include "config/ui/fieldbinder.h"
#include "ui/screenstyle.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace varo::config {

namespace {

struct Member {
    const char *key; // without the "commports." prefix
    const char *caption;
};

QGroupBox *optionGroup(FieldBinder *binder, const QString &title,
                       std::initializer_list<Member> members, int perColumn, QWidget *parent) {
    auto *group = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    int n = 0;
    for (const Member &m : members) {
        const QString field = QStringLiteral("commports.") + QLatin1String(m.key);
        grid->addWidget(binder->option(field, QLatin1String(m.caption), group), n % perColumn,
                        n / perColumn);
        ++n;
    }
    return group;
}

QGroupBox *portGroup(FieldBinder *binder, const QString &title, std::initializer_list<Member> baud,
                     std::initializer_list<Member> parity, QWidget *parent) {
    auto *group = new QGroupBox(title, parent);
    auto *row = new QHBoxLayout(group);
    row->addWidget(optionGroup(binder, QStringLiteral("Baud Rate"), baud, 4, group), 0,
                   Qt::AlignTop);
    row->addWidget(optionGroup(binder, QStringLiteral("Parity"), parity, 3, group), 0,
                   Qt::AlignTop);
    return group;
}

} // namespace

CommportsScreen::CommportsScreen(ConfigModel *model, QWidget *parent)
    : QWidget(parent) {
    ui::nameScreen(this, QStringLiteral("commports"), QStringLiteral("Reader Ports"));
    ui::applyScreenStyle(this);
    m_binder = new FieldBinder(model, this);

    auto *page = new QVBoxLayout(this);
    auto *ports = new QHBoxLayout;
    ports->addWidget(portGroup(m_binder, QStringLiteral("RS232 Port Settings"),
                               {{"rs232.baud.1200", "1200"},
                                {"rs232.baud.2400", "2400"},
                                {"rs232.baud.4800", "4800"},
                                {"rs232.baud.9600", "9600"},
                                {"rs232.baud.19200", "19200"},
                                {"rs232.baud.38400", "38400"},
                                {"rs232.baud.57600", "57600"},
                                {"rs232.baud.115200", "115200"}},
                               {{"rs232.parity.8none", "8 no parity"},
                                {"rs232.parity.7even", "7 Even"},
                                {"rs232.parity.7odd", "7 odd"}},
                               this));
    ports->addWidget(portGroup(m_binder, QStringLiteral("RS422 Port Settings"),
                               {{"rs422.baud.1200", "1200"},
                                {"rs422.baud.2400", "2400"},
                                {"rs422.baud.4800", "4800"},
                                {"rs422.baud.9600", "9600"},
                                {"rs422.baud.19200", "19200"},
                                {"rs422.baud.38400", "38400"},
                                {"rs422.baud.57600", "57600"},
                                {"rs422.baud.115200", "115200"}},
                               {{"rs422.parity.8none", "8 no parity"},
                                {"rs422.parity.7even", "7 Even"},
                                {"rs422.parity.7odd", "7 odd"}},
                               this));
    ports->addStretch();
    page->addLayout(ports);
    page->addStretch();
}

} // namespace varo::config

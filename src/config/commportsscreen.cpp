#include "commportsscreen.h"

#include "configmodel.h"
#include "fieldbinder.h"
#include "screenstyle.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace varo::config {

namespace {

struct Member {
    const char *control;
    int index;
    const char *caption;
};

QGroupBox *optionGroup(FieldBinder *binder, const QString &title,
                       std::initializer_list<Member> members, int perColumn, QWidget *parent) {
    auto *group = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(group);
    compactGrid(grid);
    int n = 0;
    for (const Member &m : members) {
        const QString field = fieldName(kCommports, QLatin1String(m.control), m.index);
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
    setObjectName(QStringLiteral("commports"));
    setWindowTitle(QStringLiteral("Reader Ports"));
    applyScreenStyle(this);
    m_binder = new FieldBinder(model, this);

    auto *page = new QVBoxLayout(this);
    auto *ports = new QHBoxLayout;
    ports->addWidget(portGroup(
        m_binder, QStringLiteral("RS232 Port Settings"),
        {{"Option1", 0, "1200"},
         {"Option2", 0, "2400"},
         {"Option3", 0, "4800"},
         {"Option1", 2, "9600"},
         {"Option2", 1, "19200"},
         {"Option3", 1, "38400"},
         {"Option1", 3, "57600"},
         {"Option2", 2, "115200"}},
        {{"Option5", 1, "8 no parity"}, {"Option1", 4, "7 Even"}, {"Option4", 1, "7 odd"}}, this));
    ports->addWidget(portGroup(
        m_binder, QStringLiteral("RS422 Port Settings"),
        {{"Option1", 8, "1200"},
         {"Option2", 5, "2400"},
         {"Option3", 3, "4800"},
         {"Option1", 7, "9600"},
         {"Option2", 4, "19200"},
         {"Option3", 2, "38400"},
         {"Option1", 6, "57600"},
         {"Option2", 3, "115200"}},
        {{"Option5", 2, "8 no parity"}, {"Option1", 5, "7 Even"}, {"Option4", 2, "7 odd"}}, this));
    ports->addStretch();
    page->addLayout(ports);
    page->addStretch();
}

} // namespace varo::config

#include "config/ui/barcodescreen.h"

#include "config/configmodel.h"
#include "config/fieldkeys.h"
#include "config/ui/fieldbinder.h"
#include "ui/screenstyle.h"

#include "ui/controlnames.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace varo::config {

namespace {

QString field(const char *key) {
    return QStringLiteral("barcode.") + QLatin1String(key);
}

// Row captions of the symbology grid; row 3 has none and stays hidden.
constexpr const char *kSymbologyCaptions[9] = {"Code39",   "I 2/5", "S 2/5", "",       "Codabar",
                                               "Code 128", "Upca",  "Ean13", "Ind 2/5"};

// The check boxes left of "Len" and under "Transmit", by their keys in a symbology row.
constexpr const char *kLeftChecks[3] = {"enabled", "checkDigit", "bars.enabled"};
constexpr const char *kTransmitChecks[5] = {"transmit.checkDigit", "transmit.startStop",
                                            "transmit.direction", "transmit.prefix",
                                            "transmit.suffix"};

// Grid columns.
enum Column {
    kCaptionColumn = 0,
    kEnblColumn = 1, // Enbl, CD, XB
    kLenColumn = 4,
    kBarsColumn = 5,
    kTransmitColumn = 6, // CD, SS, Dir, Pre, Suf
    kPrefixColumn = 11,
    kSuffixColumn = 16,
    kHeadingRow = 1,
    kFirstRow = 2
};

QGroupBox *symbologyGroup(FieldBinder *binder, QWidget *parent) {
    auto *group = new QGroupBox(parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    grid->setHorizontalSpacing(3);

    grid->addWidget(ui::caption(QStringLiteral("Transmit"), group), 0, kTransmitColumn, 1, 5,
                    Qt::AlignHCenter);
    static constexpr const char *kHeadings[10] = {"Enbl", "CD", "XB",  "Len", "# Bars",
                                                  "CD",   "SS", "Dir", "Pre", "Suf"};
    for (int c = 0; c < 10; ++c)
        grid->addWidget(ui::caption(QLatin1String(kHeadings[c]), group), kHeadingRow,
                        kEnblColumn + c, Qt::AlignHCenter);
    grid->addWidget(ui::caption(QStringLiteral("Prefix"), group), kHeadingRow, kPrefixColumn, 1, 5,
                    Qt::AlignHCenter);
    grid->addWidget(ui::caption(QStringLiteral("Suffix"), group), kHeadingRow, kSuffixColumn, 1, 5,
                    Qt::AlignHCenter);

    for (int r = 0; r < 9; ++r) {
        const int row = kFirstRow + r;
        const QString symbology = QLatin1String(kSymbologyCaptions[r]);
        const char *key = kSymbologies[r];
        // Each control is announced by its row and column captions ("Code39 Enbl",
        // "Code39 Transmit CD", "Code39 Prefix 2").
        auto cell = [&symbology](QWidget *control, const QString &column) {
            ui::nameIfUnnamed(control, symbology + QLatin1Char(' ') + column);
            return control;
        };
        QLabel *label = ui::caption(symbology, group);
        grid->addWidget(label, row, kCaptionColumn);
        if (r == 3)
            label->setHidden(true);
        for (int c = 0; c < 3; ++c)
            grid->addWidget(cell(binder->check(symbologyField(key, kLeftChecks[c]), {}, group),
                                 QLatin1String(kHeadings[c])),
                            row, kEnblColumn + c, Qt::AlignHCenter);
        grid->addWidget(
            cell(binder->text(symbologyField(key, "length"), group), QStringLiteral("Len")), row,
            kLenColumn, Qt::AlignHCenter);
        grid->addWidget(
            cell(binder->text(symbologyField(key, "bars.count"), group), QStringLiteral("# Bars")),
            row, kBarsColumn, Qt::AlignHCenter);
        for (int c = 0; c < 5; ++c)
            grid->addWidget(cell(binder->check(symbologyField(key, kTransmitChecks[c]), {}, group),
                                 QStringLiteral("Transmit ") + QLatin1String(kHeadings[5 + c])),
                            row, kTransmitColumn + c, Qt::AlignHCenter);
        for (int k = 0; k < 5; ++k) {
            grid->addWidget(cell(binder->text(affixField(key, "prefix", k + 1), group),
                                 QStringLiteral("Prefix %1").arg(k + 1)),
                            row, kPrefixColumn + k);
            grid->addWidget(cell(binder->text(affixField(key, "suffix", k + 1), group),
                                 QStringLiteral("Suffix %1").arg(k + 1)),
                            row, kSuffixColumn + k);
        }
    }
    return group;
}

// "Mask # 1" and "Mask # 2", each with the rows Mask 1 to Mask 5.
QGroupBox *maskGroup(FieldBinder *binder, int block, QWidget *parent) {
    auto *group = new QGroupBox(QStringLiteral("Mask # %1").arg(block + 1), parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    grid->addWidget(ui::caption(QStringLiteral("Const"), group), 0, 1);
    grid->addWidget(ui::caption(QStringLiteral("Start"), group), 0, 2);
    grid->addWidget(ui::caption(QStringLiteral("Len/Value"), group), 0, 3);
    for (int k = 0; k < 5; ++k) {
        const int row = k + 1;
        const QString rowCaption = QStringLiteral("Mask %1").arg(k + 1);
        auto cell = [&rowCaption](QWidget *control, const char *column) {
            ui::nameIfUnnamed(control, rowCaption + QLatin1Char(' ') + QLatin1String(column));
            return control;
        };
        grid->addWidget(ui::caption(rowCaption, group), row, 0);
        grid->addWidget(
            cell(binder->check(maskRowField(SetupScreen::Barcode, block + 1, k + 1, "const"), {},
                               group),
                 "Const"),
            row, 1, Qt::AlignLeft);
        grid->addWidget(
            cell(binder->text(maskRowField(SetupScreen::Barcode, block + 1, k + 1, "start"), group),
                 "Start"),
            row, 2, Qt::AlignLeft);
        grid->addWidget(
            cell(binder->text(maskRowField(SetupScreen::Barcode, block + 1, k + 1, "lenValue"),
                              group),
                 "Len/Value"),
            row, 3, Qt::AlignLeft);
    }
    QLabel *length = ui::caption(QStringLiteral("Length"), group);
    QLineEdit *lengthEdit =
        binder->text(QStringLiteral("barcode.mask%1.length").arg(block + 1), group);
    ui::nameByCaption(length, lengthEdit);
    grid->addWidget(length, 6, 0);
    grid->addWidget(lengthEdit, 6, 2, Qt::AlignLeft);
    return group;
}

QWidget *optionsPanel(FieldBinder *binder, QWidget *parent) {
    auto *panel = new QWidget(parent);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(binder->check(field("cacUsid"), QStringLiteral("CAC/USID"), panel));
    column->addWidget(binder->check(field("alphaDelete"), QStringLiteral("Alpha Delete"), panel));
    auto *timeout = new QHBoxLayout;
    QLabel *label = ui::caption(QStringLiteral("Timeout"), panel);
    QLineEdit *edit = binder->text(field("timeout"), panel);
    ui::nameByCaption(label, edit);
    timeout->addWidget(label);
    timeout->addWidget(edit);
    timeout->addStretch();
    column->addLayout(timeout);

    auto *priority = new QGroupBox(QStringLiteral("Prioritiy"), panel);
    auto *buttons = new QVBoxLayout(priority);
    buttons->setContentsMargins(6, 4, 6, 4);
    buttons->setSpacing(2);
    buttons->addWidget(binder->option(field("priority.none"), QStringLiteral("None"), priority));
    buttons->addWidget(binder->option(field("priority.small"), QStringLiteral("Small"), priority));
    buttons->addWidget(binder->option(field("priority.large"), QStringLiteral("Large"), priority));
    column->addWidget(priority);
    column->addStretch();
    return panel;
}

} // namespace

BarcodeScreen::BarcodeScreen(ConfigModel *model, QWidget *parent)
    : QWidget(parent) {
    ui::nameScreen(this, QStringLiteral("barcode"), QStringLiteral("Barcode Setup"));
    ui::applyScreenStyle(this);
    m_binder = new FieldBinder(model, this);

    auto *grid = new QHBoxLayout;
    grid->addWidget(symbologyGroup(m_binder, this));
    grid->addStretch();

    auto *lower = new QHBoxLayout;
    lower->addWidget(maskGroup(m_binder, 0, this));
    lower->addWidget(maskGroup(m_binder, 1, this));
    lower->addWidget(optionsPanel(m_binder, this));
    lower->addStretch();

    auto *page = new QVBoxLayout(this);
    page->addLayout(grid);
    page->addLayout(lower);
    page->addStretch();
}

} // namespace varo::config

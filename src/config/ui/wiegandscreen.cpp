#include "config/ui/wiegandscreen.h"

#include "config/wiegandformats.h"

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
#include <QVBoxLayout>

namespace varo::config {

namespace {

constexpr const char *kFormatTitles[3] = {"Wie/Prox Format # 1", "Wie/Prox Format # 2",
                                          "Wie/Prox Format # 3"};
constexpr const char *kFormatRowCaptions[3] = {"Site", "ID", "Issue"};

// The titles of the mask blocks 1 to 3; each has the rows "Mask 1" to "Mask 5".
constexpr const char *kMaskTitles[3] = {"Wie/Prox/Mag Mask 1", "Wie/Prox Mask 2",
                                        "Wie/Prox Mask 3"};

// A field of row `row` (from 0) of mask block `block` (from 0).
QString maskField(int block, int row, const char *column) {
    return maskRowField(SetupScreen::Wiegand, block + 1, row + 1, column);
}

void addHeadings(QGridLayout *grid, QWidget *parent, std::initializer_list<const char *> texts) {
    int column = 1;
    for (const char *text : texts)
        grid->addWidget(ui::caption(QLatin1String(text), parent), 0, column++, Qt::AlignLeft);
}

QGroupBox *formatGroup(FieldBinder *binder, int block, QWidget *parent) {
    const FormatFields &format = formatFields()[block];
    auto *group = new QGroupBox(QLatin1String(kFormatTitles[block]), parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    addHeadings(grid, group, {"Start", "Length", "Lsb", "Chars"});
    int row = 1;
    for (const FormatPartFields &r : format.parts) {
        const QString rowCaption = QLatin1String(kFormatRowCaptions[row - 1]);
        // Each control is announced by its row and column captions ("Site Start").
        auto cell = [&rowCaption](QWidget *control, const char *column) {
            ui::nameIfUnnamed(control, rowCaption + QLatin1Char(' ') + QLatin1String(column));
            return control;
        };
        grid->addWidget(ui::caption(rowCaption, group), row, 0);
        grid->addWidget(cell(binder->text(r.start, group), "Start"), row, 1, Qt::AlignLeft);
        grid->addWidget(cell(binder->text(r.length, group), "Length"), row, 2, Qt::AlignLeft);
        grid->addWidget(cell(binder->check(r.lsb, {}, group), "Lsb"), row, 3, Qt::AlignLeft);
        grid->addWidget(cell(binder->text(r.chars, group), "Chars"), row, 4, Qt::AlignLeft);
        ++row;
    }
    QLabel *totalCaption = ui::caption(QStringLiteral("Total Bits"), group);
    QLineEdit *total = binder->text(format.totalBits, group);
    ui::nameByCaption(totalCaption, total);
    grid->addWidget(totalCaption, row, 0);
    grid->addWidget(total, row, 1, Qt::AlignLeft);
    return group;
}

QGroupBox *maskGroup(FieldBinder *binder, int blockIndex, QWidget *parent) {
    auto *group = new QGroupBox(QLatin1String(kMaskTitles[blockIndex]), parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    addHeadings(grid, group, {"Const", "Start", "Len/Value"});
    for (int k = 0; k < 5; ++k) {
        const int row = k + 1;
        const QString rowCaption = QStringLiteral("Mask %1").arg(k + 1);
        auto cell = [&rowCaption](QWidget *control, const char *column) {
            ui::nameIfUnnamed(control, rowCaption + QLatin1Char(' ') + QLatin1String(column));
            return control;
        };
        grid->addWidget(ui::caption(rowCaption, group), row, 0);
        grid->addWidget(cell(binder->check(maskField(blockIndex, k, "const"), {}, group), "Const"),
                        row, 1, Qt::AlignLeft);
        grid->addWidget(cell(binder->text(maskField(blockIndex, k, "start"), group), "Start"), row,
                        2, Qt::AlignLeft);
        grid->addWidget(
            cell(binder->text(maskField(blockIndex, k, "lenValue"), group), "Len/Value"), row, 3,
            Qt::AlignLeft);
    }
    return group;
}

QGroupBox *magstripeGroup(FieldBinder *binder, QWidget *parent) {
    auto *group = new QGroupBox(QStringLiteral("Magstripe"), parent);
    auto *grid = new QGridLayout(group);
    ui::compactGrid(grid);
    static constexpr const char *kKeys[6] = {"cStart",     "track1Set",          "includeStartStop",
                                             "includeLrc", "directionIndicator", "alphaDelete"};
    static constexpr const char *kCaptions[6] = {
        "C Start",     "Track 1 Set",   "Include Start/Stop",
        "Include lrc", "Dir Indicator", "Alpha Delete"};
    for (int n = 0; n < 6; ++n)
        grid->addWidget(
            binder->check(QStringLiteral("wiegand.magstripe.") + QLatin1String(kKeys[n]),
                          QLatin1String(kCaptions[n]), group),
            n / 3, n % 3);
    auto *texts = new QHBoxLayout;
    QLineEdit *length = binder->text(QStringLiteral("wiegand.magstripe.length"), group);
    QLineEdit *separator = binder->text(QStringLiteral("wiegand.magstripe.separatorHex"), group);
    QLabel *lengthLabel = ui::caption(QStringLiteral("Length"), group);
    QLabel *separatorLabel = ui::caption(QStringLiteral("Sep Char (in hex)"), group);
    ui::nameByCaption(lengthLabel, length);
    ui::nameByCaption(separatorLabel, separator);
    texts->addWidget(lengthLabel);
    texts->addWidget(length);
    texts->addSpacing(16);
    texts->addWidget(separatorLabel);
    texts->addWidget(separator);
    texts->addStretch();
    grid->addLayout(texts, 2, 0, 1, 3);
    return group;
}

} // namespace

WiegandScreen::WiegandScreen(ConfigModel *model, QWidget *parent)
    : QWidget(parent) {
    ui::nameScreen(this, QStringLiteral("wiegand"), QStringLiteral("Wie/Prox/Mag Setup"));
    ui::applyScreenStyle(this);
    m_binder = new FieldBinder(model, this);

    auto *formats = new QHBoxLayout;
    for (int block = 0; block < kFormatCount; ++block)
        formats->addWidget(formatGroup(m_binder, block, this));
    formats->addStretch();

    auto *masks = new QHBoxLayout;
    for (int b = 0; b < 3; ++b)
        masks->addWidget(maskGroup(m_binder, b, this));
    masks->addStretch();

    auto *magstripe = new QHBoxLayout;
    magstripe->addWidget(magstripeGroup(m_binder, this));
    magstripe->addStretch();

    auto *page = new QVBoxLayout(this);
    page->addLayout(formats);
    page->addLayout(masks);
    page->addLayout(magstripe);
    page->addWidget(ui::caption(
        QStringLiteral("For Magstripe Masking, use Wie/Prox/Mag Mask 1 settings above"), this));
    page->addStretch();
}

} // namespace varo::config

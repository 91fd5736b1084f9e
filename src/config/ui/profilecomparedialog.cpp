#include "config/ui/profilecomparedialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace varo::config {

ProfileCompareDialog::ProfileCompareDialog(const QString &path,
                                           const QList<ProfileDifference> &differences,
                                           const QString &notes, QWidget *parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("profileCompare"));
    setWindowTitle(QStringLiteral("Reader profile"));
    auto *layout = new QVBoxLayout(this);

    auto *summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("profileSummary"));
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    summary->setText(
        differences.isEmpty()
            ? QStringLiteral("%1\nThe screens already hold every option of this profile.").arg(path)
            : QStringLiteral("%1\n%2 options on the screens differ from this profile.")
                  .arg(path)
                  .arg(differences.size()));
    layout->addWidget(summary);

    if (!notes.isEmpty()) {
        auto *notesView = new QPlainTextEdit(this);
        notesView->setObjectName(QStringLiteral("profileNotes"));
        notesView->setReadOnly(true);
        notesView->setPlainText(notes);
        notesView->setMaximumHeight(notesView->fontMetrics().lineSpacing() * 6);
        layout->addWidget(notesView);
    }

    m_table = new QTableWidget(int(differences.size()), 4, this);
    m_table->setObjectName(QStringLiteral("profileDifferences"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Screen"), QStringLiteral("Option"),
                                        QStringLiteral("On screen"), QStringLiteral("In file")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    int row = 0;
    for (const ProfileDifference &d : differences) {
        const QString cells[] = {screenCaption(d.screen), d.key, d.onScreen, d.inFile};
        for (int column = 0; column < 4; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
        ++row;
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *apply = new QPushButton(QStringLiteral("Apply"), this);
    apply->setObjectName(QStringLiteral("applyProfile"));
    auto *keep = new QPushButton(QStringLiteral("Keep"), this);
    keep->setObjectName(QStringLiteral("keepScreens"));
    keep->setDefault(true);
    buttons->addWidget(apply);
    buttons->addWidget(keep);
    layout->addLayout(buttons);
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(keep, &QPushButton::clicked, this, &QDialog::reject);
    resize(560, 420);
}

} // namespace varo::config

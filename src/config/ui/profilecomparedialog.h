#pragma once

#include "config/profilecompare.h"

#include <QDialog>

class QTableWidget;

namespace varo::config {

// Shows the options on the screens that differ from a profile (screen, option, on screen, in the
// file) and the profile's notes (unknown and missing keys, warnings). "Apply" accepts the dialog,
// "Keep" rejects it; the caller applies. Everything is shown as plain text.
class ProfileCompareDialog : public QDialog {
    Q_OBJECT
public:
    ProfileCompareDialog(const QString &path, const QList<ProfileDifference> &differences,
                         const QString &notes, QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }

private:
    QTableWidget *m_table = nullptr;
};

} // namespace varo::config

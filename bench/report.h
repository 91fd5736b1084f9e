#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace varo::bench {

double median(std::vector<double> values);

// A plain text table: the header row, then the rows, each column as wide as its widest cell.
class Table {
public:
    explicit Table(QStringList header)
        : m_header(std::move(header)) {}
    void addRow(QStringList cells) { m_rows.append(std::move(cells)); }
    QString render() const;

private:
    QStringList m_header;
    QList<QStringList> m_rows;
};

// Collected PASS/FAIL lines of the targets.
class Targets {
public:
    void judge(bool passed, const QString &what);
    QString render() const { return m_lines.join(u'\n'); }
    int failures() const { return m_failures; }

private:
    QStringList m_lines;
    int m_failures = 0;
};

QString fixed(double value, int decimals);
// 1234567 -> "1.23 M"
QString rate(double perSecond);

} // namespace varo::bench

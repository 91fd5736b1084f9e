#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace varo::bench {

double median(std::vector<double> values);
// The median over the pairs of numerators[i] / denominators[i]. The two runs of a pair ran
// back to back, under the same state of a shared machine; a slow stretch that hits one run
// of a pair moves one pair's ratio, not the medians of all runs of one kind.
double medianRatio(const std::vector<double> &numerators, const std::vector<double> &denominators);
// Runs `a` and `b` back to back, `b` first on odd repetitions, so neither always goes first.
void takeTurns(int rep, const std::function<void()> &a, const std::function<void()> &b);

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

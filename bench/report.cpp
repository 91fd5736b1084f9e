#include "report.h"

#include <algorithm>

namespace varo::bench {

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double medianRatio(const std::vector<double> &numerators, const std::vector<double> &denominators) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(numerators.size(), denominators.size()); ++i) {
        if (denominators[i] > 0)
            ratios.push_back(numerators[i] / denominators[i]);
    }
    return median(std::move(ratios));
}

void takeTurns(int rep, const std::function<void()> &a, const std::function<void()> &b) {
    if (rep % 2 == 0) {
        a();
        b();
    } else {
        b();
        a();
    }
}

QString Table::render() const {
    QList<qsizetype> widths;
    for (const QString &cell : m_header)
        widths.append(cell.size());
    for (const QStringList &row : m_rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i >= widths.size())
                widths.append(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    const auto line = [&widths](const QStringList &cells) {
        QString text;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            // The first column reads left to right, numbers line up on the right.
            text += i == 0 ? cells[i].leftJustified(widths[i]) : cells[i].rightJustified(widths[i]);
            text += i + 1 < cells.size() ? QStringLiteral("  ") : QString();
        }
        return text.trimmed() + u'\n';
    };
    QString text = line(m_header);
    qsizetype total = 0;
    for (const qsizetype width : widths)
        total += width + 2;
    text += QString(total - 2, u'-') + u'\n';
    for (const QStringList &row : m_rows)
        text += line(row);
    return text;
}

void Targets::judge(bool passed, const QString &what) {
    m_lines.append((passed ? QStringLiteral("PASS  ") : QStringLiteral("FAIL  ")) + what);
    if (!passed)
        ++m_failures;
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString rate(double perSecond) {
    if (perSecond >= 1e6)
        return fixed(perSecond / 1e6, 2) + QStringLiteral(" M");
    if (perSecond >= 1e3)
        return fixed(perSecond / 1e3, 1) + QStringLiteral(" k");
    return fixed(perSecond, 1) + QStringLiteral(" ");
}

} // namespace varo::bench

#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace varo::cli {

// One size of a rollout's --batch list: a count of targets, or a percentage of all targets.
struct BatchSize {
    qint64 value = 0;
    bool percent = false;

    bool operator==(const BatchSize &) const = default;
};

struct BatchParse {
    std::optional<QList<BatchSize>> sizes;
    QString error; // set when sizes is empty: names the bad item
};

// "1,10%,100%": counts from 1, percentages from 1 to 100.
BatchParse parseBatchList(const QString &text);

// How many targets batch `index` (0 = the first) holds when `total` targets are rolled out: a
// percentage of all targets rounded up, at least 1; past the end of the list the last size
// repeats. An empty list is one batch of every target.
qsizetype batchSize(const QList<BatchSize> &sizes, qsizetype index, qsizetype total);

} // namespace varo::cli

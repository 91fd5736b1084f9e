#include "cli/batches.h"

#include <QStringList>

#include <algorithm>

namespace varo::cli {

namespace {

constexpr qint64 kMaxCount = 1000000000;

} // namespace

BatchParse parseBatchList(const QString &text) {
    QList<BatchSize> sizes;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QString trimmed = item.trimmed();
        BatchSize size;
        size.percent = trimmed.endsWith(QLatin1Char('%'));
        bool ok = false;
        size.value = (size.percent ? trimmed.chopped(1) : trimmed).toLongLong(&ok);
        const qint64 highest = size.percent ? 100 : kMaxCount;
        if (!ok || size.value < 1 || size.value > highest) {
            return {std::nullopt,
                    QStringLiteral("--batch wants sizes such as 1,10%,100% (counts from 1, "
                                   "percentages from 1 to 100), not \"%1\"")
                        .arg(trimmed)};
        }
        sizes.append(size);
    }
    return {sizes, {}};
}

qsizetype batchSize(const QList<BatchSize> &sizes, qsizetype index, qsizetype total) {
    if (sizes.isEmpty()) {
        return std::max<qsizetype>(total, 1);
    }
    const BatchSize &size = sizes.at(std::min(index, sizes.size() - 1));
    if (!size.percent) {
        return qsizetype(size.value);
    }
    const qint64 share = (qint64(total) * size.value + 99) / 100;
    return qsizetype(std::max<qint64>(share, 1));
}

} // namespace varo::cli

#pragma once

#include "cli/report.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace varo::cli {

// The report files a run may write besides stdout, each made from the results in the order the
// targets were given. Text from a reader or a file shows its control characters by name.

// JUnit XML: one test suite for the command, one test case per target; a target that did not
// succeed holds a <failure> (type: its status) or a <skipped> with the message and the step.
QByteArray junitXml(const QString &command, const QList<TargetResult> &results, double seconds,
                    const QDateTime &started);

// The Prometheus text format (for the node exporter's textfile collector): per target, labelled
// target and command, varo_reader_up, varo_operation_success,
// varo_operation_duration_seconds, varo_operation_last_run_timestamp_seconds and, where the
// command read them, varo_reader_clock_offset_seconds, varo_reader_memory_slots{kind} and
// varo_upload_records. varo_reader_up only where it is known (not for a target interrupted or
// never run); a target that never ran has only varo_operation_success.
QByteArray prometheusMetrics(const QString &command, const QList<TargetResult> &results);

// The targets that ended unreachable, failed, interrupted or skipped, one per line, as given.
QByteArray retryList(const QList<TargetResult> &results);

// `text` as a Prometheus label value between its quotes.
QString prometheusLabelValue(const QString &text);

} // namespace varo::cli

#include "cli/arguments.h"

#include "cli/commandtable.h"

#include "utilities/settime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <array>

namespace varo::cli {

namespace {

constexpr int kMaxJobs = 1000;
// Set-time moves the workstation time by at most this many hours either way.
constexpr int kMaxHours = utilities::kMaxHourOffset;
constexpr double kMaxDriftSeconds = 366.0 * 24 * 3600;

// What the options given so far have gathered beyond the request itself.
struct Gathered {
    QList<Target> fileTargets; // from --targets files, in order
};

std::optional<qint64> parseNumber(const QString &text, qint64 lowest, qint64 highest) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

// The line up to its comment: "#" starts one at the start of the line or after a blank, so a
// device path may hold "#".
QString withoutComment(const QString &line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('#') &&
            (i == 0 || line[i - 1] == QLatin1Char(' ') || line[i - 1] == QLatin1Char('\t'))) {
            return line.left(i);
        }
    }
    return line;
}

// One target per line; "#" starts a comment; blank lines are skipped. Each is parsed here,
// once.
QString readTargetsFile(const QString &path, QList<Target> *targets) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QStringLiteral("cannot read the targets file %1: %2").arg(path, file.errorString());
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = withoutComment(QString::fromUtf8(file.readLine())).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const TargetParse parsed = parseTarget(line);
        if (!parsed.target) {
            return QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(parsed.error);
        }
        targets->append(*parsed.target);
    }
    return {};
}

// Each option's effect on the request; returns the usage error, empty when the value is good.
using ApplyOption = QString (*)(const QString &value, Request &request, Gathered &gathered);

QString applyTargets(const QString &value, Request &, Gathered &gathered) {
    return readTargetsFile(value, &gathered.fileTargets);
}

QString applyJobs(const QString &value, Request &request, Gathered &) {
    const auto jobs = parseNumber(value, 1, kMaxJobs);
    if (!jobs) {
        return QStringLiteral("--jobs wants a number from 1 to %1, not \"%2\"")
            .arg(kMaxJobs)
            .arg(value);
    }
    request.jobs = int(*jobs);
    return {};
}

QString applyJson(const QString &, Request &request, Gathered &) {
    request.json = true;
    request.format = OutputFormat::Json;
    return {};
}

QString applyQuiet(const QString &, Request &request, Gathered &) {
    request.quiet = true;
    return {};
}

QString applyTrace(const QString &, Request &request, Gathered &) {
    request.trace = true;
    return {};
}

QString applyShortWaits(const QString &, Request &request, Gathered &) {
    request.shortWaits = true;
    return {};
}

QString applyProfile(const QString &value, Request &request, Gathered &) {
    if (value.isEmpty()) {
        return QStringLiteral("--profile needs a file");
    }
    request.profilePath = value;
    return {};
}

QString applyHours(const QString &value, Request &request, Gathered &) {
    const auto hours = parseNumber(value, -kMaxHours, kMaxHours);
    if (!hours) {
        return QStringLiteral("--hours wants whole hours from -%1 to %1, not \"%2\"")
            .arg(kMaxHours)
            .arg(value);
    }
    request.hours = int(*hours);
    return {};
}

QString applyYes(const QString &, Request &request, Gathered &) {
    request.confirmed = true;
    return {};
}

QString applyOut(const QString &value, Request &request, Gathered &) {
    if (value.isEmpty()) {
        return QStringLiteral("--out needs a path");
    }
    request.outPath = value;
    return {};
}

QString applyBoot2(const QString &, Request &request, Gathered &) {
    request.boot2 = true;
    return {};
}

QString applyBytes(const QString &value, Request &request, Gathered &) {
    const auto bytes = parseNumber(value, 1, Request::kLoopbackBytes);
    if (!bytes) {
        return QStringLiteral("--bytes wants a number from 1 to %1, not \"%2\"")
            .arg(Request::kLoopbackBytes)
            .arg(value);
    }
    request.loopbackBytes = *bytes;
    return {};
}

// Report and rollout options.

QString applyFormat(const QString &value, Request &request, Gathered &) {
    constexpr std::array<std::pair<const char *, OutputFormat>, 3> kFormats{{
        {"text", OutputFormat::Text},
        {"json", OutputFormat::Json},
        {"jsonl", OutputFormat::Jsonl},
    }};
    for (const auto &[name, format] : kFormats) {
        if (value == QLatin1String(name)) {
            request.format = format;
            request.json = format == OutputFormat::Json;
            return {};
        }
    }
    return QStringLiteral("--format wants text, json or jsonl, not \"%1\"").arg(value);
}

// A report file's folder must exist before anything is sent.
QString checkReportPath(const char *option, const QString &value, QString *path) {
    if (value.isEmpty()) {
        return QStringLiteral("%1 needs a file").arg(QLatin1String(option));
    }
    const QFileInfo info(value);
    if (info.isDir()) {
        return QStringLiteral("%1 wants a file, not the folder %2")
            .arg(QLatin1String(option), value);
    }
    if (!info.absoluteDir().exists()) {
        return QStringLiteral("%1: the folder %2 does not exist")
            .arg(QLatin1String(option), info.absolutePath());
    }
    *path = value;
    return {};
}

QString applyJunit(const QString &value, Request &request, Gathered &) {
    return checkReportPath("--junit", value, &request.junitPath);
}

QString applyMetrics(const QString &value, Request &request, Gathered &) {
    return checkReportPath("--metrics", value, &request.metricsPath);
}

QString applyRetryFile(const QString &value, Request &request, Gathered &) {
    return checkReportPath("--retry-file", value, &request.retryPath);
}

QString applyBatch(const QString &value, Request &request, Gathered &) {
    BatchParse parsed = parseBatchList(value);
    if (!parsed.sizes) {
        return parsed.error;
    }
    request.batches = *parsed.sizes;
    return {};
}

QString applyMaxFailPercent(const QString &value, Request &request, Gathered &) {
    bool ok = false;
    const double percent = value.toDouble(&ok);
    if (!ok || !(percent >= 0 && percent <= 100)) {
        return QStringLiteral("--max-fail-percent wants a number from 0 to 100, not \"%1\"")
            .arg(value);
    }
    request.maxFailPercent = percent;
    return {};
}

// What the report and rollout options need of each other.
QString checkReportOptions(const Request &request) {
    if (request.maxFailPercent && request.batches.isEmpty()) {
        return QStringLiteral("--max-fail-percent needs --batch");
    }
    const QStringList files{request.junitPath, request.metricsPath, request.retryPath};
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!files[i].isEmpty() && files.indexOf(files[i], i + 1) > i) {
            return QStringLiteral("%1 is named for two reports").arg(files[i]);
        }
    }
    return {};
}

// The options of the command checks.
QString applyCheck(const QString &, Request &request, Gathered &) {
    request.check = true;
    return {};
}

QString applyExpectReply(const QString &value, Request &request, Gathered &) {
    request.expectReply = value;
    return {};
}

QString applyAllowUnknownKeys(const QString &, Request &request, Gathered &) {
    request.allowUnknownKeys = true;
    return {};
}

QString applyMaxDrift(const QString &value, Request &request, Gathered &) {
    bool ok = false;
    const double seconds = value.trimmed().toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > kMaxDriftSeconds) {
        return QStringLiteral("--max-drift wants seconds from 0 to %1, not \"%2\"")
            .arg(qint64(kMaxDriftSeconds))
            .arg(value);
    }
    request.maxDriftSeconds = seconds;
    return {};
}

QString applyForce(const QString &, Request &request, Gathered &) {
    request.force = true;
    return {};
}

QString applySkipIfVersion(const QString &value, Request &request, Gathered &) {
    if (value.isEmpty()) {
        return QStringLiteral("--skip-if-version needs a text");
    }
    request.skipIfVersion = value;
    return {};
}

QString applyOverwrite(const QString &, Request &request, Gathered &) {
    request.overwrite = true;
    return {};
}

// Every option: whether it takes a value, which command it belongs to (none: global) and what
// it does. --help and --version are answered before any of these.
struct OptionRule {
    const char *name;
    bool takesValue;
    std::optional<Command> command;
    ApplyOption apply;
};

const std::array<OptionRule, 27> kOptions{{
    {"--targets", true, std::nullopt, applyTargets},
    {"--jobs", true, std::nullopt, applyJobs},
    {"--json", false, std::nullopt, applyJson},
    {"--quiet", false, std::nullopt, applyQuiet},
    {"--trace", false, std::nullopt, applyTrace},
    {"--help", false, std::nullopt, nullptr},
    {"--version", false, std::nullopt, nullptr},
    // Not in --help: tests and the benchmark shorten every wait with it.
    {"--short-waits", false, std::nullopt, applyShortWaits},
    // Report and rollout options
    {"--format", true, std::nullopt, applyFormat},
    {"--junit", true, std::nullopt, applyJunit},
    {"--metrics", true, std::nullopt, applyMetrics},
    {"--retry-file", true, std::nullopt, applyRetryFile},
    {"--batch", true, std::nullopt, applyBatch},
    {"--max-fail-percent", true, std::nullopt, applyMaxFailPercent},
    {"--profile", true, Command::Program, applyProfile},
    {"--hours", true, Command::SetTime, applyHours},
    {"--yes", false, Command::ClearMemory, applyYes},
    {"--out", true, Command::Upload, applyOut},
    {"--boot2", false, Command::Flash, applyBoot2},
    {"--bytes", true, Command::Loopback, applyBytes},
    // The command checks
    {"--check", false, std::nullopt, applyCheck},
    {"--expect-reply", true, std::nullopt, applyExpectReply},
    {"--allow-unknown-keys", false, Command::Program, applyAllowUnknownKeys},
    {"--max-drift", true, Command::SetTime, applyMaxDrift},
    {"--force", false, Command::ClearMemory, applyForce},
    {"--skip-if-version", true, Command::Flash, applySkipIfVersion},
    {"--overwrite", false, Command::Upload, applyOverwrite},
}};

const OptionRule *findOption(const QString &name) {
    for (const OptionRule &rule : kOptions) {
        if (name == QLatin1String(rule.name)) {
            return &rule;
        }
    }
    return nullptr;
}

struct GivenOption {
    const OptionRule *rule;
    QString value;
};

// The command line split into options (with their values) and positional arguments.
struct SplitLine {
    QList<GivenOption> options;
    QStringList positionals;
    QString error;
};

ParsedArguments usageError(const QString &message) {
    ParsedArguments parsed;
    parsed.action = ParsedArguments::Action::UsageError;
    parsed.error = message;
    return parsed;
}

std::optional<ParsedArguments::Action> helpOrVersion(const QStringList &arguments) {
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--")) {
            break;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return ParsedArguments::Action::Help;
        }
        if (argument == QLatin1String("--version")) {
            return ParsedArguments::Action::Version;
        }
    }
    return std::nullopt;
}

SplitLine splitLine(const QStringList &arguments) {
    SplitLine line;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
            argument == QLatin1String("-")) {
            line.positionals.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        const OptionRule *rule = findOption(name);
        if (!rule) {
            line.error = QStringLiteral("unknown option \"%1\"").arg(name);
            return line;
        }
        QString value;
        if (rule->takesValue) {
            if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i]; // taken as is, so "--hours -3" works
            } else {
                line.error = QStringLiteral("%1 needs a value").arg(name);
                return line;
            }
        } else if (equals >= 0) {
            line.error = QStringLiteral("%1 takes no value").arg(name);
            return line;
        }
        line.options.append({rule, value});
    }
    return line;
}

QString applyOptions(const QList<GivenOption> &options, const QString &commandText,
                     Request &request, Gathered &gathered) {
    for (const GivenOption &option : options) {
        if (option.rule->command && option.rule->command != request.command) {
            return QStringLiteral("%1 is not an option of \"%2\"")
                .arg(QString::fromLatin1(option.rule->name), commandText);
        }
        if (option.rule->apply) {
            if (QString error = option.rule->apply(option.value, request, gathered);
                !error.isEmpty()) {
                return error;
            }
        }
    }
    return {};
}

// The first target that names a reader an earlier one names too, as the message; empty when
// each reader is named once. Spellings are compared first; then the addresses and device
// paths, resolving only the hosts whose port another target shares.
QString duplicateTarget(const QList<Target> &targets) {
    QHash<QString, QString> seen; // a name a reader is reached under -> its target
    QHash<quint16, int> portUses;
    for (const Target &target : targets) {
        if (const auto it = seen.constFind(target.key()); it != seen.constEnd()) {
            return QStringLiteral("target \"%1\" is given twice").arg(target.text);
        }
        seen.insert(target.key(), target.text);
        portUses[target.settings.isTcp() ? target.settings.tcpPort : quint16(0)] += 1;
    }
    seen.clear();
    for (const Target &target : targets) {
        const bool shared = !target.settings.isTcp() || portUses.value(target.settings.tcpPort) > 1;
        const QStringList keys = shared ? target.readerKeys() : QStringList{target.key()};
        for (const QString &key : keys) {
            if (const auto it = seen.constFind(key); it != seen.constEnd()) {
                return QStringLiteral("target \"%1\" is given twice (as \"%2\")")
                    .arg(target.text, it.value());
            }
        }
        for (const QString &key : keys) {
            seen.insert(key, target.text);
        }
    }
    return {};
}

// The targets on the line, then those of the files; each reader once.
QString collectTargets(const QStringList &positionals, const QList<Target> &fileTargets,
                       Request &request) {
    if (positionals.isEmpty() && fileTargets.isEmpty()) {
        return QStringLiteral("no target given (TARGET... or --targets FILE)");
    }
    for (const QString &text : positionals) {
        const TargetParse parsed = parseTarget(text);
        if (!parsed.target) {
            return parsed.error;
        }
        request.targets.append(*parsed.target);
    }
    request.targets.append(fileTargets);
    return duplicateTarget(request.targets);
}

} // namespace

ParsedArguments parseArguments(const QStringList &arguments) {
    if (const auto action = helpOrVersion(arguments)) {
        return {*action, {}, {}};
    }
    SplitLine line = splitLine(arguments);
    if (!line.error.isEmpty()) {
        return usageError(line.error);
    }
    if (line.positionals.isEmpty()) {
        return usageError(QStringLiteral("no command given"));
    }
    const QString name = line.positionals.takeFirst();
    const auto command = commandFromName(name);
    if (!command) {
        return usageError(QStringLiteral("unknown command \"%1\"").arg(name));
    }
    Request request;
    request.command = *command;
    Gathered gathered;
    QString error = applyOptions(line.options, name, request, gathered);
    if (error.isEmpty()) {
        error = checkReportOptions(request);
    }
    if (error.isEmpty()) {
        const CommandRow &row = commandRow(request.command);
        error = row.takeArguments ? row.takeArguments(line.positionals, request) : QString();
    }
    if (!error.isEmpty()) {
        return usageError(error);
    }
    const CommandRow &row = commandRow(request.command);
    if (!row.make) {
        if (!line.positionals.isEmpty() || !gathered.fileTargets.isEmpty()) {
            return usageError(QStringLiteral("%1 takes no target").arg(name));
        }
        return {ParsedArguments::Action::Run, request, {}};
    }
    if (request.expectReply && !row.acknowledged) {
        return usageError(
            QStringLiteral("--expect-reply is an option of \"program\" and \"mode\" only"));
    }
    error = collectTargets(line.positionals, gathered.fileTargets, request);
    if (error.isEmpty() && row.checkRequest) {
        error = row.checkRequest(request);
    }
    if (!error.isEmpty()) {
        return usageError(error);
    }
    return {ParsedArguments::Action::Run, request, {}};
}

QString checkInputs(Request &request) {
    const CommandRow &row = commandRow(request.command);
    request.checked = true;
    request.startedUtc = QDateTime::currentDateTimeUtc();
    return row.checkInputs ? row.checkInputs(request) : QString();
}

QString usageText() {
    QString commands;
    for (const CommandRow &row : commandRows()) {
        commands += QLatin1String(row.usage);
    }
    return QStringLiteral(
               "Usage: varo-cli ports [--json]                 detected serial devices\n"
               "       varo-cli [options] COMMAND [command options] TARGET...\n"
               "\n"
               "Targets:\n"
               "  tcp:HOST:PORT          a reader behind a TCP converter (IPv6: "
               "tcp:[ADDRESS]:PORT)\n"
               "  serial:DEVICE[@BAUD]   a serial device such as /dev/ttyUSB0\n"
               "  serial:N[@BAUD]        serial port number N (1-8), as the window maps it\n"
               "  BAUD is 9600 (default), 19200, 38400, 57600 or 115200.\n"
               "\n"
               "Commands:\n") +
           commands +
           QStringLiteral(
               "\n"
               "Options:\n"
               "  --targets FILE   read targets from FILE, one per line (# starts a comment)\n"
               "  --jobs N         readers worked on at once (default 16)\n"
               "  --json           one JSON report on stdout (same as --format json)\n"
               "  --format FORMAT  text (default), json (one document at the end) or jsonl\n"
               "                   (one JSON object per line as each target ends)\n"
               "  --junit FILE     also write a JUnit XML report, one test case per target\n"
               "  --metrics FILE   also write Prometheus metrics (node exporter textfile)\n"
               "  --retry-file FILE  write the targets that did not succeed, ready for --targets\n"
               "  --batch LIST     roll out in batches, e.g. 1,10%,100% (the last size "
               "repeats)\n"
               "  --max-fail-percent P  start no further batch once more than P % of the\n"
               "                   targets started are unreachable or failed\n"
               "  --quiet          print only failed targets\n"
               "  --trace          print every byte exchanged on stderr\n"
               "  --check          dry run: check the inputs, connect, read only what the "
               "command\n"
               "                   looks at and report what it would do (ok or changed)\n"
               "  --expect-reply TEXT  program, mode: any other reply fails (wrong-reply)\n"
               "  --version        print the version\n"
               "  --help           print this help\n"
               "\n"
               "Output: one line per target as it finishes (target, OK or FAILED, message, "
               "seconds,\n"
               "status: ok, changed, unreachable, failed, skipped or interrupted) and a summary "
               "line.\n"
               "Progress goes to stderr, only when stderr is a terminal.\n"
               "\n"
               "Exit codes:\n"
               "  0  every target succeeded\n"
               "  1  at least one target failed (link, timeout, refused, wrong reply, file "
               "error)\n"
               "     or the run was interrupted, a rollout stopped (the rest skipped), or\n"
               "     stdout or a report file could not be written\n"
               "  2  usage or input error, found before anything was sent\n");
}

} // namespace varo::cli

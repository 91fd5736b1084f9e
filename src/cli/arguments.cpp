#include "cli/arguments.h"

#include "cli/jobscheduler.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <array>

namespace varo::cli {

namespace {

constexpr int kMaxJobs = 1000;
constexpr int kMaxHours = 100000;

// Every option: whether it takes a value and which command it belongs to (none: global).
struct OptionRule {
    const char *name;
    bool takesValue;
    std::optional<Command> command;
};

const std::array<OptionRule, 13> kOptions{{
    {"--targets", true, std::nullopt},
    {"--jobs", true, std::nullopt},
    {"--json", false, std::nullopt},
    {"--quiet", false, std::nullopt},
    {"--trace", false, std::nullopt},
    {"--help", false, std::nullopt},
    {"--version", false, std::nullopt},
    {"--profile", true, Command::Program},
    {"--hours", true, Command::SetTime},
    {"--yes", false, Command::ClearMemory},
    {"--out", true, Command::Upload},
    {"--boot2", false, Command::Flash},
    {"--bytes", true, Command::Loopback},
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

ParsedArguments usageError(const QString &message) {
    ParsedArguments parsed;
    parsed.action = ParsedArguments::Action::UsageError;
    parsed.error = message;
    return parsed;
}

std::optional<qint64> parseNumber(const QString &text, qint64 lowest, qint64 highest) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

// One target per line; "#" starts a comment; blank lines are skipped.
QString readTargetsFile(const QString &path, QStringList *targets) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QStringLiteral("cannot read the targets file %1: %2").arg(path, file.errorString());
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        QString line = QString::fromUtf8(file.readLine());
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0) {
            line.truncate(hash);
        }
        line = line.trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const TargetParse parsed = parseTarget(line);
        if (!parsed.target) {
            return QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(parsed.error);
        }
        targets->append(line);
    }
    return {};
}

} // namespace

ParsedArguments parseArguments(const QStringList &arguments) {
    // --help and --version are answered whatever else the line holds.
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--")) {
            break;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return {ParsedArguments::Action::Help, {}, {}};
        }
        if (argument == QLatin1String("--version")) {
            return {ParsedArguments::Action::Version, {}, {}};
        }
    }

    QList<GivenOption> options;
    QStringList positionals;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
            argument == QLatin1String("-")) {
            positionals.append(argument);
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
            return usageError(QStringLiteral("unknown option \"%1\"").arg(name));
        }
        QString value;
        if (rule->takesValue) {
            if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i]; // taken as is, so "--hours -3" works
            } else {
                return usageError(QStringLiteral("%1 needs a value").arg(name));
            }
        } else if (equals >= 0) {
            return usageError(QStringLiteral("%1 takes no value").arg(name));
        }
        options.append({rule, value});
    }

    if (positionals.isEmpty()) {
        return usageError(QStringLiteral("no command given"));
    }
    const QString name = positionals.takeFirst();
    const auto command = commandFromName(name);
    if (!command) {
        return usageError(QStringLiteral("unknown command \"%1\"").arg(name));
    }

    Request request;
    request.command = *command;
    QStringList targetTexts;
    for (const GivenOption &option : options) {
        const QString optionName = QString::fromLatin1(option.rule->name);
        if (option.rule->command && option.rule->command != command) {
            return usageError(
                QStringLiteral("%1 is not an option of \"%2\"").arg(optionName, name));
        }
        if (optionName == QLatin1String("--targets")) {
            if (const QString error = readTargetsFile(option.value, &targetTexts);
                !error.isEmpty()) {
                return usageError(error);
            }
        } else if (optionName == QLatin1String("--jobs")) {
            const auto jobs = parseNumber(option.value, 1, kMaxJobs);
            if (!jobs) {
                return usageError(QStringLiteral("--jobs wants a number from 1 to %1, not \"%2\"")
                                      .arg(kMaxJobs)
                                      .arg(option.value));
            }
            request.jobs = int(*jobs);
        } else if (optionName == QLatin1String("--json")) {
            request.json = true;
        } else if (optionName == QLatin1String("--quiet")) {
            request.quiet = true;
        } else if (optionName == QLatin1String("--trace")) {
            request.trace = true;
        } else if (optionName == QLatin1String("--profile")) {
            if (option.value.isEmpty()) {
                return usageError(QStringLiteral("--profile needs a file"));
            }
            request.profilePath = option.value;
        } else if (optionName == QLatin1String("--hours")) {
            const auto hours = parseNumber(option.value, -kMaxHours, kMaxHours);
            if (!hours) {
                return usageError(
                    QStringLiteral("--hours wants whole hours from -%1 to %1, not \"%2\"")
                        .arg(kMaxHours)
                        .arg(option.value));
            }
            request.hours = int(*hours);
        } else if (optionName == QLatin1String("--yes")) {
            request.confirmed = true;
        } else if (optionName == QLatin1String("--out")) {
            if (option.value.isEmpty()) {
                return usageError(QStringLiteral("--out needs a path"));
            }
            request.outPath = option.value;
        } else if (optionName == QLatin1String("--boot2")) {
            request.boot2 = true;
        } else if (optionName == QLatin1String("--bytes")) {
            const auto bytes = parseNumber(option.value, 1, Request::kLoopbackBytes);
            if (!bytes) {
                return usageError(QStringLiteral("--bytes wants a number from 1 to %1, not \"%2\"")
                                      .arg(Request::kLoopbackBytes)
                                      .arg(option.value));
            }
            request.loopbackBytes = *bytes;
        }
    }

    // Positional arguments of the command itself come before the targets.
    if (request.command == Command::Mode) {
        if (positionals.isEmpty()) {
            return usageError(QStringLiteral("mode needs collection, online or prox-dump"));
        }
        const QString mode = positionals.takeFirst();
        if (mode == QLatin1String("collection")) {
            request.mode = ReaderMode::Collection;
        } else if (mode == QLatin1String("online")) {
            request.mode = ReaderMode::Online;
        } else if (mode == QLatin1String("prox-dump")) {
            request.mode = ReaderMode::ProxDump;
        } else {
            return usageError(
                QStringLiteral("unknown mode \"%1\": use collection, online or prox-dump")
                    .arg(mode));
        }
    } else if (request.command == Command::Flash) {
        if (positionals.isEmpty()) {
            return usageError(QStringLiteral("flash needs an IMAGE file"));
        }
        request.imagePath = positionals.takeFirst();
    }

    if (request.command == Command::Ports) {
        if (!positionals.isEmpty() || !targetTexts.isEmpty()) {
            return usageError(QStringLiteral("ports takes no target"));
        }
        return {ParsedArguments::Action::Run, request, {}};
    }

    targetTexts = positionals + targetTexts;
    if (targetTexts.isEmpty()) {
        return usageError(QStringLiteral("no target given (TARGET... or --targets FILE)"));
    }
    QSet<QString> keys;
    for (const QString &text : targetTexts) {
        const TargetParse parsed = parseTarget(text);
        if (!parsed.target) {
            return usageError(parsed.error);
        }
        if (keys.contains(parsed.target->key())) {
            return usageError(
                QStringLiteral("target \"%1\" is given twice").arg(parsed.target->text));
        }
        keys.insert(parsed.target->key());
        request.targets.append(*parsed.target);
    }

    if (request.command == Command::ClearMemory && !request.confirmed) {
        return usageError(QStringLiteral("clear-memory erases every stored transaction: add --yes "
                                         "to confirm"));
    }
    if (request.command == Command::Upload && request.outPath.isEmpty()) {
        return usageError(QStringLiteral("upload needs --out PATH"));
    }
    return {ParsedArguments::Action::Run, request, {}};
}

QString checkInputs(const Request &request) {
    if (!request.profilePath.isEmpty()) {
        QFile profile(request.profilePath);
        if (!profile.open(QIODevice::ReadOnly)) {
            return QStringLiteral("cannot read the profile %1: %2")
                .arg(request.profilePath, profile.errorString());
        }
        QString problems;
        if (!JobScheduler::programSettings(request.profilePath, &problems)) {
            return QStringLiteral("the profile %1 is not valid:\n%2")
                .arg(request.profilePath, problems);
        }
    }
    if (request.command == Command::Flash) {
        QFile image(request.imagePath);
        if (!image.open(QIODevice::ReadOnly)) {
            return QStringLiteral("cannot read the image %1: %2")
                .arg(request.imagePath, image.errorString());
        }
        if (image.size() == 0) {
            return QStringLiteral("the image %1 is empty").arg(request.imagePath);
        }
    }
    if (request.command == Command::Upload) {
        const QFileInfo out(request.outPath);
        if (request.targets.size() > 1 && !out.isDir()) {
            return QStringLiteral("with several targets --out must be an existing folder (one file "
                                  "per target): %1")
                .arg(request.outPath);
        }
        if (request.targets.size() == 1 && out.isDir()) {
            return QStringLiteral("--out is a folder; with one target it names the file: %1")
                .arg(request.outPath);
        }
        QSet<QString> files;
        for (const Target &target : request.targets) {
            const QString file = uploadFileFor(request, target);
            if (files.contains(file)) {
                return QStringLiteral("two targets would upload into the same file %1").arg(file);
            }
            files.insert(file);
        }
    }
    return {};
}

QString usageText() {
    return QStringLiteral(
        "Usage: varo-cli ports [--json]                 detected serial devices\n"
        "       varo-cli [options] COMMAND [command options] TARGET...\n"
        "\n"
        "Targets:\n"
        "  tcp:HOST:PORT          a reader behind a TCP converter (IPv6: tcp:[ADDRESS]:PORT)\n"
        "  serial:DEVICE[@BAUD]   a serial device such as /dev/ttyUSB0\n"
        "  serial:N[@BAUD]        serial port number N (1-8), as the window maps it\n"
        "  BAUD is 9600 (default), 19200, 38400, 57600 or 115200.\n"
        "\n"
        "Commands:\n"
        "  info                      firmware identification, reader time, memory usage\n"
        "  program [--profile FILE]  checks, then the programming run (defaults without a "
        "profile)\n"
        "  reset                     reset the reader\n"
        "  set-time [--hours N]      set the reader clock to this computer's, moved by N hours\n"
        "                            (negative N subtracts)\n"
        "  clear-memory --yes        erase the stored transactions (refuses without --yes)\n"
        "  restart                   restart the reader\n"
        "  mode collection|online|prox-dump\n"
        "  upload --out PATH         stored transactions: one target, PATH is the file;\n"
        "                            several, PATH is a folder with one file per target\n"
        "  flash IMAGE [--boot2]     firmware download (--boot2: the bootloader extension);\n"
        "                            serial targets run it at 9600 baud\n"
        "  loopback [--bytes N]      loopback test (512000 bytes unless --bytes)\n"
        "\n"
        "Options:\n"
        "  --targets FILE   read targets from FILE, one per line (# starts a comment)\n"
        "  --jobs N         readers worked on at once (default 16)\n"
        "  --json           one JSON report on stdout\n"
        "  --quiet          print only failed targets\n"
        "  --trace          print every byte exchanged on stderr\n"
        "  --version        print the version\n"
        "  --help           print this help\n"
        "\n"
        "Output: one line per target as it finishes (target, OK or FAILED, message, seconds)\n"
        "and a summary line. Progress goes to stderr, only when stderr is a terminal.\n"
        "\n"
        "Exit codes:\n"
        "  0  every target succeeded\n"
        "  1  at least one target failed (link, timeout, refused, wrong reply, file error)\n"
        "     or the run was interrupted\n"
        "  2  usage or input error, found before anything was sent\n");
}

} // namespace varo::cli

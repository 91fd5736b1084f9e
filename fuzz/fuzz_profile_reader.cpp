// The reader profile reader on arbitrary file contents: malformed JSON, huge texts, deep nesting,
// values of every type in every place.
//
// Input: the file's bytes, read against screens at their defaults.
//
// A profile that is accepted must leave screens that pass the checks run before programming, give
// commands of printable characters, and be written back as a profile that reads without errors
// and describes the same screens. A profile that is refused or has errors must change nothing.

#include "fuzzinput.h"

#include "config/commandtable.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/readerprofile.h"
#include "config/validation.h"

using namespace varo::config;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    ConfigModel model;
    loadDefaults(model);
    const QByteArray before = writeProfile(model);

    const ProfileLoadResult loaded = readProfile(json, model);
    const QString report = loaded.report();
    VARO_FUZZ_CHECK(loaded.hasProblems() == !report.isEmpty());
    VARO_FUZZ_CHECK(!loaded.isRefused() || loaded.values.isEmpty());

    const bool applied = applyProfile(loaded, model);
    VARO_FUZZ_CHECK(applied == !loaded.hasErrors());
    if (!applied) {
        VARO_FUZZ_CHECK(writeProfile(model) == before);
        return 0;
    }

    VARO_FUZZ_CHECK(validate(model).passed);
    for (const CommandRow &row : commandTable()) {
        for (const char c : buildCommand(row, model))
            VARO_FUZZ_CHECK(c >= 0x20 && c <= 0x7e);
    }

    const QByteArray written = writeProfile(model);
    ConfigModel fresh;
    loadDefaults(fresh);
    const ProfileLoadResult again = readProfile(written, fresh);
    VARO_FUZZ_CHECK(!again.hasErrors());
    VARO_FUZZ_CHECK(applyProfile(again, fresh));
    VARO_FUZZ_CHECK(writeProfile(fresh) == written);
    return 0;
}

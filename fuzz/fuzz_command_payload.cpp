// The programming commands built from setup fields edited at random, and the checks that run
// before programming.
//
// Input: one byte of set-up (bit 0: texts may also be set directly, bypassing the typing rule),
// then operations of four bytes: kind, field (two bytes, an index into the field catalog) and
// an argument; a direct text takes a length byte and that many bytes more.
//
// Fields edited only the way a technician can (typing, check boxes, option buttons) must give
// commands of printable characters that fit the line protocol: nothing below a blank, no CR.

#include "fuzzinput.h"

#include "config/commandtable.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/fieldcatalog.h"
#include "config/keystrokerule.h"
#include "config/validation.h"

using namespace varo::config;
using varo::fuzz::FuzzInput;

namespace {

bool allowedCharacter(InputRule rule, QChar c) {
    if (c >= u'0' && c <= u'9')
        return true;
    return rule == InputRule::Hex && c >= u'A' && c <= u'F';
}

// One keystroke or deletion on a text field, through the typing rule.
void typeInto(ConfigModel &model, const FieldInfo &info, std::uint8_t kind, std::uint8_t at,
              char16_t character) {
    const QString before = model.text(info.key);
    const qsizetype position = before.isEmpty() ? 0 : at % (before.size() + 1);
    QString after = before;
    if (kind & 1)
        after.remove(position, 1 + (at >> 6));
    else
        after.insert(position, QChar(character));
    const std::optional<QString> kept = acceptEdit(info.rule, info.maxLength, before, after);
    if (!kept)
        return;
    if (*kept != before) {
        for (const QChar c : *kept)
            VARO_FUZZ_CHECK(allowedCharacter(info.rule, c));
        VARO_FUZZ_CHECK(kept->size() <= info.maxLength || kept->size() < before.size());
    }
    model.setText(info.key, *kept);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const QList<FieldInfo> &catalog = fieldCatalog();
    FuzzInput in(data, size);
    const bool directTexts = in.byte() & 1;
    ConfigModel model;
    loadDefaults(model);

    bool bypassed = false;
    while (!in.atEnd()) {
        const std::uint8_t kind = in.byte();
        const FieldInfo &info = catalog.at(in.word() % catalog.size());
        const std::uint8_t argument = in.byte();
        switch (info.kind) {
        case FieldKind::Check:
            model.setCheck(info.key, argument & 1);
            break;
        case FieldKind::Option:
            model.select(info.key);
            break;
        case FieldKind::Text:
            if (directTexts && (kind & 0x80)) {
                model.setText(info.key, QString::fromLatin1(in.bytes(argument & 0x3f)));
                bypassed = true;
            } else {
                typeInto(model, info, kind, argument, char16_t(in.word()));
            }
            break;
        }
    }

    const ValidationResult checked = validate(model);
    VARO_FUZZ_CHECK(checked.passed || !checked.lines.isEmpty());

    for (const CommandRow &row : commandTable()) {
        const QByteArray command = buildCommand(row, model);
        VARO_FUZZ_CHECK(command.startsWith(row.code));
        VARO_FUZZ_CHECK(buildCommand(row, model) == command);
        if (bypassed)
            continue;
        for (const char c : command)
            VARO_FUZZ_CHECK(c >= 0x20 && c <= 0x7e);
    }
    return 0;
}

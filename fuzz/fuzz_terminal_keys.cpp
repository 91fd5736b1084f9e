// The terminal's key handling and Alt codes on arbitrary key sequences, with every character it
// produces drawn into the terminal grid.
//
// Input: one byte of set-up (bit 0: TCP link, bit 1: terminal TCP flag), then events of three
// bytes: kind and modifiers, key, character. Keys come from a table of the keys that matter
// (Alt, F9, F10, keypad digits and their Num Lock off twins, Enter, letters) or, for large
// values, any key code.

#include "fuzzinput.h"

#include "terminal/terminalgrid.h"
#include "terminal/terminalkeys.h"

#include <QString>

#include <array>
#include <optional>

using varo::fuzz::FuzzInput;
using varo::terminal::Ink;
using varo::terminal::KeyOutcome;
using varo::terminal::TerminalGrid;
using varo::terminal::TerminalKeys;

namespace {

constexpr std::array<int, 24> kKeys{
    Qt::Key_Alt,    Qt::Key_F9,     Qt::Key_F10,    Qt::Key_0,    Qt::Key_1,     Qt::Key_2,
    Qt::Key_3,      Qt::Key_4,      Qt::Key_5,      Qt::Key_6,    Qt::Key_7,     Qt::Key_8,
    Qt::Key_9,      Qt::Key_Insert, Qt::Key_End,    Qt::Key_Down, Qt::Key_Left,  Qt::Key_Clear,
    Qt::Key_PageUp, Qt::Key_Home,   Qt::Key_Return, Qt::Key_A,    Qt::Key_Shift, Qt::Key_Control,
};

Qt::KeyboardModifiers modifiersFrom(std::uint8_t bits) {
    Qt::KeyboardModifiers modifiers;
    if (bits & 1)
        modifiers |= Qt::AltModifier;
    if (bits & 2)
        modifiers |= Qt::KeypadModifier;
    if (bits & 4)
        modifiers |= Qt::ShiftModifier;
    return modifiers;
}

// The character an Alt code stands for: the decimal value of all its digits, leading zeros
// included, when there is at least one digit and the value fits a byte.
std::optional<char> altCode(const QString &digits) {
    if (digits.isEmpty())
        return std::nullopt;
    qsizetype first = 0;
    while (first < digits.size() && digits.at(first) == u'0')
        ++first;
    const QString significant = digits.mid(first);
    if (significant.size() > 3)
        return std::nullopt;
    const int value = significant.isEmpty() ? 0 : significant.toInt();
    if (value > 255)
        return std::nullopt;
    return char(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    TerminalKeys keys;
    const std::uint8_t setup = in.byte();
    keys.setTcpMode(setup & 1);
    keys.setTcpFlag(setup & 2);
    const bool special = keys.specialKeysEnabled();
    TerminalGrid grid;

    // The keypad digits typed since the last Alt press.
    QString typedDigits;

    while (!in.atEnd()) {
        const std::uint8_t kind = in.byte();
        const std::uint8_t keyByte = in.byte();
        const std::uint8_t charByte = in.byte();
        const int key = keyByte < kKeys.size() ? kKeys[keyByte] : int(keyByte) << 4 | charByte;
        const Qt::KeyboardModifiers modifiers = modifiersFrom(kind >> 2);
        const bool autoRepeat = kind & 0x20;
        // Text as a key press carries it: mostly one Latin-1 character, sometimes one beyond.
        const QString text = (kind & 0x40)   ? QString(QChar(char16_t(0x100 + charByte)))
                             : (kind & 0x80) ? QString()
                                             : QString(QChar(char16_t(charByte)));

        KeyOutcome outcome;
        switch (kind & 3) {
        case 0:
        case 1: {
            // Alt released unseen: a key without Alt abandons the code.
            if (keys.isCollecting() && key != Qt::Key_Alt && !modifiers.testFlag(Qt::AltModifier))
                typedDigits.clear();
            const bool wasCollecting = keys.isCollecting();
            outcome = keys.keyPress(key, modifiers, text, autoRepeat);
            if (special && key == Qt::Key_F10)
                VARO_FUZZ_CHECK(outcome.bytes == QByteArray(1, '\0') && outcome.consumed);
            if (special && key == Qt::Key_F9)
                VARO_FUZZ_CHECK(outcome.bytes == QByteArray(1, char(0x80)) && outcome.consumed);
            if (special && key == Qt::Key_Alt) {
                VARO_FUZZ_CHECK(outcome.bytes.isEmpty() && keys.isCollecting());
                if (!(autoRepeat && wasCollecting))
                    typedDigits.clear();
            } else if (special && wasCollecting && modifiers.testFlag(Qt::AltModifier) &&
                       key != Qt::Key_F9 && key != Qt::Key_F10) {
                // Every key pressed while Alt is held is used up and sends nothing.
                VARO_FUZZ_CHECK(outcome.bytes.isEmpty() && outcome.consumed);
                if (const std::optional<int> digit = TerminalKeys::keypadDigit(key, modifiers))
                    typedDigits += QChar(u'0' + *digit);
            }
            // One character at most per press, and only one the press carried.
            VARO_FUZZ_CHECK(outcome.bytes.size() <= 1);
            if (outcome.bytes.size() == 1 && key != Qt::Key_F9 && key != Qt::Key_F10)
                VARO_FUZZ_CHECK(text.size() == 1 &&
                                text.at(0).unicode() == quint8(outcome.bytes[0]));
            break;
        }
        case 2: {
            const bool wasCollecting = keys.isCollecting();
            outcome = keys.keyRelease(key, modifiers, autoRepeat);
            if (key == Qt::Key_Alt && !autoRepeat && wasCollecting && special) {
                VARO_FUZZ_CHECK(!keys.isCollecting() && outcome.consumed);
                const std::optional<char> code = altCode(typedDigits);
                VARO_FUZZ_CHECK(code ? outcome.bytes == QByteArray(1, *code)
                                     : outcome.bytes.isEmpty());
                if (code)
                    VARO_FUZZ_CHECK(keys.swallowPending());
            } else {
                VARO_FUZZ_CHECK(outcome.bytes.isEmpty());
            }
            break;
        }
        default:
            keys.focusLost();
            typedDigits.clear();
            VARO_FUZZ_CHECK(!keys.isCollecting());
            break;
        }

        if (!special)
            VARO_FUZZ_CHECK(!keys.isCollecting());
        VARO_FUZZ_CHECK(keys.collectedDigits().size() <= TerminalKeys::kMaxDigitsKept);
        for (const char byte : std::as_const(outcome.bytes))
            grid.put(std::uint8_t(byte), Ink::Typed);
        // The cursor stays on the grid (one past the last column until the next character).
        VARO_FUZZ_CHECK(grid.cursorColumn() >= 1 &&
                        grid.cursorColumn() <= TerminalGrid::kWrapColumn);
        VARO_FUZZ_CHECK(grid.cursorLine() >= 1 && grid.cursorLine() <= TerminalGrid::kLines);
    }
    return 0;
}

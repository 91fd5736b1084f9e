#include "terminalkeys.h"

#include <algorithm>
#include <array>
#include <utility>

namespace varo::terminal {

namespace {

constexpr char kNul = '\0';
constexpr char kF9Byte = char(0x80);

// The keypad's second function with Num Lock off, by digit.
constexpr std::array<std::pair<int, int>, 10> kNavigationDigits{{
    {Qt::Key_Insert, 0},
    {Qt::Key_End, 1},
    {Qt::Key_Down, 2},
    {Qt::Key_PageDown, 3},
    {Qt::Key_Left, 4},
    {Qt::Key_Clear, 5},
    {Qt::Key_Right, 6},
    {Qt::Key_Home, 7},
    {Qt::Key_Up, 8},
    {Qt::Key_PageUp, 9},
}};

} // namespace

std::optional<int> TerminalKeys::keypadDigit(int key, Qt::KeyboardModifiers modifiers) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        // The digit row of the main keyboard does not enter Alt codes.
        if (!modifiers.testFlag(Qt::KeypadModifier))
            return std::nullopt;
        return key - Qt::Key_0;
    }
    const auto it = std::find_if(kNavigationDigits.begin(), kNavigationDigits.end(),
                                 [key](const auto &entry) { return entry.first == key; });
    if (it == kNavigationDigits.end())
        return std::nullopt;
    return it->second;
}

KeyOutcome TerminalKeys::keyPress(int key, Qt::KeyboardModifiers modifiers, const QString &text,
                                  bool autoRepeat) {
    // Alt was released where we could not see it (another window had the focus).
    if (m_collecting && key != Qt::Key_Alt && !modifiers.testFlag(Qt::AltModifier))
        abandonCode();

    if (specialKeysEnabled()) {
        if (key == Qt::Key_F10)
            return {QByteArray(1, kNul), true};
        if (key == Qt::Key_F9)
            return {QByteArray(1, kF9Byte), true};
        if (key == Qt::Key_Alt) {
            // A held Alt repeats its press; that must not restart the code.
            if (!(autoRepeat && m_collecting)) {
                m_collecting = true;
                m_digits.clear();
                m_value = 0;
            }
            return {{}, true};
        }
        if (m_collecting) {
            if (const std::optional<int> digit = keypadDigit(key, modifiers)) {
                if (m_digits.size() < kMaxDigitsKept)
                    m_digits += QChar(QLatin1Char(char('0' + *digit)));
                m_value = std::min(m_value * 10 + *digit, kMaxCollected + 1);
            }
            return {{}, true};
        }
    }

    KeyOutcome outcome;
    for (const QChar ch : text) {
        if (ch.unicode() > 0xFF)
            continue;
        const char code = char(ch.unicode());
        outcome.consumed = true;
        if (m_swallow) {
            const char generated = *m_swallow;
            m_swallow.reset();
            if (code == generated)
                continue;
        }
        outcome.bytes.append(code);
    }
    return outcome;
}

KeyOutcome TerminalKeys::keyRelease(int key, Qt::KeyboardModifiers, bool autoRepeat) {
    if (key != Qt::Key_Alt || autoRepeat || !m_collecting || !specialKeysEnabled())
        return {};
    m_collecting = false;
    const bool typed = !m_digits.isEmpty();
    const int value = m_value;
    m_digits.clear();
    m_value = 0;
    if (!typed || value > 255)
        return {{}, true};
    const char code = char(value);
    m_swallow = code;
    return {QByteArray(1, code), true};
}

void TerminalKeys::focusLost() {
    abandonCode();
}

void TerminalKeys::abandonCode() {
    m_collecting = false;
    m_digits.clear();
    m_value = 0;
}

} // namespace varo::terminal

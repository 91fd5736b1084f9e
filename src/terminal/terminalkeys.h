#pragma once

#include <QByteArray>
#include <QString>
#include <Qt>

#include <optional>

namespace varo::terminal {

// What the terminal does with one key event: the characters to echo and send, in order, and
// whether the event is used up (nothing else may handle it).
struct KeyOutcome {
    QByteArray bytes;
    bool consumed = false;

    bool operator==(const KeyOutcome &) const = default;
};

// Turns key events into terminal characters.
//
// Characters arrive with their key press (code 0 to 255; other code points are dropped).
// F10 gives a NUL and F9 the byte 0x80. Alt starts an Alt code: digits typed on the numeric
// keypad while Alt is held (Num Lock on: keypad 0-9; off: Insert, End, Down, PageDown, Left,
// Clear, Right, Home, Up, PageUp as 0 to 9) form a decimal code that is sent when Alt is
// released, if it is 255 or less. Every key pressed while Alt is held is consumed. A bare Alt
// press and release sends nothing.
//
// Some platforms type the character of an Alt code themselves after the release; the swallow
// flag drops that one copy. It drops the next typed character only when it is the same
// character, so where the system generates nothing the technician's next key is not lost.
//
// In TCP mode the special keys (F9, F10, Alt codes) act only when the terminal was started
// over TCP (the terminal TCP flag); serial mode always has them.
class TerminalKeys {
public:
    // Values above this are discarded like any value that does not fit the 16-bit code.
    static constexpr int kMaxCollected = 32767;
    // Digits beyond this many cannot change the outcome (the value is already too large).
    static constexpr qsizetype kMaxDigitsKept = 16;

    void setTcpMode(bool tcp) { m_tcpMode = tcp; }
    void setTcpFlag(bool flag) { m_tcpFlag = flag; }
    bool tcpFlag() const { return m_tcpFlag; }
    bool specialKeysEnabled() const { return !m_tcpMode || m_tcpFlag; }

    KeyOutcome keyPress(int key, Qt::KeyboardModifiers modifiers, const QString &text,
                        bool autoRepeat = false);
    KeyOutcome keyRelease(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat = false);
    // Focus left the terminal: an Alt code in progress is abandoned.
    void focusLost();

    bool isCollecting() const { return m_collecting; }
    QString collectedDigits() const { return m_digits; }
    bool swallowPending() const { return m_swallow.has_value(); }

    // The digit a numeric-keypad key stands for while Alt is held, if any.
    static std::optional<int> keypadDigit(int key, Qt::KeyboardModifiers modifiers);

private:
    void abandonCode();

    bool m_tcpMode = false;
    bool m_tcpFlag = false;
    bool m_collecting = false;
    QString m_digits;
    int m_value = 0;
    std::optional<char> m_swallow;
};

} // namespace varo::terminal

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace varo {

// Text from a reader or a file made safe to show on a terminal or in a dialog: control
// characters are shown by name in angle brackets (<ESC>, <CR>, <NUL>, <DEL>), the C1 controls
// as <xHH>; everything else is kept. With LineBreaks::Keep a line feed stays a line break (for a
// message whose own lines are joined with them).
enum class LineBreaks { Name, Keep };
QString namedControls(QStringView text, LineBreaks lineBreaks = LineBreaks::Name);

// "ESC" for 0x1B, "DEL" for 0x7F; nullptr for a byte that is no ASCII control.
const char *controlName(quint8 byte);

} // namespace varo

#pragma once

namespace varo::app {

// The screens name the classic faces (Arial, MS Sans Serif, Courier New); metric-compatible
// free faces stand in for them so text fits the boxes it was designed for.
void installFontSubstitutions();

} // namespace varo::app

#pragma once

namespace varo::config {

class ConfigModel;

// load_defaults for the setup screens: puts every field of `general`, `wiegand`, `barcode` and
// `commports` to its factory default, in a fixed order, with the Const rule reacting as the
// boxes are written. The link settings are not touched here.
void loadDefaults(ConfigModel &model);

} // namespace varo::config

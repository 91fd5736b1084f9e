#pragma once

#include <QWidget>

namespace varo::config {

class ConfigModel;
class FieldBinder;

// Setup screen `barcode`: the symbology grid with prefixes and suffixes, two mask blocks and the
// timing options. Row 3 of the grid exists but is never shown.
class BarcodeScreen : public QWidget {
    Q_OBJECT
public:
    explicit BarcodeScreen(ConfigModel *model, QWidget *parent = nullptr);

private:
    FieldBinder *m_binder;
};

} // namespace varo::config

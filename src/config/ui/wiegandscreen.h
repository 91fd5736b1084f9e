#pragma once

#include <QWidget>

namespace varo::config {

class ConfigModel;
class FieldBinder;

// Setup screen `wiegand`: three Wiegand/proximity formats, three mask blocks and the
// magnetic-stripe options.
class WiegandScreen : public QWidget {
    Q_OBJECT
public:
    explicit WiegandScreen(ConfigModel *model, QWidget *parent = nullptr);

private:
    FieldBinder *m_binder;
};

} // namespace varo::config

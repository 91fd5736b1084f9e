#pragma once

#include <QWidget>

namespace varo::config {

class ConfigModel;
class FieldBinder;

// Setup screen `commports`: baud rate and parity of the reader's RS232 and RS422 ports.
class CommportsScreen : public QWidget {
    Q_OBJECT
public:
    explicit CommportsScreen(ConfigModel *model, QWidget *parent = nullptr);

private:
    FieldBinder *m_binder;
};

} // namespace varo::config

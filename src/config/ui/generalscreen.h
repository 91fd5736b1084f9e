#pragma once

#include <QWidget>

namespace varo::config {

class ConfigModel;
class FieldBinder;

// Setup screen `general`: reading technologies, beeps, masking, speaker, LEDs and storage.
class GeneralScreen : public QWidget {
    Q_OBJECT
public:
    explicit GeneralScreen(ConfigModel *model, QWidget *parent = nullptr);

private:
    FieldBinder *m_binder;
};

} // namespace varo::config

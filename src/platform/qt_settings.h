#pragma once
// The desktop program's remembered settings (folders of the file dialogs,
// window places, the OverView's indicator colour), in
// $XDG_CONFIG_HOME/tilewright/tilewright.conf (~/.config when unset).
// Tests point QSettings' user path at a scratch folder.
#include <QSettings>

namespace tw {

class ProgramSettings : public QSettings {
public:
    ProgramSettings()
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tilewright"),
                    QStringLiteral("tilewright"))
    {
    }
};

} // namespace tw

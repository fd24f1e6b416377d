#pragma once
// Every control carries its handler vocabulary's name as object name and its
// caption (or the caption of the label that names it) as accessible name.
#include <QString>
#include <QWidget>

namespace tw {

template <class Control>
Control* nameControl(Control* control, const char* objectName, const QString& caption)
{
    control->setObjectName(QLatin1String(objectName));
    control->setAccessibleName(caption.trimmed());
    return control;
}

} // namespace tw

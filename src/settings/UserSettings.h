#pragma once
// The user's settings beyond the documented choices (which live in memory
// only): one INI file, $XDG_CONFIG_HOME/sondrel/sondrel.ini, with a group
// per part ([monitor], [archive], [alerts]).

#include <QSettings>

namespace sondrel {

inline QSettings UserSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("sondrel"), QStringLiteral("sondrel"));
}

}  // namespace sondrel

#include "monitor/MetricsSettings.h"

#include "settings/UserSettings.h"

namespace sondrel {

MetricsSettings ReadMetricsSettings() {
  MetricsSettings s;
  const QSettings settings = UserSettings();
  s.serve = settings.value(QStringLiteral("metrics/serve"), false).toBool();
  const QString listen = settings.value(QStringLiteral("metrics/listen")).toString().trimmed();
  if (!listen.isEmpty()) s.listen = listen.toStdString();
  return s;
}

}  // namespace sondrel

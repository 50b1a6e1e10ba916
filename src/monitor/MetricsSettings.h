#pragma once
// Whether the window serves its runs' metrics, and where: the user's
// settings ($XDG_CONFIG_HOME/sondrel/sondrel.ini, [metrics] serve, off by
// default; listen, 127.0.0.1:9374 by default).

#include <string>

namespace sondrel {

struct MetricsSettings {
  bool serve = false;
  std::string listen = "127.0.0.1:9374";
};
MetricsSettings ReadMetricsSettings();

}  // namespace sondrel

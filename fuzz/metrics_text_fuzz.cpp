// What scrapers and users hand the metrics endpoint, on any bytes: a label
// value or help text never breaks its line and always comes out as UTF-8;
// an Accept header picks a format; a listen address that parses reads back
// the same from its own text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/monitor/Exposition.h"
#include "core/monitor/ListenAddress.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string valid = ValidUtf8(text);
  if (ValidUtf8(valid) != valid) std::abort();

  MetricFamily f;
  f.name = "fuzz";
  f.help = text;
  f.series.push_back({{{"host", text}, {"ip", text}}, 1, {}, 0, 0});
  for (const ExpositionFormat format : {ExpositionFormat::Text, ExpositionFormat::OpenMetrics}) {
    const std::string body = RenderExposition({f}, format);
    std::size_t lines = 0;
    for (char c : body) lines += c == '\n';
    if (lines != (format == ExpositionFormat::OpenMetrics ? 4u : 3u)) std::abort();
    if (ValidUtf8(body) != body) std::abort();
  }

  (void)NegotiateExposition(text);
  (void)IsLoopbackAddress(text);
  if (const auto where = ParseListenAddress(text)) {
    const auto again = ParseListenAddress(ListenAddressText(where.value()));
    if (!again || again.value().address != where.value().address || again.value().port != where.value().port)
      std::abort();
  }
  return 0;
}

#pragma once
// Host name resolution. Blocking; safe from any thread.

#include <memory>
#include <string>

namespace sondrel {

class IResolver {
 public:
  virtual ~IResolver() = default;
  // First IPv4 address of the name in dotted form, "" when unknown.
  virtual std::string firstIPv4(const std::string& name) = 0;
  // Host name of a dotted address, "" when it has none.
  virtual std::string nameOf(const std::string& address) = 0;
};

}  // namespace sondrel

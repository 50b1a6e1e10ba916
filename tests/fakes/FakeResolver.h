#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/ports/Resolver.h"

namespace sondrel::fakes {

// Names and addresses from a table; everything else is unknown.
class FakeResolver final : public IResolver {
 public:
  void add(const std::string& name, const std::string& address) {
    std::lock_guard lock(mutex_);
    forward_[name] = address;
    reverse_.emplace(address, name);
  }
  std::string firstIPv4(const std::string& name) override {
    std::lock_guard lock(mutex_);
    lookups_.push_back(name);
    auto it = forward_.find(name);
    return it == forward_.end() ? std::string() : it->second;
  }
  std::string nameOf(const std::string& address) override {
    std::lock_guard lock(mutex_);
    auto it = reverse_.find(address);
    return it == reverse_.end() ? std::string() : it->second;
  }
  std::vector<std::string> lookups() const {
    std::lock_guard lock(mutex_);
    return lookups_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> forward_;
  std::map<std::string, std::string> reverse_;
  std::vector<std::string> lookups_;
};

}  // namespace sondrel::fakes

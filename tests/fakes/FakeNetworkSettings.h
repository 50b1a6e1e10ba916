#pragma once
#include "core/ports/NetworkSettings.h"

namespace sondrel::fakes {

class FakeNetworkSettings final : public INetworkSettings {
 public:
  std::vector<Adapter> adapterList;
  std::vector<std::string> servers;

  std::vector<Adapter> adapters() override { return adapterList; }
  std::vector<std::string> nameServers() override { return servers; }
};

}  // namespace sondrel::fakes

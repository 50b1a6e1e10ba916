#pragma once
// The process service on this system's processes (fork, exec, process
// groups); only the composition roots make it.

#include <memory>

#include "ports/ProcessService.h"

namespace sondrel {

std::unique_ptr<ProcessService> MakeProcessService();

}  // namespace sondrel

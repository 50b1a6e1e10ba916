#pragma once
// The HTTP server behind IHttpServer, on cpp-httplib; only the composition
// roots make it.

#include <memory>

#include "core/ports/HttpServer.h"

namespace sondrel {

std::unique_ptr<IHttpServer> MakeHttpServer(const HttpLimits& limits = {});

}  // namespace sondrel

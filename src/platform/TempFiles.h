#pragma once
// Temporary files for whole-file rewrites: written beside the file they
// replace, made durable, then renamed over it.

#include <string>

namespace sondrel {

// A name beside `path` that no other process and no other call of this one
// uses, so that two instances rewriting the same file never share one.
std::string UniqueTemporaryName(const std::string& path);

// Makes a finished file durable before it replaces another. False on failure.
bool SyncFile(const std::string& path);

}  // namespace sondrel

#pragma once
// Hints to the system about how the program uses its memory.

#include <cstddef>

namespace sondrel {

// Asks for large pages behind a big block about to be filled in one sweep
// (the records of a reload): one fault per 2 MB instead of per 4 KB. Only a
// hint; nothing changes where the system does not take it.
void AdviseLargePages(void* data, std::size_t bytes);

}  // namespace sondrel

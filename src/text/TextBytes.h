#pragma once
// How bytes become text and text becomes bytes. Files that users keep by hand
// (the IP list, the command history) may come from a single-byte system, so
// their bytes are read as UTF-8 where they are valid UTF-8 and as Latin-1
// where they are not; what the program or the user writes goes out as UTF-8.

#include <QString>
#include <string>
#include <string_view>

namespace sondrel {

// `bytes` read by the rule above.
QString TextOfBytes(std::string_view bytes);

// `piece` of `whole` (a field or a cut of one line) read as the whole line is
// read, so that a cut inside a UTF-8 character does not turn the piece into
// Latin-1, and a valid piece of a Latin-1 line stays Latin-1.
QString TextOfBytesLike(std::string_view whole, std::string_view piece);

// What is written of `text`: its UTF-8 bytes.
std::string BytesOfText(const QString& text);

// The program's own texts: its literals and what its code composes (messages,
// numbers, paths), all UTF-8. Data read from files goes through TextOfBytes.
QString ProgramText(std::string_view text);

}  // namespace sondrel

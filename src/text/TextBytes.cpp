#include "text/TextBytes.h"

#include "core/iplist/IPListFile.h"

namespace sondrel {

namespace {
qsizetype SizeOf(std::string_view bytes) { return static_cast<qsizetype>(bytes.size()); }
}  // namespace

QString TextOfBytes(std::string_view bytes) { return TextOfBytesLike(bytes, bytes); }

QString TextOfBytesLike(std::string_view whole, std::string_view piece) {
  if (IsUtf8(whole)) return QString::fromUtf8(piece.data(), SizeOf(piece));
  return QString::fromLatin1(piece.data(), SizeOf(piece));
}

std::string BytesOfText(const QString& text) { return text.toStdString(); }

QString ProgramText(std::string_view text) { return QString::fromUtf8(text.data(), SizeOf(text)); }

}  // namespace sondrel

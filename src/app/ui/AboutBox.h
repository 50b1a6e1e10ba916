#pragma once
// The text of the About box: the caption line, then the version and its date,
// where the data lives and the licence.

#include <QString>
#include <string>

namespace sondrel {

inline constexpr char kLicenceLine[] = "Licence: MIT License; no warranty of any kind.";

QString AboutText(const QString& caption, const std::string& dataFolder);

}  // namespace sondrel

#include "app/ui/AboutBox.h"

#include "core/common/DataFolder.h"

namespace sondrel {

QString AboutText(const QString& caption, const std::string& dataFolder) {
  const auto latin = [](std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
  };
  return caption + QStringLiteral("\n\nVersion ") + latin(kVersion) + QStringLiteral(" of ") +
         latin(kVersionDate) + QStringLiteral("\nData folder: ") +
         QString::fromStdString(dataFolder) + QStringLiteral("\n") +
         QString::fromUtf8(kLicenceLine);
}

}  // namespace sondrel

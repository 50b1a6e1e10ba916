#include "results/AskSaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "ports/Prompter.h"

namespace sondrel {

QString DesktopFolder() {
  QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (desktop.isEmpty() || !QFileInfo(desktop).isDir()) return QDir::homePath();
  return desktop;
}

QString AskSaveFile(IPrompter& prompter, const SaveFileRequest& request) {
  const QString folder = request.startFolder.isEmpty() ? DesktopFolder() : request.startFolder;
  const QString filter =
      request.filter.isEmpty() ? QStringLiteral("Text Files (*.%1)").arg(request.extension) : request.filter;
  QString path =
      prompter.saveFileName(request.title, QDir(folder).filePath(request.defaultName), filter)
          .trimmed();
  if (path.isEmpty()) return {};
  // The dialog's default extension: added when the name has none.
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".") + request.extension;
  if (QFileInfo::exists(path)) {
    const auto answer = prompter.message(QStringLiteral("The same filename exist, overwrite it?"),
                                         QStringLiteral("Information"), IPrompter::Icon::Warning,
                                         IPrompter::Buttons::YesNo);
    if (answer != IPrompter::Answer::Yes) return {};
  }
  return path;
}

}  // namespace sondrel

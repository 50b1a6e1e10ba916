#pragma once
#include <QStringList>

#include "ports/Launcher.h"

namespace sondrel::fakes {

class FakeLauncher final : public ILauncher {
 public:
  QStringList opened;
  QStringList terminals;
  QStringList files;  // "text:PATH" or "spreadsheet:PATH"
  bool result = true;
  QString terminal = QStringLiteral("/usr/bin/xterm");  // "" plays a desktop without one
  bool openUrl(const QString& urlOrPath) override {
    opened << urlOrPath;
    return result;
  }
  bool openTerminal(const QString& command) override {
    terminals << command;
    return result;
  }
  void openFile(FileKind kind, const QString& path, std::function<void(bool)> done) override {
    files << (kind == FileKind::Spreadsheet ? QStringLiteral("spreadsheet:")
                                            : QStringLiteral("text:")) +
                 path;
    done(result);
  }
  QString findTerminal() override { return terminal; }
};

}  // namespace sondrel::fakes

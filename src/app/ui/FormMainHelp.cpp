// The main window's help window and About box.

#include <QAction>

#include "app/ui/AboutBox.h"
#include "app/ui/FormMain.h"
#include "help/ui/DialogHelp.h"

namespace sondrel {

void FormMain::OpenHelp() {
  // One help window at a time; a new one starts again on its first page.
  if (!help_) {
    help_ = new DialogHelp(this);
    help_->setAttribute(Qt::WA_DeleteOnClose);
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

DialogHelp* FormMain::helpWindow() const { return help_.data(); }

void FormMain::ShowAbout() {
  if (!services_.prompter) return;
  services_.prompter->message(AboutText(windowTitle(), dataFolder_), QStringLiteral("About"),
                              IPrompter::Icon::Information);
  focusNeutral();
}

}  // namespace sondrel

#pragma once
// The add, edit and delete operations of the target list: they show the list
// dialogs in a loop, check for duplicates, rewrite the list file through the
// store and keep ListIP's current item on the changed entry. One QAction per
// operation, shared by the CommandAdd buttons and the "&IP" menu.

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "iplist/DialogExchange.h"

class QAction;
class QDialog;
class QWidget;

namespace sondrel {

class IIPListLines;
class IPrompter;
class TargetListPanel;

class IPListEditor final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(IPListEditor)

 public:
  // Shows one dialog modally and returns when it has closed. The default runs
  // exec(); tests put in one that fills the real dialog and presses its buttons.
  using DialogRunner = std::function<void(QDialog&)>;

  enum Command { kAddSingle = 0, kAddGroup, kAddRange, kEdit, kDelete };

  // `window` is the main window: the dialogs' parent and position anchor.
  IPListEditor(std::shared_ptr<IPrompter> prompter, IIPListLines& store, DialogExchange& exchange,
               TargetListPanel& panel, QWidget* window, QObject* parent = nullptr);
  ~IPListEditor() override;

  void setDialogRunner(DialogRunner runner);

  // "mnuAddS", "mnuAddG", "munAddR", "mnuEdit", "mnuDelete"; CommandAdd(i)
  // of the panel triggers commandAction(i).
  QAction* commandAction(int index) const;

  void AddSingle();
  void AddGroup();
  void AddRange();
  void EditEntry();
  void DeleteEntries();

  // A ping run is going: the dialogs' test-now ping buttons are off meanwhile.
  void setRunActive(bool active);

 Q_SIGNALS:
  // A test-now button of the single or group dialog: ping `entry` at once,
  // without storing it (an empty entry leaves the targets to the selection).
  void pingTestRequested(const sondrel::ListEntry& entry = {});
  // The range dialog's scan button: scan `entry` at once.
  void scanRequested(const sondrel::ListEntry& entry);

 private:
  enum class Kind { Single, Group, Range };
  void addLoop(Kind kind);
  DialogResult runDialog(QDialog& dialog);
  // Shows the dialog once: the entry to store (an empty title defaulted), or
  // none; `done` says whether editing ends there (left, or a test-now handed
  // on) rather than showing the dialog again.
  std::optional<ListEntry> showForEntry(QDialog& dialog, bool& done);
  void applyRunState();
  void storeAnchor();
  void requestTestNow(const ListEntry& entry);
  std::unique_ptr<QDialog> makeDialog(Kind kind);
  int findItem(const std::string& text, int skip = -1) const;
  // The entry with an empty group or range title replaced by the default.
  static ListEntry withTitle(ListEntry entry);

  // The store's lines as they stand (without the empty list's placeholder).
  std::vector<std::string> currentLines() const;
  // Rewrites the list file with `lines`, reloads it and makes the first item
  // showing `current` the current one; `editedRow` is the row whose line was
  // replaced (its highlight follows it). False when the rewrite failed.
  bool rewrite(const std::vector<std::string>& lines, const std::string& current,
               int editedRow = -1);

  std::shared_ptr<IPrompter> prompter_;
  IIPListLines& store_;
  DialogExchange& exchange_;
  TargetListPanel& panel_;
  QWidget* window_;
  DialogRunner runner_;
  std::array<QAction*, 5> actions_{};
  QPointer<QDialog> open_;  // the dialog being shown, if any
  bool runActive_ = false;
};

}  // namespace sondrel

Q_DECLARE_METATYPE(sondrel::ListEntry)

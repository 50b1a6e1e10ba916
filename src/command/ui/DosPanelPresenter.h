#pragma once
// The command utility panel's wiring: the command line and its two pickers,
// the run history kept in the data folder, the terminals the commands run
// in, and the history menu the panel pops up (the same menu as the main
// window's). The main window creates it, gives it the panel and the menu,
// and switches to the panel.

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ports/Prompter.h"

class QMenu;
class QWidget;

namespace sondrel {

class CommandHistory;
class FileService;
class ILauncher;
class PictureDOS;
class ProcessService;
class ResultsExport;
class TerminalRuns;

inline constexpr char kDeleteHistoryCaption[] = "Delete History";
inline constexpr char kNothingToAddText[] = "No current entered command line to add.   ";
inline constexpr char kSelectToDeleteText[] =
    "Please select the history records your want to delete.  ";

// What the command utility's panel is given from outside.
struct CommandPanelServices {
  std::shared_ptr<IPrompter> prompter;  // may be null: then no messages
  std::shared_ptr<ILauncher> launcher;
  std::shared_ptr<ProcessService> processes;
  FileService* files = nullptr;
};

class DosPanelPresenter final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DosPanelPresenter)

 public:
  explicit DosPanelPresenter(CommandPanelServices services, QObject* parent = nullptr);
  ~DosPanelPresenter() override;

  // `window` is where the history menu pops up; `historyMenu` holds the
  // entries "mnuDel_1" to "mnuDel_12".
  void setViews(PictureDOS* panel, QWidget* window, QMenu* historyMenu);
  // The address picker's items (the target list's single entries and its two
  // fixed items), asked for each time the picker opens.
  void setAddressSource(std::function<std::vector<std::string>()> source) {
    addresses_ = std::move(source);
  }

  // Start-up, once the data folder is known.
  void FillCommandList();
  void setHistoryFile(const std::string& path);

  // (Re)reads the history file into the list; the history import calls it
  // after replacing the file.
  void LoadHistory();
  // The history is read again whenever `exporter` has imported one over it.
  void followImports(ResultsExport& exporter);
  void RunCommand();
  void AddCurrentCommand();
  void ToggleHistorySort();
  void DeleteSelectedHistory();
  void KeepLastHistory(int n);
  void DeleteAllHistory();
  void EditHistory();
  void InsertAddress(const QString& address);
  // Asks every terminal opened here to close.
  void CloseAllTerminals();

  CommandHistory* history() const { return history_.get(); }
  TerminalRuns* terminals() const { return terminals_; }

 Q_SIGNALS:
  // "Add a IP / URL" in the address picker: the single-target dialog.
  void addSingleWanted();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddToHistory(const std::string& command);
  void fillHistoryList();
  void hidePickers();
  void showAddresses();
  void putCommand(const QString& text);
  // The bytes to run or add for the command line `text`.
  std::string commandBytes(const QString& text) const;
  void popUpHistoryMenu();
  bool ask(const QString& text);
  void tell(const QString& text, IPrompter::Icon icon);
  void tellAboutTail();

  CommandPanelServices services_;
  PictureDOS* panel_ = nullptr;
  // The command line, the history list and its viewport.
  std::array<QObject*, 3> filtered_{};
  QWidget* window_ = nullptr;
  QMenu* historyMenu_ = nullptr;
  std::function<std::vector<std::string>()> addresses_;
  std::unique_ptr<CommandHistory> history_;
  TerminalRuns* terminals_ = nullptr;
  int toldTailLines_ = 0;
  // The stored bytes of the history line last put into the command line.
  std::string picked_;
};

}  // namespace sondrel

#pragma once
// The target list of the main window: the container Picture1(0) with the
// multi-select list ListIP and the CommandAdd buttons, the target box
// TextPing, the select-all box CheckReset, and the entry detail pop-up
// PictureShowIP. It keeps these controls consistent with each other; what is
// selected here is what the target collection turns into addresses.

#include <QWidget>
#include <array>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sondrel {

struct CollectRequest;

class TargetListPanel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TargetListPanel)

 public:
  // Heights in twips of the detail pop-up.
  static constexpr int kGroupDetailMaxTwips = 5405;
  static constexpr int kRangeDetailTwips = 1700;
  // ListIP / Picture1(0) heights in twips, collapsed and expanded.
  static constexpr int kListCollapsedTwips = 1605;
  static constexpr int kContainerCollapsedTwips = 1695;
  static constexpr int kListExpandedTwips = 7000;
  static constexpr int kContainerExpandedTwips = 7090;

  explicit TargetListPanel(QWidget* parent = nullptr);
  ~TargetListPanel() override;

  // Detail pop-up height for a group of `members` members.
  static int groupDetailHeightTwips(int members);

  // --- Controls (objectNames as documented) ---
  QFrame* Picture1() const;  // "Picture1_0"
  QListWidget* ListIP() const;
  QLineEdit* TextPing() const;
  QCheckBox* CheckReset() const;
  QPushButton* CommandAdd(int index) const;  // "CommandAdd_0" .. "CommandAdd_4"
  QFrame* PictureShowIP() const;
  QLineEdit* TextShowIPsT() const;
  QLineEdit* TextShowIPsT2() const;
  QListWidget* TextShowIPs() const;
  QPushButton* Command18() const;
  QAction* resetAction() const;  // "mnuReset", for the "&IP" menu

  // --- Wiring by the main window ---
  // The CommandAdd button `index` runs `action` (the same one the menu shows).
  void bindCommandAdd(int index, QAction* action);
  // The pop-up floats over `host` (the main window's client area) at its
  // documented position; until then it lies inside this panel.
  void setDetailHost(QWidget* host);
  // Where the focus goes after the select-all box (Text402).
  void setNeutralFocus(QWidget* widget);
  // Buttons whose tool tips follow TextPing: the ping buttons and the scan button.
  void setToolTipTargets(std::vector<QWidget*> pingButtons, std::vector<QWidget*> scanButtons);
  // A ping run or a scan is going: list clicks then show no details.
  void setRunActive(bool active);
  // The maximised list (7000 twips) or the normal one (1605); maximising hides
  // the detail pop-up.
  void setListExpanded(bool expanded);
  bool isListExpanded() const;

  // --- List contents ---
  // Refills ListIP with the display names of the store's lines (IPEntries)
  // and hides the detail pop-up; called after every load of the store. The
  // entries highlighted before, and the current one, stay so; `editedRow`
  // (a row of the list as it was) now holds `editedLine`.
  void showEntries(const std::vector<std::string>& ipEntries, int editedRow = -1,
                   const std::string& editedLine = {});
  // TextPing and CheckReset made to agree with the highlight and the current
  // item; with neither, a typed target stays and a stale summary is cleared.
  void syncSelectionSummary();
  // The line item `index` shows; "" outside the list.
  const std::string& entryLine(int index) const;

  // --- What the target collection reads and does ---
  int currentIndex() const;  // -1 when there is no current item
  QString currentText() const;
  std::vector<int> selectedIndices() const;  // ascending
  QString pingText() const;
  void selectCurrentItem();
  // Makes `index` the current item without changing the selection; -1 for none.
  void setCurrentIndex(int index);
  void clearSelection();  // deselect all, leaving the current item
  // The list state a target collection starts from: current item and text,
  // target box, selection and the lines ListIP shows.
  void fillListState(CollectRequest& request) const;

  // --- Selection behaviour ---
  void ShowEntryDetails(const std::string& line);
  void hideEntryDetails();
  void UpdateSelectionSummary();
  bool SelectionUpdating() const;
  char ShownEntryKind() const;
  int detailHeightTwips() const;  // height of the pop-up as last shown

  // --- User actions ---
  void ListIP_Click();
  void CheckReset_Click();
  void mnuReset_Click();
  void Command18_Click();
  void TextShowIPs_Click(int row);
  void TextPing_Change();
  void TextPing_GotFocus();
  void TextPing_LostFocus();

 Q_SIGNALS:
  // Enter in TextPing: the same as pressing the start button.
  void startRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Ui;
  void setSelectionUpdating(bool on);
  void selectAll(bool selected);

  Ui* ui_;
  std::vector<std::string> lines_;
  bool selectionUpdating_ = false;
  bool runActive_ = false;
  bool expanded_ = false;
  char shownKind_ = 0;
  int detailHeightTwips_ = 0;
  QWidget* neutralFocus_ = nullptr;
  std::vector<QWidget*> pingTipTargets_;
  std::vector<QWidget*> scanTipTargets_;
};

}  // namespace sondrel

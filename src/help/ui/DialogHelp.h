#pragma once
// The paged help window: seven fixed pages of a screenshot and a few texts,
// browsed with Previous and Next. It does not block the main window.

#include <QDialog>
#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;
class QToolButton;

namespace sondrel {

class DialogHelp final : public QDialog {
  Q_OBJECT
 public:
  static constexpr std::int16_t kPageCount = 7;

  // Opens at `owner`'s left edge, 100 twips below the top of its screen.
  explicit DialogHelp(QWidget* owner = nullptr);

  // Shows the current page at its place, the others hidden.
  void ShowHelpPage();
  std::int16_t currentPage() const { return currentPage_; }

  void CommandNext_Click();
  void CommandPre_Click();

 private:
  QFrame* buildPage(int page);
  void showCounter();

  std::int16_t currentPage_ = 1;
  std::array<QFrame*, kPageCount + 1> pages_{};
  QToolButton* commandPre_ = nullptr;
  QToolButton* commandNext_ = nullptr;
  QPushButton* command1_ = nullptr;
  QLabel* label1_ = nullptr;
};

}  // namespace sondrel

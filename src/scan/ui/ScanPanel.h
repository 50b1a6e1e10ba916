#pragma once
// The scan panel's widgets: the 21-row grid (six label columns), its scroll
// bar, the counters, the progress box and the four filter buttons. It only
// draws what it is given; ScanPanelPresenter decides what and when.

#include <QFrame>
#include <array>

#include "core/scan/ScanGridRules.h"
#include "core/scan/ScanRecord.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace sondrel {

class ScanPanel final : public QFrame {
  Q_OBJECT
 public:
  explicit ScanPanel(QWidget* parent = nullptr);

  // Every row empty on the empty colour.
  void ClearScanTable();
  // Draws the rows of `window` from `table`; only those rows are formatted.
  void drawRows(const ScanTable& table, ScanRowWindow window);

  std::array<QLabel*, kScanGridRows>& ssTYPE() { return ssTYPE_; }
  std::array<QLabel*, kScanGridRows>& ssIP() { return ssIP_; }
  std::array<QLabel*, kScanGridRows>& sMS() { return sMS_; }
  std::array<QLabel*, kScanGridRows>& sTTL() { return sTTL_; }
  std::array<QLabel*, kScanGridRows>& sHOST() { return sHOST_; }
  std::array<QLabel*, kScanGridRows>& sMAC() { return sMAC_; }
  QScrollBar* VScroll2() const { return vScroll2_; }
  QLabel* LabelTotal() const { return labelTotal_; }
  QLabel* LabelActive() const { return labelActive_; }
  QLabel* LabelInactive() const { return labelInactive_; }
  QLabel* Label9() const { return label9_; }
  QLineEdit* Text2() const { return text2_; }
  std::array<QPushButton*, 4>& CmdShowScan() { return cmdShowScan_; }
  void setFilterButtonsVisible(bool visible);
  // What the grid shows, as lines of text: the headings and each filled row
  // (cells TAB-separated), then the counters.
  QString visibleText() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::array<QLabel*, kScanGridRows> ssTYPE_{}, ssIP_{}, sMS_{}, sTTL_{}, sHOST_{}, sMAC_{};
  std::array<QLabel*, 6> headers_{};
  QScrollBar* vScroll2_ = nullptr;
  QLabel* labelTotal_ = nullptr;
  QLabel* labelActive_ = nullptr;
  QLabel* labelInactive_ = nullptr;
  QLabel* label9_ = nullptr;
  QLineEdit* text2_ = nullptr;
  std::array<QPushButton*, 4> cmdShowScan_{};
  // Starts unlike any colour, so that the first paint happens.
  std::array<std::uint32_t, kScanGridRows> rowColour_ = [] {
    std::array<std::uint32_t, kScanGridRows> a{};
    a.fill(0xFFFFFFFF);
    return a;
  }();

  void paintRow(int row, std::uint32_t colour);
  void layoutCells();
};

}  // namespace sondrel

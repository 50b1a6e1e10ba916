#pragma once
// The scan panel's wiring: the scan run, the collection of its addresses,
// the grid with its scroll bar and filters, new groups from the results and
// the local-subnet range. The main window gives it the views and follows its
// signals for what belongs to the frame (the panel shown, the focus).

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>

#include "core/iplist/ListEntry.h"
#include "core/results/ScanExport.h"
#include "core/scan/ScanRecord.h"

class QLabel;
class QMenu;

namespace sondrel {

class ArpLookup;
class IClock;
class IKeepAwake;
class INetworkSettings;
class IPrompter;
class IResolver;
class ProcessService;
class ScanPanel;
class ScanRun;
class TargetCollector;
class TargetListPanel;
struct CollectResult;

// What the scan panel is given from outside.
struct ScanPanelServices {
  std::shared_ptr<IResolver> resolver;
  std::shared_ptr<INetworkSettings> network;
  std::shared_ptr<IPrompter> prompter;  // may be null: then no messages
  std::shared_ptr<ProcessService> processes;
  std::shared_ptr<IKeepAwake> keepAwake;  // may be null
  // The MAC completion after a scan needs these three; without one of
  // them it is left out.
  std::shared_ptr<IClock> clock;
};

class ScanPanelPresenter final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ScanPanelPresenter)

 public:
  // Owned by the window; they outlive this object's use of them.
  struct Views {
    ScanPanel* panel = nullptr;
    TargetListPanel* targetList = nullptr;
    QMenu* addGroupMenu = nullptr;  // mnuAddG2, popped up by CmdShowScan(3)
    QLabel* titleLine = nullptr;    // LabelTittle2, cleared when a scan starts
  };

  ScanPanelPresenter(ScanPanelServices services, std::string workerPath, QObject* parent = nullptr);
  ~ScanPanelPresenter() override;

  void setViews(const Views& views);

  // "Scan ip": the selection (or the typed target) is collected and scanned.
  void StartScan();
  // The range dialog's scan button: `entry` alone.
  void StartScanOf(const ListEntry& entry);
  void StopScan();
  // A scan is collecting, launching or waiting for reports.
  bool scanning() const;
  // Another run of the window (a ping run) is going, or has ended: scans
  // are refused meanwhile.
  void setOtherRunGoing(bool going) { otherRunGoing_ = going; }

  void RefreshScanTable();
  void ShowScanFilter(const QString& mode);
  void AddScanToNewGroup(const QString& mode);
  // "Scan local subnet and save the ip addresses": the range dialog preset
  // to the first adapter's x.y.z.0 to x.y.z.255.
  void ScanLocalSubnet();

  // What the scan export writes: the whole table and the counter captions.
  const ScanTable& scanTable() const;
  ScanTotals scanTotals() const;

  ScanRun* scanRun() const { return run_.get(); }

 Q_SIGNALS:
  // The list editor is wanted for a new group of these members (the
  // scanned addresses, "," between), or for a new range.
  void newGroupWanted(const std::string& members);
  void newRangeWanted(const std::string& first, const std::string& last);
  void scanPanelWanted();
  void neutralFocusWanted();
  // scanning() changed: a scan began collecting, or ended (or gave up).
  void scanningChanged(bool scanning);

 private:
  bool otherRunGoing_ = false;
  void collected(const CollectResult& result);
  void launch(const std::vector<std::string>& addresses);
  void onTick();
  void onFinished();
  void completeMacs();
  void scheduleProgress();
  void setupScroll(int count);
  void warn(const QString& text);

  ScanPanelServices services_;
  Views views_;
  std::unique_ptr<ScanRun> run_;
  TargetCollector* collector_ = nullptr;
  ArpLookup* lookup_ = nullptr;  // made at the first finished scan
  ListEntry scanNow_;
  bool collecting_ = false;
  bool awake_ = false;
  // The table the grid draws from: the run's during a scan, a filter's after.
  ScanTable shown_;
  bool showingFilter_ = false;
  QTimer progressTimer_;  // the progress text at most once a frame
};

}  // namespace sondrel

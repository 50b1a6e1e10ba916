#pragma once
// After a scan: fills the MACs still empty from the kernel's neighbour table
// (`ip -4 neigh show` run through ClassDos) and this machine's own MAC from
// its interface, then tells the closing line.

#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

#include "core/scan/ScanRecord.h"
#include "core/ports/Clock.h"
#include "core/ports/NetworkSettings.h"
#include "ports/ProcessService.h"
#include "ports/Prompter.h"

namespace sondrel {

class ClassDos;

class ArpLookup : public QObject {
  Q_OBJECT
 public:
  // Only entries that hold a link address are asked for, so that the
  // addresses a sweep found dead do not crowd the live ones out of the
  // output that is read.
  static constexpr const char* kNeighbourCommand =
      "ip -4 neigh show nud reachable nud stale nud delay nud probe nud permanent";
  // The table is read whole, whatever its size; a command that has not
  // ended by then is read up to here.
  static constexpr int kCommandTimeoutMs = 10000;

  ArpLookup(ProcessService& processes, IPrompter& prompter, INetworkSettings& network,
            const IClock& clock, QObject* parent = nullptr);
  ~ArpLookup() override;

  // Seconds of the day the scan started at (hour * 3600 + minute * 60 +
  // second); the closing line counts from it.
  int ScanStartSeconds = 0;

  // Starts the lookup for `table`, which must stay alive and unresized until
  // `finished`. A lookup still going is dropped.
  void RunArpLookup(ScanTable& table);

  // This machine's first IPv4 address (its first adapter's), "" when none.
  std::string LocalAddress();

  // Gives the record of this machine's own address, when the scan holds it
  // without a MAC, the MAC of its interface. The closing line, or "" when
  // there is no such record.
  QString RunLocalNbtstat();

  bool running() const { return table_ != nullptr; }
  // Drops a lookup still going, so that its table may change; no signal
  // follows.
  void cancel() {
    dropCommand();
    table_ = nullptr;
  }
  // The output collected from the neighbour table command.
  const QString& OutputBuffer() const { return outputBuffer_; }
  void setCommandTimeoutMs(int ms) { commandTimer_.setInterval(ms); }

 Q_SIGNALS:
  // MACs may have changed: the grid redraws.
  void tableChanged();
  // The lookup is over. `line` is "Scanning finished:   N  Second    ", or
  // "" when this machine's address was not in the scan to be completed.
  void finished(const QString& line);

 public Q_SLOTS:
  void objDOS_ReceiveOutputs(const QString& CommandOutputs);

 private:
  void dropCommand();
  void parseNeighbours();

  ProcessService& processes_;
  IPrompter& prompter_;
  INetworkSettings& network_;
  const IClock& clock_;
  ScanTable* table_ = nullptr;
  ClassDos* dos_ = nullptr;
  QString outputBuffer_;
  QTimer commandTimer_;
};

}  // namespace sondrel

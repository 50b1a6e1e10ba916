#include "scan/ArpLookup.h"

#include <QTimer>

#include "core/scan/NeighbourTable.h"
#include "command/ClassDos.h"

namespace sondrel {
namespace {

constexpr int kSecondsPerDay = 24 * 3600;

int SecondsOfDay(const LocalDateTime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

}  // namespace

ArpLookup::ArpLookup(ProcessService& processes, IPrompter& prompter, INetworkSettings& network,
                     const IClock& clock, QObject* parent)
    : QObject(parent), processes_(processes), prompter_(prompter), network_(network),
      clock_(clock) {
  commandTimer_.setSingleShot(true);
  commandTimer_.setInterval(kCommandTimeoutMs);
  connect(&commandTimer_, &QTimer::timeout, this, [this] {
    if (!table_ || !dos_) return;
    dropCommand();
    parseNeighbours();
  });
}

ArpLookup::~ArpLookup() { dropCommand(); }

void ArpLookup::RunArpLookup(ScanTable& table) {
  dropCommand();
  table_ = &table;
  outputBuffer_.clear();
  dos_ = new ClassDos(processes_, prompter_, this);
  connect(dos_, &ClassDos::ReceiveOutputs, this, &ArpLookup::objDOS_ReceiveOutputs);
  dos_->CommandLine = QString::fromLatin1(kNeighbourCommand);
  if (!dos_->ExecuteCommand()) {
    // The runner has told why; this machine's own MAC needs no command, so
    // the lookup still ends as it would on an empty table.
    dropCommand();
    QTimer::singleShot(0, this, [this] {
      if (table_ && !dos_) parseNeighbours();
    });
    return;
  }
  commandTimer_.start();
}

void ArpLookup::objDOS_ReceiveOutputs(const QString& CommandOutputs) {
  if (!table_ || !dos_) return;
  // The runner's only empty piece is its last. A piece of blanks or line
  // ends inside the output is kept: it may be what separates two entries.
  // The table's layout is the kernel's and read whole: a busy network's
  // live hosts may come after any number of pieces.
  if (!CommandOutputs.isEmpty()) {
    outputBuffer_ += CommandOutputs;
    return;
  }
  dropCommand();
  parseNeighbours();
}

void ArpLookup::dropCommand() {
  commandTimer_.stop();
  if (!dos_) return;
  // It may be handing over the piece that brought us here.
  dos_->disconnect(this);
  dos_->deleteLater();
  dos_ = nullptr;
}

void ArpLookup::parseNeighbours() {
  const auto macs = ParseNeighbourTable(outputBuffer_.toStdString());
  for (ScanRecord& record : *table_) {
    if (!record.mac.empty() || record.ip.size() <= 4) continue;
    if (auto it = macs.find(record.ip); it != macs.end()) record.mac = it->second;
  }
  const QString line = RunLocalNbtstat();
  table_ = nullptr;
  // Told from the event loop, so that a listener may let go of this object.
  QTimer::singleShot(0, this, [this, line] {
    Q_EMIT tableChanged();
    Q_EMIT finished(line);
  });
}

std::string ArpLookup::LocalAddress() {
  for (const Adapter& adapter : network_.adapters())
    if (!adapter.address.empty()) return adapter.address;
  return {};
}

QString ArpLookup::RunLocalNbtstat() {
  if (!table_) return {};
  const std::string local = LocalAddress();
  if (local.empty()) return {};
  ScanRecord* own = nullptr;
  for (ScanRecord& record : *table_) {
    if (record.ip == local && record.mac.empty()) {
      own = &record;
      break;
    }
  }
  if (!own) return {};
  for (const Adapter& adapter : network_.adapters()) {
    if (adapter.address != local) continue;
    own->mac = NormalizeMac(adapter.mac);
    break;
  }
  int seconds = SecondsOfDay(clock_.now()) - ScanStartSeconds;
  // A scan that ran over midnight.
  if (seconds < 0) seconds += kSecondsPerDay;
  return QStringLiteral("Scanning finished:   ") + QString::number(seconds) +
         QStringLiteral("  Second    ");
}

}  // namespace sondrel

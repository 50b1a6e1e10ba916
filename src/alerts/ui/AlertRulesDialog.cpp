#include "alerts/ui/AlertRulesDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ports/Prompter.h"

namespace sondrel {
namespace {

const char* const kKinds[] = {"outage", "loss", "latency"};

QComboBox* KindBox(AlertKind kind) {
  auto* box = new QComboBox;
  for (const char* k : kKinds) box->addItem(QString::fromLatin1(k));
  box->setCurrentIndex(static_cast<int>(kind));
  return box;
}

QTableWidgetItem* Check(bool on) {
  auto* item = new QTableWidgetItem;
  item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  return item;
}

QString Number(double v) { return QString::number(v, 'g', 10); }

QString CommandText(const std::vector<std::string>& argv) {
  QStringList parts;
  for (const std::string& a : argv) {
    QString q = QString::fromStdString(a);
    if (q.isEmpty() || q.contains(QLatin1Char(' ')) || q.contains(QLatin1Char('"')) || q.contains(QLatin1Char('\'')))
      q = QLatin1Char('"') + q.replace(QLatin1Char('"'), QStringLiteral("\"\"\"")) + QLatin1Char('"');
    parts << q;
  }
  return parts.join(QLatin1Char(' '));
}

}  // namespace

AlertRulesDialog::AlertRulesDialog(const AlertSettings& settings, IPrompter* prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
  setObjectName(QStringLiteral("AlertRulesDialog"));
  setWindowTitle(QStringLiteral("Alert rules"));
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName(QStringLiteral("AlertRules"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Kind"), QStringLiteral("Fires at"),
                                     QStringLiteral("Clears at"), QStringLiteral("Measure"),
                                     QStringLiteral("Targets (none: all)"), QStringLiteral("Notify"),
                                     QStringLiteral("Sound"), QStringLiteral("Command")});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setToolTip(QStringLiteral("Loss in percent of the recent window's echoes, latency in milliseconds; "
                                    "targets by label, address or group, separated by commas; the command is "
                                    "started without a shell, with SONDREL_EVENT, SONDREL_TARGET and the rest in "
                                    "its environment"));
  for (const AlertRuleSettings& r : settings.rules) {
    table_->insertRow(table_->rowCount());
    setRow(table_->rowCount() - 1, r);
  }

  auto* add = new QPushButton(QStringLiteral("&Add rule"), this);
  add->setObjectName(QStringLiteral("AlertRuleAdd"));
  connect(add, &QPushButton::clicked, this, [this] { addRule(AlertKind::Outage); });
  auto* remove = new QPushButton(QStringLiteral("&Remove rule"), this);
  remove->setObjectName(QStringLiteral("AlertRuleRemove"));
  connect(remove, &QPushButton::clicked, this, [this] {
    if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
  });
  auto* rowButtons = new QHBoxLayout;
  rowButtons->addWidget(add);
  rowButtons->addWidget(remove);
  rowButtons->addStretch(1);

  auto spin = [this](const char* name, int low, int high, int value, const char* suffix) {
    auto* s = new QSpinBox(this);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(low, high);
    s->setValue(value);
    s->setSuffix(QString::fromLatin1(suffix));
    return s;
  };
  minInterval_ = spin("AlertMinInterval", 0, 86400, settings.minIntervalSeconds, " s");
  timeout_ = spin("AlertCommandTimeout", 1, 3600, settings.commandTimeoutSeconds, " s");
  atOnce_ = spin("AlertCommandsAtOnce", 1, 64, settings.commandsAtOnce, "");
  auto* shared = new QFormLayout;
  shared->addRow(QStringLiteral("A target's alerts at most once every"), minInterval_);
  shared->addRow(QStringLiteral("A command is stopped after"), timeout_);
  shared->addRow(QStringLiteral("Commands running at once, at most"), atOnce_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &AlertRulesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addLayout(rowButtons);
  layout->addLayout(shared);
  layout->addWidget(buttons);
  resize(980, 420);
}

void AlertRulesDialog::setRow(int row, const AlertRuleSettings& r) {
  table_->setItem(row, Name, new QTableWidgetItem(QString::fromStdString(r.rule.name)));
  auto* kind = KindBox(r.rule.kind);
  table_->setCellWidget(row, Kind, kind);
  const bool loss = r.rule.kind == AlertKind::Loss;
  table_->setItem(row, Raise, new QTableWidgetItem(r.rule.kind == AlertKind::Outage ? QString()
                                                   : Number(loss ? r.rule.raisePercent : r.rule.raiseMs)));
  table_->setItem(row, Clear, new QTableWidgetItem(r.rule.kind == AlertKind::Outage ? QString()
                                                   : Number(loss ? r.rule.clearPercent : r.rule.clearMs)));
  auto* measure = new QComboBox;
  measure->addItems({QStringLiteral("median"), QStringLiteral("95th percentile")});
  measure->setCurrentIndex(r.rule.measure == LatencyMeasure::P95 ? 1 : 0);
  table_->setCellWidget(row, Measure, measure);
  QStringList targets;
  for (const std::string& t : r.rule.targets) targets << QString::fromStdString(t);
  table_->setItem(row, Targets, new QTableWidgetItem(targets.join(QStringLiteral(", "))));
  table_->setItem(row, Notify, Check(r.notify));
  table_->setItem(row, Sound, Check(r.sound));
  table_->setItem(row, Command, new QTableWidgetItem(CommandText(r.command)));
}

void AlertRulesDialog::addRule(AlertKind kind) {
  AlertRuleSettings r;
  r.rule.kind = kind;
  r.rule.name = kKinds[static_cast<int>(kind)];
  if (kind == AlertKind::Loss) {
    r.rule.raisePercent = 10;
    r.rule.clearPercent = 5;
  }
  table_->insertRow(table_->rowCount());
  setRow(table_->rowCount() - 1, r);
  table_->setCurrentCell(table_->rowCount() - 1, Name);
}

Result<AlertSettings> AlertRulesDialog::settings() const {
  AlertSettings out;
  out.minIntervalSeconds = minInterval_->value();
  out.commandTimeoutSeconds = timeout_->value();
  out.commandsAtOnce = atOnce_->value();
  auto text = [this](int row, int column) {
    const QTableWidgetItem* item = table_->item(row, column);
    return item ? item->text().trimmed() : QString();
  };
  for (int row = 0; row < table_->rowCount(); ++row) {
    const QString where = QStringLiteral("Rule %1: ").arg(row + 1);
    AlertRuleSettings r;
    r.rule.name = text(row, Name).toStdString();
    if (r.rule.name.empty()) return Error{0, (where + QStringLiteral("give it a name.")).toStdString()};
    r.rule.kind = static_cast<AlertKind>(static_cast<QComboBox*>(table_->cellWidget(row, Kind))->currentIndex());
    if (r.rule.kind != AlertKind::Outage) {
      bool okRaise = false, okClear = false;
      const double raise = text(row, Raise).toDouble(&okRaise);
      const double clear = text(row, Clear).toDouble(&okClear);
      const bool loss = r.rule.kind == AlertKind::Loss;
      const QString unit = loss ? QStringLiteral("a percentage from 0 to 100") : QStringLiteral("milliseconds above 0");
      if (!okRaise || raise <= 0 || (loss && raise > 100))
        return Error{0, (where + QStringLiteral("\"Fires at\" must be ") + unit + QStringLiteral(".")).toStdString()};
      if (!okClear || clear < 0 || clear > raise)
        return Error{0, (where + QStringLiteral("\"Clears at\" must be a number from 0 up to \"Fires at\".")).toStdString()};
      if (loss) {
        r.rule.raisePercent = raise;
        r.rule.clearPercent = clear;
      } else {
        r.rule.raiseMs = raise;
        r.rule.clearMs = clear;
        r.rule.measure = static_cast<QComboBox*>(table_->cellWidget(row, Measure))->currentIndex() == 1
                             ? LatencyMeasure::P95
                             : LatencyMeasure::Median;
      }
    }
    for (const QString& t : text(row, Targets).split(QLatin1Char(','), Qt::SkipEmptyParts))
      if (!t.trimmed().isEmpty()) r.rule.targets.push_back(t.trimmed().toStdString());
    r.notify = table_->item(row, Notify)->checkState() == Qt::Checked;
    r.sound = table_->item(row, Sound)->checkState() == Qt::Checked;
    for (const QString& a : QProcess::splitCommand(text(row, Command))) r.command.push_back(a.toStdString());
    out.rules.push_back(std::move(r));
  }
  return out;
}

void AlertRulesDialog::accept() {
  const Result<AlertSettings> s = settings();
  if (!s) {
    if (prompter_)
      prompter_->message(QString::fromStdString(s.error().message), QStringLiteral("Alert rules"),
                         IPrompter::Icon::Warning);
    return;
  }
  QDialog::accept();
}

}  // namespace sondrel

#include "alerts/AlertCenter.h"

#include <QDateTime>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "alerts/AlertCommands.h"
#include "core/ports/Clock.h"
#include "monitor/RunMonitor.h"
#include "ports/Notifier.h"
#include "settings/UserSettings.h"

namespace sondrel {
namespace {

// Keys of commands that are not a rule's own.
constexpr std::uint64_t kOneOffCommand = std::uint64_t{1} << 63;
constexpr std::uint64_t kNotLogged = 0;

QString KindName(AlertKind kind) {
  switch (kind) {
    case AlertKind::Outage: return QStringLiteral("outage");
    case AlertKind::Loss: return QStringLiteral("loss");
    case AlertKind::Latency: return QStringLiteral("latency");
  }
  return {};
}

QStringList ToQt(const std::vector<std::string>& v) {
  QStringList out;
  for (const std::string& s : v) out << QString::fromStdString(s);
  return out;
}

std::vector<std::string> FromQt(const QStringList& v) {
  std::vector<std::string> out;
  for (const QString& s : v)
    if (!s.trimmed().isEmpty()) out.push_back(s.trimmed().toStdString());
  return out;
}

QString Duration(std::int64_t us) {
  const std::int64_t s = std::max<std::int64_t>(0, us / 1'000'000);
  if (s < 60) return QStringLiteral("%1 s").arg(QString::number(static_cast<double>(us) / 1e6, 'f', 1));
  if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
  return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60);
}

QString Clock(std::int64_t utcUs) {
  return QDateTime::fromMSecsSinceEpoch(utcUs / 1000).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

AlertSettings ReadAlertSettings() {
  AlertSettings out;
  QSettings s = UserSettings();
  auto number = [&](const char* key, int fallback, int low, int high) {
    bool ok = false;
    const int v = s.value(QString::fromLatin1(key)).toInt(&ok);
    return ok && v >= low && v <= high ? v : fallback;
  };
  out.minIntervalSeconds = number("alerts/min_interval_s", 60, 0, 86400);
  out.commandTimeoutSeconds = number("alerts/command_timeout_s", 30, 1, 3600);
  out.commandsAtOnce = number("alerts/commands_at_once", 4, 1, 64);
  const int n = s.beginReadArray(QStringLiteral("alerts/rules"));
  for (int i = 0; i < n; ++i) {
    s.setArrayIndex(i);
    AlertRuleSettings r;
    const QString kind = s.value(QStringLiteral("kind")).toString();
    if (kind == QStringLiteral("outage"))
      r.rule.kind = AlertKind::Outage;
    else if (kind == QStringLiteral("loss"))
      r.rule.kind = AlertKind::Loss;
    else if (kind == QStringLiteral("latency"))
      r.rule.kind = AlertKind::Latency;
    else
      continue;  // not a rule this program knows
    r.rule.name = s.value(QStringLiteral("name"), KindName(r.rule.kind)).toString().toStdString();
    bool okRaise = false, okClear = false;
    const double raise = s.value(QStringLiteral("raise")).toDouble(&okRaise);
    const double clear = s.value(QStringLiteral("clear")).toDouble(&okClear);
    if (r.rule.kind == AlertKind::Loss) {
      if (okRaise) r.rule.raisePercent = std::clamp(raise, 0.0, 100.0);
      r.rule.clearPercent = okClear ? std::clamp(clear, 0.0, r.rule.raisePercent) : r.rule.raisePercent / 2;
    } else if (r.rule.kind == AlertKind::Latency) {
      if (okRaise && raise > 0) r.rule.raiseMs = raise;
      r.rule.clearMs = okClear ? std::clamp(clear, 0.0, r.rule.raiseMs) : r.rule.raiseMs * 0.8;
      r.rule.measure = s.value(QStringLiteral("measure")).toString() == QStringLiteral("p95") ? LatencyMeasure::P95
                                                                                             : LatencyMeasure::Median;
    }
    r.rule.targets = FromQt(s.value(QStringLiteral("targets")).toStringList());
    r.notify = s.value(QStringLiteral("notify"), true).toBool();
    r.sound = s.value(QStringLiteral("sound"), false).toBool();
    r.command = FromQt(s.value(QStringLiteral("command")).toStringList());
    out.rules.push_back(std::move(r));
  }
  s.endArray();
  return out;
}

void WriteAlertSettings(const AlertSettings& settings) {
  QSettings s = UserSettings();
  s.setValue(QStringLiteral("alerts/min_interval_s"), settings.minIntervalSeconds);
  s.setValue(QStringLiteral("alerts/command_timeout_s"), settings.commandTimeoutSeconds);
  s.setValue(QStringLiteral("alerts/commands_at_once"), settings.commandsAtOnce);
  s.remove(QStringLiteral("alerts/rules"));
  s.beginWriteArray(QStringLiteral("alerts/rules"), static_cast<int>(settings.rules.size()));
  for (int i = 0; i < static_cast<int>(settings.rules.size()); ++i) {
    const AlertRuleSettings& r = settings.rules[static_cast<std::size_t>(i)];
    s.setArrayIndex(i);
    s.setValue(QStringLiteral("name"), QString::fromStdString(r.rule.name));
    s.setValue(QStringLiteral("kind"), KindName(r.rule.kind));
    if (r.rule.kind == AlertKind::Loss) {
      s.setValue(QStringLiteral("raise"), r.rule.raisePercent);
      s.setValue(QStringLiteral("clear"), r.rule.clearPercent);
    } else if (r.rule.kind == AlertKind::Latency) {
      s.setValue(QStringLiteral("raise"), r.rule.raiseMs);
      s.setValue(QStringLiteral("clear"), r.rule.clearMs);
      s.setValue(QStringLiteral("measure"),
                 r.rule.measure == LatencyMeasure::P95 ? QStringLiteral("p95") : QStringLiteral("median"));
    }
    s.setValue(QStringLiteral("targets"), ToQt(r.rule.targets));
    s.setValue(QStringLiteral("notify"), r.notify);
    s.setValue(QStringLiteral("sound"), r.sound);
    s.setValue(QStringLiteral("command"), ToQt(r.command));
  }
  s.endArray();
}

ArchivedAlert ArchivedAlertOf(const AlertRecord& r) {
  ArchivedAlert a;
  a.seq = static_cast<std::int64_t>(r.id);
  a.atUtcUs = r.alert.atUtcUs;
  a.rule = r.rule.toStdString();
  a.target = r.alert.target;
  a.address = r.address.toStdString();
  a.event = std::string(EventName(r.alert.event));
  a.sinceUtcUs = r.alert.sinceUtcUs;
  a.folded = r.alert.folded;
  a.summary = r.summary.toStdString();
  a.body = r.body.toStdString();
  a.exitStatus = r.exitStatus;
  return a;
}

QString IsoLocalTime(std::int64_t utcUs) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcUs / 1000);
  return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

std::pair<QString, QString> AlertTexts(const Alert& a, const QString& rule, const QString& target,
                                       const QString& address, int windowMinutes) {
  const QString who = target == address || target.isEmpty() ? address : target;
  const QString loss = QString::number(a.lossPercent, 'f', 1);
  const QString rtt = a.rttMs ? QString::number(*a.rttMs, 'f', 3) : QString();
  QString summary, body;
  switch (a.event) {
    case AlertEvent::OutageStart:
      summary = QStringLiteral("%1 is down").arg(who);
      body = QStringLiteral("No reply from %1 since %2.").arg(address, Clock(a.sinceUtcUs));
      break;
    case AlertEvent::OutageEnd:
      summary = QStringLiteral("%1 is up again").arg(who);
      body = QStringLiteral("%1 answers again at %2 after %3 down.").arg(address, Clock(a.sinceUtcUs), Duration(a.durationUs));
      break;
    case AlertEvent::Loss:
      summary = QStringLiteral("%1 loses %2 % of its echoes").arg(who, loss);
      body = QStringLiteral("%1 lost %2 % of its echoes in the last %3 min, since %4.")
                 .arg(address, loss)
                 .arg(windowMinutes)
                 .arg(Clock(a.sinceUtcUs));
      break;
    case AlertEvent::LossClear:
      summary = QStringLiteral("%1's loss is down to %2 %").arg(who, loss);
      body = QStringLiteral("%1 loses %2 % of its echoes again, after %3 above the threshold.")
                 .arg(address, loss, Duration(a.durationUs));
      break;
    case AlertEvent::Latency:
      summary = QStringLiteral("%1 is slow: %2 ms").arg(who, rtt);
      body = QStringLiteral("The round trip to %1 is %2 ms since %3.").arg(address, rtt, Clock(a.sinceUtcUs));
      break;
    case AlertEvent::LatencyClear:
      summary = QStringLiteral("%1's round trip is back to %2 ms").arg(who, rtt);
      body = QStringLiteral("The round trip to %1 is %2 ms again, after %3 slow.").arg(address, rtt, Duration(a.durationUs));
      break;
  }
  if (a.folded > 0)
    body += QStringLiteral(" %1 earlier %2 folded into this alert.")
                .arg(a.folded)
                .arg(a.folded == 1 ? QStringLiteral("change") : QStringLiteral("changes"));
  body += QStringLiteral(" (rule \u201c%1\u201d)").arg(rule);
  return {summary, body};
}

std::vector<std::pair<std::string, std::string>> AlertEnvironment(const AlertRecord& r) {
  const Alert& a = r.alert;
  const std::int64_t durationUs = IsRaise(a.event) ? std::max<std::int64_t>(0, a.atUtcUs - a.sinceUtcUs) : a.durationUs;
  char loss[32];
  std::snprintf(loss, sizeof loss, "%.2f", a.lossPercent);
  std::string rtt;
  if (a.rttMs) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *a.rttMs);
    rtt = text;
  }
  return {{"SONDREL_EVENT", std::string(EventName(a.event))},
          {"SONDREL_TARGET", r.target.toStdString()},
          {"SONDREL_ADDRESS", r.address.toStdString()},
          {"SONDREL_SINCE", IsoLocalTime(a.sinceUtcUs).toStdString()},
          {"SONDREL_DURATION_MS", std::to_string(durationUs / 1000)},
          {"SONDREL_LOSS_PERCENT", loss},
          {"SONDREL_RTT_MS", rtt},
          {"SONDREL_RULE", r.rule.toStdString()},
          {"SONDREL_FOLDED", std::to_string(a.folded)}};
}

AlertCenter::AlertCenter(RunMonitor& monitor, std::shared_ptr<IClock> clock, AlertSettings settings,
                         std::shared_ptr<INotifier> notifier, std::shared_ptr<ProcessService> processes,
                         QObject* parent)
    : QObject(parent),
      monitor_(monitor),
      clock_(std::move(clock)),
      notifier_(std::move(notifier)),
      processes_(std::move(processes)) {
  setSettings(std::move(settings));
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, &AlertCenter::check);
  connect(&monitor_, &RunMonitor::reset, this, &AlertCenter::restart);
  // The run's end tells what the minimum interval still held, then stops.
  connect(&monitor_, &RunMonitor::ended, this, [this] {
    if (!engine_) return;
    judge(clock_->utcMicros());
    engine_->flush(clock_->utcMicros());
    dispatch();
    engine_.reset();
    timer_.stop();
  });
  // Loss and latency are judged as the results come, by the run's clock, so
  // that a window of a run is judged the same however fast it was pinged.
  connect(&monitor_, &RunMonitor::figuresDue, this, [this] {
    if (!engine_ || !monitor_.live()) return;
    judge(clock_->utcMicros());
    dispatch();
  });
  connect(&monitor_, &RunMonitor::outageBegan, this, [this](const Outage& o) {
    if (!engine_ || !monitor_.live()) return;
    engine_->outageBegan(o, clock_->utcMicros());
    dispatch();
  });
  connect(&monitor_, &RunMonitor::outageEnded, this, [this](const Outage& o) {
    // Outages closed by the run's end are no target coming back.
    if (!engine_ || !monitor_.live()) return;
    engine_->outageEnded(o, clock_->utcMicros());
    dispatch();
  });
  if (notifier_)
    connect(notifier_.get(), &INotifier::showAsked, this, [this](quint64 id) {
      if (const AlertRecord* r = recordOf(id)) Q_EMIT showTarget(r->alert.target);
    });
}

AlertCenter::~AlertCenter() = default;

void AlertCenter::setSettings(AlertSettings settings) {
  settings_ = std::move(settings);
  const AlertCommandSettings limits{settings_.commandsAtOnce, settings_.commandTimeoutSeconds * 1000};
  if (commands_) {
    // Commands under way keep running; the new limits hold from now on.
    commands_->setSettings(limits);
  } else {
    commands_ = std::make_unique<AlertCommands>(processes_, limits);
    connect(commands_.get(), &AlertCommands::finished, this,
            [this](quint64 key, int status, const QByteArray& output, bool timedOut) {
              // The rule's own command is the one logged; the one-off
              // command's end only while the rule's has not ended.
              const bool oneOff = (key & kOneOffCommand) != 0;
              AlertRecord* r = recordOf(key & ~kOneOffCommand);
              if (!r || (oneOff && r->exitStatus)) return;
              r->exitStatus = status;
              r->output = output;
              r->timedOut = timedOut;
              Q_EMIT updated(*r);
            });
  }
  // A run under way is judged by the new rules from here on.
  restart();
}

void AlertCenter::restart() {
  engine_.reset();
  if (!monitor_.live()) {
    timer_.stop();
    return;
  }
  std::vector<AlertRule> rules;
  for (const AlertRuleSettings& r : settings_.rules) rules.push_back(r.rule);
  std::vector<AlertTarget> targets;
  for (std::uint32_t t = 0; t < monitor_.targetCount(); ++t)
    targets.push_back({monitor_.nameOf(t), monitor_.addressOf(t), monitor_.groupOf(t)});
  engine_ = std::make_unique<AlertEngine>(std::move(rules), std::move(targets),
                                          std::int64_t{settings_.minIntervalSeconds} * 1'000'000);
  timer_.start();
}

AlertRecord* AlertCenter::recordOf(std::uint64_t id) {
  auto it = std::lower_bound(log_.begin(), log_.end(), id,
                             [](const AlertRecord& r, std::uint64_t k) { return r.id < k; });
  return it != log_.end() && it->id == id ? &*it : nullptr;
}

void AlertCenter::check() {
  if (!engine_) return;
  if (!monitor_.live()) {
    timer_.stop();
    return;
  }
  // What the minimum interval held is told once it has passed.
  engine_->tick(clock_->utcMicros());
  dispatch();
}

void AlertCenter::judge(std::int64_t nowUtcUs) {
  // Only loss and latency rules read the windows: without one, nothing to do.
  if (std::none_of(settings_.rules.begin(), settings_.rules.end(),
                   [](const AlertRuleSettings& r) { return r.rule.kind != AlertKind::Outage; }))
    return;
  for (std::uint32_t t = 0; t < monitor_.targetCount(); ++t) {
    const TargetLatency* latency = monitor_.latencyOf(t);
    if (!latency || latency->sent() == 0) continue;
    const LatencySummary w = latency->window();
    engine_->figures(t, w.lossPercent(), w.medianUs, w.p95Us, nowUtcUs);
  }
}

void AlertCenter::dispatch() {
  if (!engine_) return;
  const int windowMinutes = monitor_.targetCount() > 0 && monitor_.latencyOf(0)
                                ? static_cast<int>(monitor_.latencyOf(0)->windowUs() / 60'000'000)
                                : 5;
  for (const Alert& a : engine_->take()) {
    const AlertRuleSettings& rule = settings_.rules[a.rule];
    AlertRecord r;
    r.id = nextId_++;
    r.alert = a;
    // An outage rule judges no window: its alert carries the window's loss
    // as it is told.
    if (rule.rule.kind == AlertKind::Outage)
      if (const TargetLatency* l = monitor_.latencyOf(a.target); l && l->sent() > 0)
        r.alert.lossPercent = l->windowLossPercent();
    r.rule = QString::fromStdString(rule.rule.name);
    r.target = QString::fromStdString(monitor_.nameOf(a.target));
    r.address = QString::fromStdString(monitor_.addressOf(a.target));
    std::tie(r.summary, r.body) = AlertTexts(r.alert, r.rule, r.target, r.address, windowMinutes);
    log_.push_back(r);
    Q_EMIT alerted(r);
    const std::uint64_t id = r.id;
    if ((rule.notify || settings_.notifyEvery) && notifier_) {
      DesktopNotification n{r.summary, r.body, a.event == AlertEvent::OutageStart, settings_.offerShow, id};
      notifier_->notify(n, [this, id](bool shown) {
        AlertRecord* rec = recordOf(id);
        if (!rec) return;
        rec->notified = shown;
        if (!shown) Q_EMIT notShown(*rec);
        Q_EMIT updated(*rec);
      });
    } else if (rule.notify || settings_.notifyEvery) {
      Q_EMIT notShown(r);
    }
    const auto environment = AlertEnvironment(r);
    if (!rule.command.empty()) commands_->run(id, rule.command, environment);
    if (!settings_.everyAlertCommand.empty())
      commands_->run(id | kOneOffCommand, settings_.everyAlertCommand, environment);
    if (rule.sound) {
      // The desktop's warning sound, by whichever player it has.
      if (const QString canberra = QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play")); !canberra.isEmpty())
        commands_->run(kNotLogged, {canberra.toStdString(), "-i", "dialog-warning"}, {});
      else if (const QString pw = QStandardPaths::findExecutable(QStringLiteral("pw-play")); !pw.isEmpty())
        commands_->run(kNotLogged, {pw.toStdString(), "/usr/share/sounds/freedesktop/stereo/dialog-warning.oga"}, {});
    }
  }
}

}  // namespace sondrel

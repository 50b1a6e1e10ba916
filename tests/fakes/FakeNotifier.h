#pragma once
// A desktop that records each notification and answers as the test says:
// shown, or not (no notification service).

#include <QTimer>
#include <vector>

#include "ports/Notifier.h"

namespace sondrel::fakes {

class FakeNotifier final : public INotifier {
 public:
  bool shows = true;
  std::vector<DesktopNotification> sent;

  void notify(const DesktopNotification& n, std::function<void(bool shown)> answered) override {
    sent.push_back(n);
    const bool shown = shows;
    QTimer::singleShot(0, this, [answered, shown] { answered(shown); });
  }
  // The user chooses "Show" on notification k.
  void chooseShow(std::size_t k) { Q_EMIT showAsked(sent.at(k).token); }
};

}  // namespace sondrel::fakes

#pragma once
// Desktop notifications. Sending never waits: whether the desktop showed one
// is told later, and a desktop that never answers is taken as none within a
// short time-out.

#include <QObject>
#include <QString>
#include <functional>

namespace sondrel {

struct DesktopNotification {
  QString summary;
  QString body;
  bool critical = false;
  // Offers a "Show" action; its use comes back as shown(token).
  bool offerShow = false;
  quint64 token = 0;
};

class INotifier : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  ~INotifier() override = default;
  // `answered(true)` once the desktop has shown it, `answered(false)` when
  // there is no notification service, it refused, or it did not answer in
  // time. Comes once, after notify() returns.
  virtual void notify(const DesktopNotification& notification, std::function<void(bool shown)> answered) = 0;

 Q_SIGNALS:
  // The user chose "Show" on the notification of `token`.
  void showAsked(quint64 token);
};

}  // namespace sondrel

#include "ping/ui/PanelScrolling.h"

#include <QApplication>
#include <QKeyEvent>
#include <QObject>
#include <QScrollBar>
#include <QWheelEvent>

namespace sondrel {

namespace {

class BarFollower final : public QObject {
 public:
  BarFollower(QWidget* panel, QScrollBar* bar) : QObject(panel), panel_(panel), bar_(bar) {
    // The rows are labels that ignore the wheel, and Qt does not always offer
    // an ignored turn to their parent: every cell is watched itself.
    panel->installEventFilter(this);
    for (QWidget* child : panel->findChildren<QWidget*>())
      if (child != bar_) child->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == panel_ && event->type() == QEvent::ChildAdded) {
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
        child->installEventFilter(this);
      return false;
    }
    if (event->type() == QEvent::Wheel) {
      // The bar ignores a turn past its end; Qt may then offer it to the
      // bar's parent, this panel, which must not hand it over again.
      if (forwarding_) return false;
      forwarding_ = true;
      QApplication::sendEvent(bar_, event);
      forwarding_ = false;
      event->accept();  // nothing above the panel scrolls with it
      return true;
    }
    if (watched == panel_ && event->type() == QEvent::KeyPress) {
      const auto action = ActionFor(static_cast<QKeyEvent*>(event)->key());
      if (action == QAbstractSlider::SliderNoAction) return false;
      bar_->triggerAction(action);
      return true;
    }
    return false;
  }

 private:
  static QAbstractSlider::SliderAction ActionFor(int key) {
    switch (key) {
      case Qt::Key_Up: return QAbstractSlider::SliderSingleStepSub;
      case Qt::Key_Down: return QAbstractSlider::SliderSingleStepAdd;
      case Qt::Key_PageUp: return QAbstractSlider::SliderPageStepSub;
      case Qt::Key_PageDown: return QAbstractSlider::SliderPageStepAdd;
      case Qt::Key_Home: return QAbstractSlider::SliderToMinimum;
      case Qt::Key_End: return QAbstractSlider::SliderToMaximum;
      default: return QAbstractSlider::SliderNoAction;
    }
  }

  QWidget* panel_;
  QScrollBar* bar_;
  bool forwarding_ = false;
};

}  // namespace

void ScrollWithBar(QWidget* panel, QScrollBar* bar) {
  panel->setFocusPolicy(Qt::ClickFocus);
  new BarFollower(panel, bar);
}

}  // namespace sondrel

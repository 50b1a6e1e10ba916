// The main window's controls neither overlap nor run past an edge, in each
// panel state. The program runs this at scale 1 and at QT_SCALE_FACTOR=2 (see
// CMakeLists.txt). Every visible control is checked, so panels added later are
// covered without naming them here.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>

#include "app/AppFixture.h"
#include "ping/ui/ParameterFrame.h"

namespace sondrel {
namespace {

bool IsControl(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w))
    return !label->text().trimmed().isEmpty() || !label->pixmap().isNull();
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
         qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QProgressBar*>(w);
}

// The text's own box, without the style's padding: a button keeps a few
// pixels for its bevel, a plain label none.
bool TextCut(const QWidget* w) {
  QString text;
  int padding = 0;
  if (auto* label = qobject_cast<const QLabel*>(w)) {
    if (label->wordWrap() || !label->pixmap().isNull() || label->textFormat() == Qt::RichText)
      return false;
    text = label->text();
    padding = 2 * (label->margin() + label->frameWidth());
  } else if (auto* button = qobject_cast<const QPushButton*>(w)) {
    text = button->text();
    text.remove(QLatin1Char('&'));
    padding = 6;
  } else {
    return false;
  }
  const QFontMetrics metrics = w->fontMetrics();
  const QSize needed =
      metrics.size(0, text) + QSize(padding, 0);
  return needed.width() > w->width() || metrics.height() > w->height();
}

std::string Describe(const QWidget* w, const QRect& r) {
  std::ostringstream out;
  out << w->metaObject()->className() << " '" << w->objectName().toStdString() << "'";
  if (auto* label = qobject_cast<const QLabel*>(w)) out << " \"" << label->text().toStdString() << "\"";
  if (auto* button = qobject_cast<const QAbstractButton*>(w))
    out << " \"" << button->text().toStdString() << "\"";
  out << " at " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
  return out.str();
}

// The visible controls of `window` that are not parts of another control,
// with their rectangles in the window's coordinates. A 1 x 1 box is a focus
// holder, not something to read or click.
std::vector<std::pair<QWidget*, QRect>> Controls(QWidget* window) {
  std::vector<std::pair<QWidget*, QRect>> controls;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->isWindow() || !w->isVisibleTo(window) || !IsControl(w)) continue;
    if (w->width() <= 1 || w->height() <= 1) continue;
    bool part = false;
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
      part = part || IsControl(p) || p->isWindow();
    if (part) continue;
    controls.emplace_back(w, QRect(w->mapTo(window, QPoint(0, 0)), w->size()));
  }
  return controls;
}

// Failures: a control past the edge of a container that holds it (the window
// included), and two controls sharing pixels with neither inside the other.
std::vector<std::string> LayoutFaults(QWidget* window) {
  std::vector<std::string> faults;
  const auto controls = Controls(window);
  for (const auto& [w, r] : controls) {
    // A text wider or taller than its label or button is cut off inside it.
    if (TextCut(w))
      faults.push_back(Describe(w, r) + " cuts its text");
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
      const QRect area(p->mapTo(window, QPoint(0, 0)), p->size());
      if (!area.contains(r))
        faults.push_back(Describe(w, r) + " is cut by the edge of " + Describe(p, area));
      if (p == window) break;
    }
  }
  for (std::size_t i = 0; i < controls.size(); ++i)
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      const auto& [a, ra] = controls[i];
      const auto& [b, rb] = controls[j];
      if (a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
      if (ra.intersects(rb))
        faults.push_back(Describe(a, ra) + " overlaps " + Describe(b, rb));
    }
  return faults;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += "\n  " + l;
  return all;
}

class FormMainLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base_.isValid());
    app_ = std::make_unique<testing::MainWindowUnderTest>(base_.path().toStdString(), fakes_);
    app_->window->Form_Load();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app_->window.get()));
  }
  FormMain& w() { return *app_->window; }

  QTemporaryDir base_;
  testing::FakeServices fakes_;
  std::unique_ptr<testing::MainWindowUnderTest> app_;
};

TEST_F(FormMainLayoutTest, StartUpHasNoOverlapOrClippedControl) {
  EXPECT_EQ(Join(LayoutFaults(&w())), "");
  EXPECT_GT(Controls(&w()).size(), 40u) << "the walk sees the window's controls";
  if (qgetenv("QT_SCALE_FACTOR") == "2") {
    EXPECT_EQ(w().devicePixelRatio(), 2);
  }
}

TEST_F(FormMainLayoutTest, TheScanPanelHasNoOverlapOrClippedControl) {
  w().ShowScanPanel();
  EXPECT_EQ(Join(LayoutFaults(&w())), "");
}

// The command panel lies over the results: its own controls are checked
// within it, at its place in the window and narrower, where its buttons'
// long texts wrap to more rows or take a smaller font.
TEST_F(FormMainLayoutTest, TheCommandPanelHasNoOverlapOrClippedControl) {
  w().action(QStringLiteral("mnuDos"))->trigger();
  auto* panel = w().findChild<QWidget*>(QStringLiteral("PictureDOS"));
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  const char* captions[] = {"Select a DOS cammand", "Select a Ip Address", "Run the DOS Command",
                            "Sort the DOS command list", "Add the current DOS command to the list",
                            "Manage the DOS commands list"};
  for (int i = 0; i < 6; ++i) {
    auto* b = panel->findChild<QPushButton*>(QStringLiteral("CommandDOS_%1").arg(i));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text().toStdString(), captions[i]);
  }
  for (int width : {panel->width(), 300, 220}) {
    SCOPED_TRACE(width);
    panel->resize(width, panel->height());
    EXPECT_EQ(Join(LayoutFaults(panel)), "");
  }
}

// Long texts of a finished run (three-digit row numbers, the statistics, the
// report link) still fit their places.
TEST_F(FormMainLayoutTest, AFinishedRunHasNoOverlapOrClippedControl) {
  fakes_.icmp->script("127.0.0.1", {0, 400, 64});
  fakes_.icmp->script("127.0.0.2", {11010, 0, 0});
  testing::PingTheseTargets(w(), {"127.0.0.1", "127.0.0.2"});
  QComboBox* interval = w().parameterFrame()->comboInv();
  interval->setCurrentIndex(0);
  Q_EMIT interval->activated(0);
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStart")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w().pingRun()->rowCount() >= 120; }, 30000));
  QTest::mouseClick(w().findChild<QPushButton*>(QStringLiteral("CommandStop")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w().testRunning(); }, 10000));
  EXPECT_EQ(Join(LayoutFaults(&w())), "");
}

}  // namespace
}  // namespace sondrel

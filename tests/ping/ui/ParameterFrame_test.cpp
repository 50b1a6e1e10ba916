#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "TestPrinting.h"
#include "app/WindowServices.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePrompter.h"
#include "ping/ui/AdvancedSettingsDialog.h"
#include "ping/ui/ParameterFrame.h"

namespace sondrel {
namespace {

class ParameterFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.clock = std::make_shared<fakes::FakeClock>();
    services.prompter = prompter;
    frame = std::make_unique<ParameterFrame>(services.prompter, params);
    frame->FillParameterLists();
    frame->show();
  }

  QComboBox* combo(const char* name) { return frame->findChild<QComboBox*>(QString::fromLatin1(name)); }
  void type(const char* name, const QString& text) { combo(name)->setEditText(text); }
  QStringList messageTexts() const {
    QStringList out;
    for (const auto& c : prompter->messages()) out << c.text;
    return out;
  }
  // The advanced dialog opened by the last action; fails the test when none.
  AdvancedSettingsDialog* dialog() {
    auto* d = frame->advancedDialog();
    EXPECT_NE(d, nullptr);
    return d;
  }
  template <typename T>
  T* in(AdvancedSettingsDialog* d, const char* name) {
    auto* w = d->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void setText(AdvancedSettingsDialog* d, const char* name, const char* text) {
    in<QLineEdit>(d, name)->setText(QString::fromLatin1(text));
  }
  void click(AdvancedSettingsDialog* d, const char* name) {
    testing::ClickButton(in<QAbstractButton>(d, name));
  }

  std::shared_ptr<fakes::FakePrompter> prompter = std::make_shared<fakes::FakePrompter>();
  WindowServices services;
  PingParameters params;
  std::unique_ptr<ParameterFrame> frame;
};

TEST_F(ParameterFrameTest, StartUpShowsTheValuesItUses) {
  EXPECT_EQ(combo("ComboInv")->count(), 79);
  EXPECT_EQ(combo("ComboTimeOut")->count(), 27);
  EXPECT_EQ(combo("ComboSize")->count(), 16);
  EXPECT_EQ(combo("ComboTimes")->count(), 19);
  EXPECT_EQ(combo("ComboInv")->currentText(), QStringLiteral("600  Milliseconds"));
  EXPECT_EQ(combo("ComboTimeOut")->currentText(), QStringLiteral("500  Milliseconds"));
  EXPECT_EQ(combo("ComboSize")->currentText(), QStringLiteral("32  Bytes"));
  EXPECT_EQ(combo("ComboTimes")->currentText(), QStringLiteral("Continually"));
  EXPECT_EQ(params.intervalMs, 600u);
  EXPECT_EQ(params.timeoutMs, 500u);
  EXPECT_EQ(params.size, 32);
  EXPECT_EQ(params.sendData, std::string(32, ' '));
  EXPECT_EQ(params.sizes, std::vector<std::int32_t>{32});
  EXPECT_EQ(params.sizeData, std::vector<std::string>{std::string(32, ' ')});
  EXPECT_EQ(params.mode, BufferMode::Single);
  EXPECT_EQ(params.pingsPerTarget, 0);
  EXPECT_TRUE(prompter->calls.isEmpty());
  for (const char* name : {"Command9", "Command13"}) {
    auto* b = frame->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(b, nullptr) << name;
    EXPECT_TRUE(b->isVisible()) << name;
    EXPECT_EQ(b->text(), QStringLiteral("Advanced Setting"));
  }
}

TEST_F(ParameterFrameTest, TypedIntervalAppliesAtEveryKeystroke) {
  std::vector<std::uint32_t> seen;
  QObject::connect(frame.get(), &ParameterFrame::parametersChanged, frame.get(),
                   [&] { seen.push_back(params.intervalMs); });
  auto* edit = combo("ComboInv")->lineEdit();
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("1500"));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{1, 15, 150, 1500}));
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(ParameterFrameTest, RefusedTextsFallBackWithTheirMessage) {
  struct Case {
    const char* combo;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"ComboTimeOut", "abc", "Inalid Time Out Value.       "},
      {"ComboInv", "0", "Inalid Test Interval.       "},
      {"ComboSize", "0", "Inalid Buffer Size Value.       "},
      {"ComboTimes", "0", "Inalid Test Times.       "},
      {"ComboSize", "32768",
       "Inalid Buffer Size Value. The largest buffer size is 32000 Bytes.       "},
  };
  for (const auto& c : cases) {
    // Move every value off its fall-back first, so the fall-back shows.
    type("ComboTimeOut", QStringLiteral("900"));
    type("ComboInv", QStringLiteral("900"));
    type("ComboSize", QStringLiteral("900"));
    type("ComboTimes", QStringLiteral("9"));
    prompter->calls.clear();

    type(c.combo, QString::fromLatin1(c.text));
    ASSERT_EQ(prompter->messages().size(), 1) << c.combo << " " << c.text;
    const auto m = prompter->messages().front();
    EXPECT_EQ(m.text, QString::fromLatin1(c.message));
    EXPECT_EQ(m.icon, IPrompter::Icon::Critical);
    EXPECT_EQ(m.buttons, IPrompter::Buttons::Ok);
    // The text stays as typed; only the value falls back.
    EXPECT_EQ(combo(c.combo)->currentText(), QString::fromLatin1(c.text));
    const std::string which = c.combo;
    EXPECT_EQ(params.timeoutMs, which == "ComboTimeOut" ? 500u : 900u);
    EXPECT_EQ(params.intervalMs, which == "ComboInv" ? 600u : 900u);
    EXPECT_EQ(params.size, which == "ComboSize" ? 32 : 900);
    EXPECT_EQ(params.sendData.size(), which == "ComboSize" ? 32u : 900u);
    EXPECT_EQ(params.pingsPerTarget, which == "ComboTimes" ? 0 : 9);
  }
}

TEST_F(ParameterFrameTest, LargestSizeIsAcceptedAndNothingWraps) {
  type("ComboSize", QStringLiteral("32000"));
  EXPECT_EQ(params.size, 32000);
  EXPECT_EQ(params.sendData.size(), 32000u);
  // 32768 and 65568 would turn negative or small in 16 bits.
  for (const char* big : {"32768", "65568", "4294967328"}) {
    type("ComboSize", QString::fromLatin1(big));
    EXPECT_EQ(params.size, 32) << big;
  }
  EXPECT_EQ(prompter->messages().size(), 3);
}

TEST_F(ParameterFrameTest, ContinuallyIsSilentButZeroIsNot) {
  type("ComboTimes", QStringLiteral("8"));
  combo("ComboTimes")->setCurrentIndex(0);
  EXPECT_EQ(params.pingsPerTarget, 0);
  EXPECT_TRUE(prompter->calls.isEmpty());
  type("ComboTimes", QStringLiteral("0"));
  EXPECT_EQ(params.pingsPerTarget, 0);
  EXPECT_EQ(messageTexts(), QStringList{QStringLiteral("Inalid Test Times.       ")});
}

TEST_F(ParameterFrameTest, StepUpSwitchesTimesTo1000) {
  combo("ComboSize")->setCurrentIndex(combo("ComboSize")->findText(QStringLiteral("Step up with 32 Bytes")));
  EXPECT_EQ(combo("ComboTimes")->currentText(), QStringLiteral("1000"));
  EXPECT_EQ(params.pingsPerTarget, 1000);
  EXPECT_EQ(params.mode, BufferMode::Incremental);
  EXPECT_EQ(params.startSize, 32);
  EXPECT_EQ(params.step, 32);
  EXPECT_EQ(params.numberOfSizes, 1000);
  EXPECT_EQ(params.pingsPerSize, 1);

  combo("ComboSize")->setCurrentIndex(combo("ComboSize")->findText(QStringLiteral("16,32,64,1024  Bytes")));
  EXPECT_EQ(params.mode, BufferMode::Multiple);
  EXPECT_EQ(params.numberOfSizes, 4);
  EXPECT_EQ(params.pingsPerSize, 4);
  EXPECT_EQ(params.sizes, (std::vector<std::int32_t>{16, 32, 64, 1024}));
  EXPECT_EQ(params.sizeData.at(3), std::string(1024, ' '));
  // The times list keeps what the step-up put there.
  EXPECT_EQ(params.pingsPerTarget, 1000);

  type("ComboSize", QStringLiteral("64  Bytes"));
  EXPECT_EQ(params.mode, BufferMode::Single);
  EXPECT_EQ(params.size, 64);
  EXPECT_EQ(params.numberOfSizes, 1);
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(ParameterFrameTest, GuardKeepsAHandlerFromRunningInsideItself) {
  // While the refusal of "abc" is on screen, the list's text changes again:
  // the running handler must not be entered a second time.
  int shown = 0;
  prompter->onMessage = [&](const fakes::FakePrompter::Call&) {
    if (++shown == 1) type("ComboTimeOut", QStringLiteral("700"));
  };
  type("ComboTimeOut", QStringLiteral("abc"));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(params.timeoutMs, 500u);
  // Outside the handler the next change applies again.
  prompter->onMessage = nullptr;
  type("ComboTimeOut", QStringLiteral("800"));
  EXPECT_EQ(params.timeoutMs, 800u);
}

TEST_F(ParameterFrameTest, TypedAdvancedIntervalText) {
  type("ComboInv", QStringLiteral("1000 to 100, 100--"));
  EXPECT_TRUE(params.advancedInterval);
  EXPECT_EQ(params.intervalStart, 1000u);
  EXPECT_EQ(params.intervalStep, -100);
  EXPECT_EQ(params.intervalLimit, 100u);
  EXPECT_EQ(params.intervalMs, 1000u);
  type("ComboInv", QStringLiteral("250  Milliseconds"));
  EXPECT_FALSE(params.advancedInterval);
  EXPECT_EQ(params.intervalMs, 250u);
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(ParameterFrameTest, AdvancedItemOpensTheDialogAndCancelKeepsEverything) {
  const PingParameters before = params;
  combo("ComboInv")->setCurrentIndex(78);
  auto* d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(in<QCheckBox>(d, "CheckAdvInterval")->isChecked());
  EXPECT_FALSE(in<QCheckBox>(d, "CheckAdvBuffer")->isChecked());
  click(d, "CommandAdvCancel");
  EXPECT_EQ(frame->advancedDialog(), nullptr);
  EXPECT_EQ(combo("ComboInv")->currentText(), QStringLiteral("600  Milliseconds"));
  EXPECT_EQ(params.intervalMs, before.intervalMs);
  EXPECT_FALSE(params.advancedInterval);
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(ParameterFrameTest, AdvancedIntervalFromTheButton) {
  QTest::mouseClick(frame->findChild<QPushButton*>(QStringLiteral("Command9")), Qt::LeftButton);
  auto* d = dialog();
  ASSERT_NE(d, nullptr);
  setText(d, "TextIntStart", "100");
  setText(d, "TextIntStep", "100");
  setText(d, "TextIntLimit", "1000");
  click(d, "CommandAdvOK");
  EXPECT_EQ(frame->advancedDialog(), nullptr);
  EXPECT_EQ(combo("ComboInv")->currentText(), QStringLiteral("100 to 1000, 100++"));
  EXPECT_TRUE(params.advancedInterval);
  EXPECT_EQ(params.intervalStart, 100u);
  EXPECT_EQ(params.intervalStep, 100);
  EXPECT_EQ(params.intervalLimit, 1000u);
  EXPECT_EQ(params.intervalMs, 100u);
  EXPECT_EQ(params.size, 32);  // the buffer part was not used
  EXPECT_TRUE(prompter->calls.isEmpty());

  // A limit below the start steps down.
  frame->advancedIntervalAction()->trigger();
  d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(in<QLineEdit>(d, "TextIntStart")->text(), QStringLiteral("100"));
  setText(d, "TextIntStart", "2000");
  setText(d, "TextIntLimit", "500");
  click(d, "CommandAdvOK");
  EXPECT_EQ(combo("ComboInv")->currentText(), QStringLiteral("2000 to 500, 100--"));
  EXPECT_EQ(params.intervalStep, -100);

  // Unticked: back to a fixed interval at the start value.
  frame->advancedIntervalAction()->trigger();
  d = dialog();
  ASSERT_NE(d, nullptr);
  in<QCheckBox>(d, "CheckAdvInterval")->setChecked(false);
  click(d, "CommandAdvOK");
  EXPECT_EQ(combo("ComboInv")->currentText(), QStringLiteral("2000  Milliseconds"));
  EXPECT_FALSE(params.advancedInterval);
  EXPECT_EQ(params.intervalMs, 2000u);
  EXPECT_TRUE(prompter->calls.isEmpty());
}

TEST_F(ParameterFrameTest, AdvancedBufferListAndPassMode) {
  QTest::mouseClick(frame->findChild<QPushButton*>(QStringLiteral("Command13")), Qt::LeftButton);
  auto* d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(in<QCheckBox>(d, "CheckAdvBuffer")->isChecked());
  EXPECT_FALSE(in<QCheckBox>(d, "CheckAdvInterval")->isChecked());
  click(d, "OptionBuf_1");
  setText(d, "TextBufList", "16, 64");
  setText(d, "TextBufPings", "2");
  click(d, "OptionPass_1");
  click(d, "CommandAdvOK");
  const QString shown = QStringLiteral("16,64  Bytes, 2 pings each");
  EXPECT_EQ(combo("ComboSize")->currentText(), shown);
  EXPECT_EQ(params.mode, BufferMode::Multiple);
  EXPECT_EQ(params.sizes, (std::vector<std::int32_t>{16, 64}));
  EXPECT_EQ(params.sizeData, (std::vector<std::string>{std::string(16, ' '), std::string(64, ' ')}));
  EXPECT_EQ(params.numberOfSizes, 2);
  EXPECT_EQ(params.pingsPerSize, 2);
  EXPECT_EQ(params.passMode, PassMode::OneByOne);
  EXPECT_FALSE(params.advancedInterval);

  // Another size and back: the shown text brings the setting back.
  type("ComboSize", QStringLiteral("8  Bytes"));
  EXPECT_EQ(params.mode, BufferMode::Single);
  type("ComboSize", shown);
  EXPECT_EQ(params.mode, BufferMode::Multiple);
  EXPECT_EQ(params.sizes, (std::vector<std::int32_t>{16, 64}));
  EXPECT_TRUE(prompter->calls.isEmpty());

  // A step-up cycle from the same dialog.
  frame->advancedBufferAction()->trigger();
  d = dialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(in<QLineEdit>(d, "TextBufList")->text(), QStringLiteral("16,64"));
  click(d, "OptionBuf_0");
  setText(d, "TextBufStart", "100");
  setText(d, "TextBufStep", "50");
  setText(d, "TextBufCount", "3");
  setText(d, "TextBufPings", "1");
  click(d, "CommandAdvOK");
  EXPECT_EQ(combo("ComboSize")->currentText(), QStringLiteral("100 to 200, 50++  Bytes, 1 pings each"));
  EXPECT_EQ(params.mode, BufferMode::Incremental);
  EXPECT_EQ(params.startSize, 100);
  EXPECT_EQ(params.step, 50);
  EXPECT_EQ(params.numberOfSizes, 3);
  EXPECT_EQ(params.pingsPerSize, 1);
}

TEST_F(ParameterFrameTest, AdvancedValuesAreCheckedOnOK) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> fields;
    bool buffer;  // tick the buffer part
    bool list;    // choose the list of sizes
    const char* message;
  };
  const Case cases[] = {
      {{{"TextIntStart", "x"}}, false, false, "Inalid Start Interval. Enter a whole number.       "},
      {{{"TextIntStep", ""}}, false, false, "Inalid Interval Step. Enter a whole number.       "},
      {{{"TextIntStep", "0"}}, false, false, "Inalid Interval Step. It must be 1 Milliseconds or more.       "},
      {{{"TextIntStart", "500"}, {"TextIntLimit", "500"}}, false, false,
       "Inalid Interval Limit. It must differ from the start interval.       "},
      {{{"TextIntStart", "0"}}, false, false, "Inalid Start Interval. It must be 1 Milliseconds or more.       "},
      {{{"TextBufPings", "0"}}, true, false, "Inalid Pings Per Size. It must be 1 to 32767.       "},
      {{{"TextBufStart", "32001"}}, true, false, "Inalid Start Size. It must be 1 to 32000 Bytes.       "},
      {{{"TextBufCount", "2000"}}, true, false,
       "Inalid Size Step. The last size would be 64000 Bytes; It must be 1 to 32000 Bytes.       "},
      {{{"TextBufList", "16,abc"}}, true, true,
       "Inalid Size List. Enter whole numbers separated by \",\", for example 16,32,64.       "},
      {{{"TextBufList", "16,40000"}}, true, true,
       "Inalid Size List: 40000 Bytes. It must be 1 to 32000 Bytes.       "},
  };
  for (const auto& c : cases) {
    prompter->calls.clear();
    frame->advancedIntervalAction()->trigger();
    auto* d = dialog();
    ASSERT_NE(d, nullptr);
    if (c.buffer) in<QCheckBox>(d, "CheckAdvBuffer")->setChecked(true);
    if (c.list) click(d, "OptionBuf_1");
    for (const auto& [name, text] : c.fields) setText(d, name, text);
    click(d, "CommandAdvOK");
    ASSERT_EQ(messageTexts(), QStringList{QString::fromLatin1(c.message)}) << c.message;
    EXPECT_EQ(prompter->messages().front().icon, IPrompter::Icon::Critical);
    // Refused: the dialog stays for a correction, and nothing is applied.
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(params.advancedInterval);
    EXPECT_EQ(params.mode, BufferMode::Single);
    click(d, "CommandAdvCancel");
    EXPECT_EQ(combo("ComboInv")->currentText(), QStringLiteral("600  Milliseconds"));
  }
}

}  // namespace
}  // namespace sondrel

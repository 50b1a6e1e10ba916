#include "iplist/ui/DialogCommon.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <algorithm>

#include "core/common/AddressHelpers.h"
#include "ports/Prompter.h"
#include "text/TextBytes.h"

namespace sondrel::listui {

namespace {
constexpr int kOffsetLeftTwips = 3500;
constexpr int kOffsetTopTwips = 1280;
}  // namespace

QString TrimBlanksOf(const QString& text) {
  return TextOfBytes(TrimBlanks(BytesOfText(text)));
}

void SetTextColour(QWidget& box, const QColor& colour) {
  QPalette p = box.palette();
  p.setColor(QPalette::Text, colour);
  box.setPalette(p);
}

void PlaceAtAnchor(QWidget& dialog, const DialogExchange& exchange) {
  dialog.move(Px(exchange.DialogAnchorLeft + kOffsetLeftTwips),
              Px(exchange.DialogAnchorTop + kOffsetTopTwips));
}

void ShowStatus(QLabel& label, DialogExchange& exchange) {
  const QString text = TextOfBytes(exchange.DialogStatus);
  label.setText(text);
  QPalette p = label.palette();
  p.setColor(QPalette::WindowText,
             text.contains(QStringLiteral("existed")) ? kStatusRed : kStatusGreen);
  label.setPalette(p);
  exchange.DialogStatus.clear();
}

void FocusAt(QLineEdit& box, int position) {
  box.setFocus(Qt::OtherFocusReason);
  box.setCursorPosition(std::min<int>(position, static_cast<int>(box.text().size())));
}

void ShowIPError(IPrompter& prompter, const QString& text) {
  prompter.message(text, QStringLiteral("IP Error"), IPrompter::Icon::Critical,
                   IPrompter::Buttons::Ok);
}

bool AcceptTitle(IPrompter& prompter, QLineEdit& titleBox) {
  const QString title = titleBox.text();
  if (!title.contains(u',')) return true;
  ShowIPError(prompter, QStringLiteral("Invalid tittle '") + title +
                            QStringLiteral("', a tittle cannot contain ','.   "));
  titleBox.setFocus(Qt::OtherFocusReason);
  return false;
}

QPushButton* MakeButton(const char* objectName, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(objectName));
  b->setAutoDefault(false);
  return b;
}

QString TakeAddCaption(DialogExchange& exchange) {
  const bool edit = exchange.EditMode;
  exchange.EditMode = false;
  return edit ? QStringLiteral("Save") : QStringLiteral("Add to IP List");
}

}  // namespace sondrel::listui

#pragma once
// Pieces the three list dialogs share: placement, colours, the status line
// and the error box.

#include <QColor>
#include <QString>

#include "core/common/Twips.h"

#include "iplist/DialogExchange.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace sondrel {

class IPrompter;

namespace listui {

using sondrel::kTwipsPerPixel;
using sondrel::Px;

inline const QColor kDarkBlue{0, 0, 128};
inline const QColor kStatusRed{255, 0, 0};
inline const QColor kStatusGreen{0, 192, 0};
inline const QColor kPlaceholderGrey{0x80, 0x80, 0x80};

// `text` without the blanks that TrimBlanks takes off the ends of list text.
QString TrimBlanksOf(const QString& text);

// The text of an edit box in the given colour.
void SetTextColour(QWidget& box, const QColor& colour);

// Places a dialog at the main window's anchor plus the dialogs' offset.
void PlaceAtAnchor(QWidget& dialog, const DialogExchange& exchange);

// Shows and consumes DialogStatus: red for a duplicate, green otherwise.
void ShowStatus(QLabel& label, DialogExchange& exchange);

// Focus an edit box with the cursor at `position` (or its end).
void FocusAt(QLineEdit& box, int position);

// Critical box with the caption "IP Error".
void ShowIPError(IPrompter& prompter, const QString& text);

// A title with "," would shift the fields of the stored line; refuses it with
// a message and the focus on the title box. True when the title is usable.
bool AcceptTitle(IPrompter& prompter, QLineEdit& titleBox);

// A push button that Enter in an edit box does not press.
QPushButton* MakeButton(const char* objectName, const QString& caption, QWidget* parent);

// Caption of the add button: "Save" for an edit, which the flag announces;
// the flag is consumed.
QString TakeAddCaption(DialogExchange& exchange);

}  // namespace listui
}  // namespace sondrel

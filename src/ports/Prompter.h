#pragma once
// Every message box and file dialog of the program goes through here, so the
// exact texts are visible to tests and answers can be given in advance.

#include <QString>

namespace sondrel {

// The caption of the message boxes that carry the program's own title.
inline constexpr char kApplicationTitle[] = "Sondrel";

class IPrompter {
 public:
  enum class Icon { None, Information, Warning, Critical, Question };
  enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
  enum class Answer { Ok, Cancel, Yes, No };

  virtual ~IPrompter() = default;
  // A modal message box; returns the button pressed.
  virtual Answer message(const QString& text, const QString& caption, Icon icon,
                         Buttons buttons = Buttons::Ok) = 0;
  // A save dialog; the chosen path, or "" when cancelled.
  virtual QString saveFileName(const QString& caption, const QString& startPath,
                               const QString& filter) = 0;
  // An open dialog; the chosen path, or "" when cancelled.
  virtual QString openFileName(const QString& caption, const QString& startFolder,
                               const QString& filter) = 0;
  // A one-line text question; ok is false when cancelled.
  virtual QString inputText(const QString& text, const QString& caption,
                            const QString& initial, bool* ok) = 0;
  // The export format dialog for `kind` ("PING", "SCAN" or "REPORT"):
  // "TEXT", "CSV" or "EXCEL", or "" when cancelled.
  virtual QString exportFormat(const QString& kind) = 0;
};

}  // namespace sondrel

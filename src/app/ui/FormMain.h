#pragma once
#include <QMainWindow>

class QApplication;

namespace sondrel {

class FormMain final : public QMainWindow {
  Q_OBJECT
 public:
  explicit FormMain(QWidget* parent = nullptr);
};

// Builds the real services, shows the main window and runs the event loop.
int RunMainWindow(QApplication& app);

}  // namespace sondrel

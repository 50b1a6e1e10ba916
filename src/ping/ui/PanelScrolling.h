#pragma once
// A panel of label rows beside its own scroll bar (the results display, the
// scan grid): the mouse wheel anywhere over the panel moves the bar as the
// wheel over the bar itself would, and once a click has given the panel the
// focus, the arrow, page, Home and End keys move it as the bar's own keys do.

class QScrollBar;
class QWidget;

namespace sondrel {

// Installs that behaviour on `panel`; `bar` must live as long as it.
void ScrollWithBar(QWidget* panel, QScrollBar* bar);

}  // namespace sondrel

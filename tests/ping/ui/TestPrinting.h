#pragma once
// Readable QString values in failure messages, and clicks that land on a
// check box's or radio button's own label however wide the widget is.
#include <QAbstractButton>
#include <QString>
#include <QTest>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace sondrel::testing {

inline void ClickButton(QAbstractButton* b) {
  QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

}  // namespace sondrel::testing

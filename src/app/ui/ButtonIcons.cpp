#include "app/ui/ButtonIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace sondrel {

namespace {

const QColor kOutline(0x40, 0x40, 0x40);
const QColor kPaper(0xfa, 0xfa, 0xfa);

// A sheet of paper with a folded corner, in the 32 x 32 design box.
void paintSheet(QPainter& p, const QRectF& r) {
  QPainterPath sheet;
  const qreal fold = r.width() * 0.3;
  sheet.moveTo(r.topLeft());
  sheet.lineTo(r.right() - fold, r.top());
  sheet.lineTo(r.right(), r.top() + fold);
  sheet.lineTo(r.bottomRight());
  sheet.lineTo(r.bottomLeft());
  sheet.closeSubpath();
  p.setPen(QPen(kOutline, 1.5));
  p.setBrush(kPaper);
  p.drawPath(sheet);
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void paintArrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
  p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(from, to);
  const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
  const QPointF n(-d.y(), d.x());
  p.drawLine(to, to - d * 6 + n * 5);
  p.drawLine(to, to - d * 6 - n * 5);
}

void paintKind(QPainter& p, ButtonIcon kind) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (kind) {
    case ButtonIcon::Start: {
      QPainterPath play;
      play.moveTo(8, 4);
      play.lineTo(28, 16);
      play.lineTo(8, 28);
      play.closeSubpath();
      p.setPen(QPen(QColor(0x1d, 0x6b, 0x2e), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(QColor(0x2e, 0x9e, 0x44));
      p.drawPath(play);
      break;
    }
    case ButtonIcon::Stop:
      p.setPen(QPen(QColor(0x8a, 0x22, 0x1c), 1.5));
      p.setBrush(QColor(0xd0, 0x3a, 0x30));
      p.drawRoundedRect(QRectF(6, 6, 20, 20), 3, 3);
      break;
    case ButtonIcon::Export:
      paintSheet(p, QRectF(4, 3, 18, 26));
      paintArrow(p, {12, 18}, {29, 18}, QColor(0x2f, 0x6f, 0xb3));
      break;
    case ButtonIcon::Open: {
      p.setPen(QPen(QColor(0x8a, 0x66, 0x14), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(QColor(0xc9, 0x97, 0x2a));
      QPainterPath back;
      back.moveTo(3, 8);
      back.lineTo(12, 8);
      back.lineTo(14, 11);
      back.lineTo(27, 11);
      back.lineTo(27, 26);
      back.lineTo(3, 26);
      back.closeSubpath();
      p.drawPath(back);
      p.setBrush(QColor(0xf0, 0xc0, 0x4a));
      QPainterPath front;
      front.moveTo(3, 26);
      front.lineTo(7, 15);
      front.lineTo(30, 15);
      front.lineTo(27, 26);
      front.closeSubpath();
      p.drawPath(front);
      break;
    }
    case ButtonIcon::Copy:
      paintSheet(p, QRectF(4, 3, 16, 21));
      paintSheet(p, QRectF(12, 9, 16, 21));
      break;
    case ButtonIcon::Dos: {
      p.setPen(QPen(kOutline, 1.5));
      p.setBrush(QColor(0x2a, 0x2a, 0x2a));
      p.drawRoundedRect(QRectF(2, 5, 28, 22), 3, 3);
      p.setPen(QPen(QColor(0x5c, 0xe0, 0x6c), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(7, 11), QPointF(12, 16), QPointF(7, 21)}));
      p.drawLine(QPointF(15, 21), QPointF(23, 21));
      break;
    }
    case ButtonIcon::Help: {
      p.setPen(QPen(QColor(0x1f, 0x4f, 0x85), 1.5));
      p.setBrush(QColor(0x2f, 0x6f, 0xb3));
      p.drawEllipse(QRectF(3, 3, 26, 26));
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setBold(true);
      font.setPixelSize(20);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case ButtonIcon::Monitor: {
      // A chart: a latency line over a white plot, a lost echo in red below.
      p.setPen(QPen(kOutline, 1.5));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(3, 4, 26, 20));
      p.setPen(QPen(QColor(0x00, 0x72, 0xb2), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(6, 19), QPointF(11, 15), QPointF(15, 17), QPointF(20, 9),
                                QPointF(26, 12)}));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xcc, 0x00, 0x00));
      p.drawRect(QRectF(16, 26, 4, 4));
      break;
    }
    case ButtonIcon::Application: {
      // A round screen with a trace of echoes: pings going out and coming back.
      p.setPen(QPen(QColor(0x14, 0x3c, 0x5a), 1.5));
      p.setBrush(QColor(0x1f, 0x5f, 0x8b));
      p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
      p.setPen(QPen(QColor(0x7c, 0xf0, 0x8a), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(5, 17), QPointF(10, 17), QPointF(13, 9), QPointF(17, 24),
                                QPointF(20, 13), QPointF(22, 17), QPointF(27, 17)}));
      break;
    }
  }
}

class DrawnIconEngine final : public QIconEngine {
 public:
  explicit DrawnIconEngine(ButtonIcon kind) : kind_(kind) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    painter->save();
    const qreal side = std::min(rect.width(), rect.height());
    painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
    painter->scale(side / 32.0, side / 32.0);
    if (mode == QIcon::Disabled) painter->setOpacity(0.35);
    paintKind(*painter, kind_);
    painter->restore();
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }
  QIconEngine* clone() const override { return new DrawnIconEngine(kind_); }
  QString key() const override { return QStringLiteral("SondrelDrawnIcon"); }

 private:
  ButtonIcon kind_;
};

}  // namespace

QIcon DrawnIcon(ButtonIcon kind) { return QIcon(new DrawnIconEngine(kind)); }

QIcon ApplicationIcon() {
  return QIcon::fromTheme(QStringLiteral("org.example.sondrel"), DrawnIcon(ButtonIcon::Application));
}

}  // namespace sondrel

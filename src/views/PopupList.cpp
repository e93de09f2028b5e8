#include "views/PopupList.h"

#include <QCursor>
#include <QLinearGradient>
#include <QPainter>
#include <QStyle>

namespace {

const QColor BannerBlue(0, 0, 255);
const QColor BannerBlack(0, 0, 0);

QFont BannerFont(const QFont& base) {
  QFont font = base;
  font.setBold(true);
  return font;
}

}  // namespace

TPopupList::TPopupList(const QString& name, TBanner banner, QWidget* parent)
    : QMenu(parent), banner_(banner) {
  setObjectName(name);
  connect(this, &QMenu::triggered, this,
          [this](QAction* action) { emit ItemChosen(action->data().toInt(), action->text()); });
  UpdateMargins();
}

void TPopupList::SetItems(const QStringList& captions) {
  clear();
  for (int k = 0; k < captions.size(); ++k) {
    QAction* action = addAction(captions[k]);
    action->setData(k);
  }
}

QString TPopupList::ItemCaption(int index) const {
  const QList<QAction*> items = actions();
  return index >= 0 && index < items.size() ? items[index]->text() : QString();
}

int TPopupList::ItemTag(int index) const {
  const QList<QAction*> items = actions();
  return index >= 0 && index < items.size() ? items[index]->data().toInt() : -1;
}

void TPopupList::SetItemEnabled(int index, bool on) {
  const QList<QAction*> items = actions();
  if (index >= 0 && index < items.size()) items[index]->setEnabled(on);
}

bool TPopupList::ItemEnabled(int index) const {
  const QList<QAction*> items = actions();
  return index >= 0 && index < items.size() && items[index]->isEnabled();
}

void TPopupList::SetBannerText(const QString& text) {
  bannerText_ = text;
  UpdateMargins();
  update();
}

void TPopupList::PopupAtCursor() {
  popup(QCursor::pos());
}

void TPopupList::ChooseItem(int index) {
  const QList<QAction*> items = actions();
  if (index >= 0 && index < items.size()) items[index]->trigger();
}

int TPopupList::BannerThickness() const {
  return QFontMetrics(BannerFont(font())).height() + 8;
}

int TPopupList::BannerTextLength() const {
  return QFontMetrics(BannerFont(font())).horizontalAdvance(bannerText_) + 16;
}

void TPopupList::UpdateMargins() {
  if (banner_ == TBanner::Vertical)
    setContentsMargins(BannerThickness(), 0, 0, 0);
  else
    setContentsMargins(0, BannerThickness(), 0, 0);
}

// The banner must show its whole text, also when the items are shorter than the title.
QSize TPopupList::sizeHint() const {
  QSize size = QMenu::sizeHint();
  if (banner_ == TBanner::Vertical)
    size.setHeight(qMax(size.height(), BannerTextLength()));
  else
    size.setWidth(qMax(size.width(), BannerTextLength()));
  return size;
}

QRect TPopupList::BannerRect() const {
  const int frame = style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this);
  const QRect inner = rect().adjusted(frame, frame, -frame, -frame);
  if (banner_ == TBanner::Vertical)
    return QRect(inner.left(), inner.top(), BannerThickness(), inner.height());
  return QRect(inner.left(), inner.top(), inner.width(), BannerThickness());
}

void TPopupList::paintEvent(QPaintEvent* event) {
  QMenu::paintEvent(event);
  QPainter painter(this);
  const QRect banner = BannerRect();
  const bool vertical = banner_ == TBanner::Vertical;
  QLinearGradient gradient(vertical ? banner.bottomLeft() : banner.topLeft(),
                           vertical ? banner.topLeft() : banner.topRight());
  gradient.setColorAt(0, BannerBlue);
  gradient.setColorAt(1, BannerBlack);
  painter.fillRect(banner, gradient);
  painter.setPen(Qt::white);
  painter.setFont(BannerFont(font()));
  if (vertical) {
    // Upright text reads from the bottom up, starting at the blue end.
    painter.translate(banner.left(), banner.bottom() + 1);
    painter.rotate(-90);
    painter.drawText(QRect(8, 0, banner.height() - 16, banner.width()),
                     Qt::AlignLeft | Qt::AlignVCenter, bannerText_);
  } else {
    painter.drawText(banner.adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter, bannerText_);
  }
}

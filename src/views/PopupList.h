// A popup choice list with a title banner painted in a blue-to-black gradient with white text,
// either across the top or, for long lists, upright along the left edge. Item k carries tag k;
// choosing an item emits ItemChosen with its tag and caption.
#pragma once

#include <QMenu>
#include <QString>
#include <QStringList>

class TPopupList : public QMenu {
  Q_OBJECT

 public:
  enum class TBanner { Horizontal, Vertical };

  TPopupList(const QString& name, TBanner banner, QWidget* parent = nullptr);

  void SetItems(const QStringList& captions);
  int ItemCount() const { return static_cast<int>(actions().size()); }
  QString ItemCaption(int index) const;
  int ItemTag(int index) const;
  // A disabled item is shown greyed and cannot be chosen, neither by a click nor by ChooseItem.
  void SetItemEnabled(int index, bool on);
  bool ItemEnabled(int index) const;

  TBanner Banner() const { return banner_; }
  QString BannerText() const { return bannerText_; }
  void SetBannerText(const QString& text);

  // A number of the caller's own, kept between showings (the setpoint of the grid that showed
  // the list last).
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  void PopupAtCursor();
  // Chooses the item as the user's click would.
  void ChooseItem(int index);

  QSize sizeHint() const override;

 signals:
  void ItemChosen(int code, const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int BannerThickness() const;
  int BannerTextLength() const;
  QRect BannerRect() const;
  void UpdateMargins();

  TBanner banner_;
  QString bannerText_;
  int tag_ = 0;
};

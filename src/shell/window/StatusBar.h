// The status bar: a row of sunken panels of given widths with a text each. The main window lays
// its message label, progress gauge and connection picture over the panels itself.
#pragma once

#include <QString>
#include <QWidget>

class TStatusBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int PanelCount = 3;

  explicit TStatusBar(QWidget* parent = nullptr);

  int PanelWidth(int panel) const { return widths_[panel]; }
  void SetPanelWidth(int panel, int width);
  QString PanelText(int panel) const { return texts_[panel]; }
  void SetPanelText(int panel, const QString& text);
  QRect PanelRect(int panel) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int widths_[PanelCount] = {200, 70, 70};
  QString texts_[PanelCount];
};

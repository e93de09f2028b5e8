// A list of text lines, each with two buttons beside it of which at most one is pushed: button 1
// (left), button 2 (right) or none. A click on a line's button pushes it; a click on the pushed
// button releases it. StateChanged is emitted only for such a click, never for SetState. From the
// keyboard, Up and Down (Home, End) move between the lines that are enabled, and Left and Right
// stand for a click on the current line's left and right button; in a list whose buttons act at
// once (SetArrowsOnlyMove), Left and Right only choose the button and Space or Enter clicks it.
#pragma once

#include <QList>
#include <QPushButton>
#include <QScrollArea>
#include <QString>

class QLabel;
class QVBoxLayout;

class TglAskListBox : public QScrollArea {
  Q_OBJECT

 public:
  enum TState { None = 0, Button1 = 1, Button2 = 2 };

  explicit TglAskListBox(QWidget* parent = nullptr);

  void SetButtons(const QString& caption1, const QString& caption2, int width);
  QString ButtonCaption(int which) const { return which == 1 ? caption1_ : caption2_; }
  int ButtonWidth() const { return buttonWidth_; }

  void Clear();
  void AddLine(const QString& text);
  int Count() const { return static_cast<int>(lines_.size()); }
  QString LineText(int line) const;

  TState State(int line) const;
  // Shows a state the configurator knows.
  void SetState(int line, TState state);
  // A line whose value was not read: no button pushed, on grey.
  void SetLineNotRead(int line);
  bool LineNotRead(int line) const;
  QPushButton* Button(int line, int which) const;
  // A disabled line keeps its text and pushed button but shows them greyed; its buttons take no
  // clicks.
  void SetLineEnabled(int line, bool on);
  bool LineEnabled(int line) const;

  // The line of the last click (-1 before any).
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int line);

  // Left and Right choose the current line's button, framed, and Space or Enter clicks it.
  void SetArrowsOnlyMove(bool on);
  // The button Space or Enter would click: 1 (left) or 2 (right).
  int KeyButton() const { return keyButton_; }

 signals:
  void StateChanged(int line);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct TLine {
    QWidget* Row;
    QLabel* Text;
    QPushButton* First;
    QPushButton* Second;
    TState State;
    bool NotRead;
  };

  void ButtonClicked(int line, TState which);
  int NextEnabledLine(int from, int step) const;
  void ShowState(TLine& line);
  void ShowBackground(int line);
  void ShowKeyButton();
  bool MoveKeyButton(int key);
  QPushButton* MakeButton(QWidget* row, const QString& caption);

  QWidget* body_;
  QVBoxLayout* layout_;
  QList<TLine> lines_;
  QString caption1_;
  QString caption2_;
  int buttonWidth_ = 100;
  int itemIndex_ = -1;
  bool arrowsOnlyMove_ = false;
  int keyButton_ = 1;
};

#include "views/FlagListPage.h"

#include <QVBoxLayout>

#include <utility>

#include "views/Design.h"
#include "views/FlagButtons.h"

using FlagButtons::ForAllState;
using FlagButtons::LineState;
using TState = TglAskListBox::TState;

TFlagListPage::TFlagListPage(TPageContext& context, QObject* parent, const TGroup& group,
                             const TFlagListLayout& layout)
    : TPage(context, parent, group),
      layout_(layout),
      flags_(ConfigBytes(context.Image.Config, group.Fields[0])) {
  list_ = new TglAskListBox;
  list_->setObjectName(QString("glAskListBox%1").arg(layout.List));
  list_->SetButtons(layout.Buttons.Button1, layout.Buttons.Button2, Design::Px(layout.ButtonWidth));
  MakeSheet(layout.Sheet)->addWidget(list_);
  connect(list_, &TglAskListBox::StateChanged, this, &TFlagListPage::LineChanged);
}

void TFlagListPage::WriteAtOnce(std::function<void()> before, std::function<void()> written) {
  before_ = std::move(before);
  written_ = std::move(written);
}

void TFlagListPage::SetFixedTexts() {
  list_->Clear();
  list_->AddLine(layout_.ForAll);
  for (int n = 1; n <= 32; ++n)
    list_->AddLine(QString::fromUtf8(layout_.Before) + QString::number(n) +
                   QString::fromUtf8(layout_.After));
}

void TFlagListPage::Render() {
  ShowForAllLine();
  for (int n = 1; n <= MaxChannels; ++n) {
    if (Image().Shows(Group(), &flags_[n - 1], 1))
      list_->SetState(n, LineState(flags_[n - 1], layout_.Buttons.Mirrored));
    else
      list_->SetLineNotRead(n);
  }
}

void TFlagListPage::ShowCounts(int channels, int relays) {
  const int count = group_.Count == TCountRule::Relays ? relays : channels;
  for (int n = 1; n <= MaxChannels; ++n) list_->SetLineEnabled(n, n <= count);
}

// The for-all line shows the common value only when every value is known.
void TFlagListPage::ShowForAllLine() {
  bool known = true;
  for (int i = 0; i < MaxChannels; ++i) known = known && Image().Shows(Group(), &flags_[i], 1);
  list_->SetState(0, known ? ForAllState(flags_, layout_.Buttons.Mirrored) : TglAskListBox::None);
}

void TFlagListPage::LineChanged(int line) {
  if (!written_) {
    if (ChangeFlags(line)) context_.MarkModified();
    return;
  }
  // The wait lets a finished read render the page; the button the user clicked still counts.
  const bool inList = line >= 0 && line <= MaxChannels;
  const TState clicked = inList ? list_->State(line) : TState::None;
  if (before_) before_();
  if (inList) list_->SetState(line, clicked);
  if (ChangeFlags(line)) written_();
}

// A line's click has changed its pushed button; the flags follow it. False when nothing was
// changed: the for-all line was released while the elements differ.
bool TFlagListPage::ChangeFlags(int line) {
  if (line < 0 || line > MaxChannels) return false;
  TState pushed = list_->State(line);
  if (line >= 1) {
    // A channel's line always shows its value: releasing the pushed button pushes it again; a
    // line whose value was not read stays so.
    if (pushed != TState::None) {
      flags_[line - 1] = FlagButtons::Value(pushed, layout_.Buttons.Mirrored);
      Image().MarkEdited(&flags_[line - 1], 1);
    } else if (Image().Shows(Group(), &flags_[line - 1], 1)) {
      list_->SetState(line, LineState(flags_[line - 1], layout_.Buttons.Mirrored));
    } else {
      list_->SetLineNotRead(line);
    }
    ShowForAllLine();
    return true;
  }
  if (pushed == TState::None) {
    ShowForAllLine();
    pushed = list_->State(0);
    if (pushed == TState::None) return false;
  }
  const uint8_t value = FlagButtons::Value(pushed, layout_.Buttons.Mirrored);
  for (int i = 0; i < MaxChannels; ++i) {
    flags_[i] = value;
    list_->SetState(i + 1, pushed);
  }
  Image().MarkEdited(flags_, MaxChannels);
  return true;
}

// The pages of two-button line lists: connection type, break check, square root, relay control
// and relay test (glAskListBox1, 2, 4, 5, 6). Line 0 sets every element; line k belongs to
// channel k or relay k. A pushed button is stored at once.
#pragma once

#include <QString>

#include <functional>

#include "instrument/ValueTexts.h"
#include "views/AskListBox.h"
#include "views/Page.h"

struct TFlagListLayout {
  int List;                        // n of glAskListBoxn
  const char* Sheet;               // objectName of the page's sheet
  ValueTexts::TFlagTexts Buttons;  // the captions of the two buttons; mirrored: button 1 is 0
  int ButtonWidth;                 // of each button at design time
  const char* ForAll;              // line 0
  const char* Before;              // line k: Before, k, After
  const char* After;
};

class TFlagListPage : public TPage {
 public:
  TFlagListPage(TPageContext& context, QObject* parent, const TGroup& group,
                const TFlagListLayout& layout);

  TglAskListBox* List() const { return list_; }
  void SetFixedTexts() override;
  void Render() override;
  void ShowCounts(int channels, int relays) override;

  // The relay test switches the instrument's relays at once: Before runs on every click that
  // changes a line, before the flags change; Written follows once they have changed. Nothing is
  // marked as modified then.
  void WriteAtOnce(std::function<void()> before, std::function<void()> written);

 private:
  void LineChanged(int line);
  bool ChangeFlags(int line);
  void ShowForAllLine();

  TFlagListLayout layout_;
  uint8_t* flags_;
  TglAskListBox* list_;
  std::function<void()> before_;
  std::function<void()> written_;
};

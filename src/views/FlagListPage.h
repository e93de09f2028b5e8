// The pages of two-button line lists: connection type, break check, square root, relay control
// and relay test (glAskListBox1, 2, 4, 5, 6). Line 0 sets every element; line k belongs to
// channel k or relay k. A pushed button is stored at once.
#pragma once

#include <QString>

#include <functional>

#include "views/AskListBox.h"
#include "views/Page.h"

struct TFlagListLayout {
  int List;             // n of glAskListBoxn
  const char* Sheet;    // objectName of the page's sheet
  const char* Button1;  // the captions of the two buttons and their width at design time
  const char* Button2;
  int ButtonWidth;
  bool Mirrored;       // button 1 stores 0 (relay control)
  const char* ForAll;  // line 0
  const char* Before;  // line k: Before, k, After
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

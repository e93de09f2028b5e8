// One page (or sub-page) of the main window: its sheet with the controls, how the data image is
// shown there and how the user's edits there change it. What the pages share is their context.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

#include "instrument/DataImage.h"
#include "instrument/Groups.h"

class QVBoxLayout;
class QWidget;
class TStringGrid;

// The data image the pages show and edit, the window's modified flag, and the current cell: the
// grid cell under the last click or edit, on whichever page.
class TPageContext {
 public:
  TPageContext(TDataImage& image, bool& modified) : Image(image), modified_(modified) {}

  TDataImage& Image;
  int CurrentCol = 0;
  int CurrentRow = 0;
  // Set while the data image is being written into a page: controls that rendering moves are no
  // edits of the user's.
  bool Rendering = false;
  // By group code: the live values shown are old (a read failed, the port was closed, another
  // instrument was chosen) and show on grey, as not-read cells do, until read again.
  bool Stale[LastGroup + 1] = {};

  // The edit handlers' way of raising the modified flag; nothing while a page is being rendered.
  void MarkModified() {
    if (!Rendering) modified_ = true;
  }
  // A typed text was refused as no number: says why, for the status line.
  void RefuseNumber(const QString& text) const;
  std::function<void(const QString& sentence)> NumberRefused;

 private:
  bool& modified_;
};

class TPage : public QObject {
 public:
  // group: the table row of the group the page shows.
  TPage(TPageContext& context, QObject* parent, const TGroup& group)
      : QObject(parent), context_(context), group_(group) {}

  // The page's sheet, with its objectName; the page control takes it over.
  QWidget* Sheet() const { return sheet_; }
  // The group the page shows: its page job code.
  uint8_t Group() const { return group_.Code; }
  // Row labels, headers and for-all texts; run once when the window is created.
  virtual void SetFixedTexts() {}
  // Writes the data image into the page.
  virtual void Render() = 0;
  // Rows and lines beyond the instrument's channel and relay counts show disabled.
  virtual void ShowCounts(int channels, int relays) {
    (void)channels;
    (void)relays;
  }
  // A page of live values whose values are stale shows what it shows now on grey, the texts kept.
  virtual void ShowStale() {}

  // A control whose value was not read shows on grey.
  static void ShowNotRead(QWidget* control, bool notRead);
  // The text of row N's label: "N-го канала".
  static QString Nth(int n);

 protected:
  // Makes the page's sheet; its layout fills it without margins.
  QVBoxLayout* MakeSheet(const QString& name);
  static TStringGrid* MakeGrid(int n, int cols, int rows, int fixedCols, int fixedRows, int tag);

  TDataImage& Image() { return context_.Image; }
  const TDataImage& Image() const { return context_.Image; }
  TPageContext& context_;
  const TGroup& group_;
  QWidget* sheet_ = nullptr;
};

// Rows of the channel grids: the for-all row or header, then channels 1..32; the logic grids
// have a header above their for-all row.
inline constexpr int ChannelRows = 33;
inline constexpr int LogicRows = 34;

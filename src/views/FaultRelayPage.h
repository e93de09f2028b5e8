// The fault-relay sub-page (TabSheet27): the relay that reports a fault of the instrument and the
// one that reports a fault of a sensor, each with its two flag boxes.
#pragma once

#include "views/Page.h"

class QCheckBox;
class QComboBox;
class QGroupBox;

class TFaultRelayPage : public TPage {
 public:
  TFaultRelayPage(TPageContext& context, QObject* parent, const TGroup& group);

  void SetFixedTexts() override;
  void Render() override;
  void ShowCounts(int channels, int relays) override;

  QGroupBox* GroupBox7;
  QGroupBox* GroupBox8;
  QComboBox* ComboBox1;
  QComboBox* ComboBox6;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;

 private:
  void Build();
  void WireEdits();
};

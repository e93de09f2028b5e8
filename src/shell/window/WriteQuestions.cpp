#include "shell/window/WriteQuestions.h"

#include <QStringList>

#include "files/ConfigReport.h"
#include "files/ConfigValues.h"
#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"
#include "shell/window/Dialogs.h"
#include "shell/window/WindowSeam.h"
#include "views/TextForms.h"

namespace {

constexpr int ListedInText = 8;  // the rest unfolds under the box

// Nothing for an instrument whose model is not known here.
QString ModelText(uint16_t model) {
  return model == 0 ? QString() : QString::fromStdString(ModelTitle(model));
}

// A network line is named by its server, "10.0.0.5:4001".
QString PortText(const TMIP& mip) {
  if (mip.Bus.IsNetworkLine()) return QString::fromStdString(mip.Bus.LineName());
  return QString("COM%1").arg(mip.Bus.PortIndex() + 1);
}

uint16_t ModelAt(const TMIP& mip, uint8_t address) {
  for (int i = 0; i < mip.FoundCount; ++i)
    if (mip.FoundDevices[i].Address == address) return mip.FoundDevices[i].ModelCode;
  return mip.Address == address ? mip.ModelCode : 0;
}

}  // namespace

QString WriteTargetText(const TMIP& mip, uint8_t address) {
  const QString model = ModelText(ModelAt(mip, address));
  return QString("Прибор: %1адрес %2, %3")
      .arg(model.isEmpty() ? QString() : model + ", ")
      .arg(address)
      .arg(PortText(mip));
}

QString WriteTargetsText(const TMIP& mip, const std::vector<TFoundDevice>& targets) {
  QStringList addresses;
  for (const TFoundDevice& device : targets) addresses << QString::number(device.Address);
  return QString("Приборы (%1): адреса %2, %3")
      .arg(targets.size())
      .arg(addresses.join(", "))
      .arg(PortText(mip));
}

QList<uint8_t> ConfigurationGroupCodes() {
  QList<uint8_t> codes;
  for (const TGroup* group : ConfigurationGroups()) codes << group->Code;
  return codes;
}

QList<uint8_t> GroupsFromFile(const TDataImage& image, uint8_t writeCode) {
  QList<uint8_t> written;
  if (writeCode == JobWriteAll) {
    written = ConfigurationGroupCodes();
  } else if (writeCode == JobWriteSettingsPage) {
    written << OpReadSettings;
  } else {
    for (const TGroup* group : ConfigurationGroups())
      if (group->WriteCode == writeCode) written << group->Code;
  }
  QList<uint8_t> fromFile;
  for (uint8_t code : written)
    if (image.GroupSource[code] == TGroupSource::Loaded) fromFile << code;
  return fromFile;
}

bool MayWriteUnknownValues(TWindowSeam& seam, QWidget* owner, const TConfigBlock& block,
                           uint16_t channels, uint16_t relays, const QList<uint8_t>& groups,
                           const QString& target) {
  if (groups.isEmpty()) return true;
  const std::string& separator = TextForms::CurrentForms()->DecimalSeparator();
  QStringList lines;
  for (const TUnknownValue& value : UnknownValues(block, channels, relays, separator))
    if (groups.contains(value.Group->Code))
      lines << QString::fromStdString(GroupHeading(value.Group->Code) + ", " + value.Element +
                                      ": " + value.Text);
  if (lines.isEmpty()) return true;
  QStringList shown = lines.mid(0, ListedInText);
  if (lines.size() > ListedInText) shown << QString("… и ещё %1").arg(lines.size() - ListedInText);
  return seam.Dialogs().Confirm(
      owner, "Значения вне списков прибора",
      QString("В настройке из файла есть значения, которых прибор не знает (%1). Записать их в "
              "прибор?")
          .arg(lines.size()),
      target + "\n\n" + shown.join("\n"), lines.join("\n"), "Записать всё равно");
}

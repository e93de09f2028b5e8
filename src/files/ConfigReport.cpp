#include "files/ConfigReport.h"

#include <algorithm>
#include <cstdio>

#include "files/ConfigCompare.h"
#include "files/ConfigValues.h"
#include "files/SafeWrite.h"
#include "instrument/DataImage.h"
#include "instrument/JobEngine.h"
#include "instrument/JobMessages.h"
#include "instrument/NumberTexts.h"
#include "instrument/ValueTexts.h"

namespace {

constexpr const char* Style =
    "@page { size: A4; margin: 15mm; }\n"
    "body { font-family: 'DejaVu Sans', Arial, sans-serif; font-size: 10pt; }\n"
    "h1 { font-size: 16pt; } h2 { font-size: 12pt; margin-top: 14pt; }\n"
    "table { border-collapse: collapse; margin-bottom: 8pt; }\n"
    "th, td { border: 1px solid #888; padding: 2pt 6pt; text-align: left; }\n"
    "th { background: #e8e8e8; }\n";

std::string Cell(const std::string& text, const char* tag = "td") {
  return std::string("<") + tag + ">" + EscapeHtml(text) + "</" + tag + ">";
}

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td") {
  std::string row = "<tr>";
  for (const std::string& c : cells) row += Cell(c, tag);
  return row + "</tr>\n";
}

std::string Heading(const char* level, const std::string& text) {
  return std::string("<") + level + ">" + EscapeHtml(text) + "</" + level + ">\n";
}

std::string Identity(const TDataImage& image, const TReportFacts& facts, const TTextForm& form) {
  const auto version = std::to_string(image.FirmwareVersion >> 8) + "." +
                       std::to_string(image.FirmwareVersion & 0xFF);
  std::string html = Heading("h2", "Прибор");
  html += "<table>\n";
  html += Row({"Идентификатор", IdentityText(image.DeviceId, sizeof image.DeviceId)});
  html += Row({"Модель", ModelTitle(image.ModelCode)});
  html += Row({"Версия ПО", version});
  html += Row({"Адрес", std::to_string(image.Address)});
  html += Row({"Порт", facts.Port});
  html += Row({"Скорость обмена", std::to_string(facts.Baud) + " бод"});
  html += Row({"Кол-во каналов", std::to_string(image.DeviceChannels)});
  html += Row({"Кол-во реле", std::to_string(image.DeviceRelays)});
  html += Row({"Глубина архива", std::to_string(image.ArchiveDepth)});
  html += Row({"Часы прибора", form.DateTimeText(image.DeviceClock)});
  html += Row({"Считано", facts.ReadAt != 0 ? form.DateTimeText(facts.ReadAt) : "не известно"});
  return html + "</table>\n";
}

std::string ComparisonSection(const TReportFacts& facts) {
  const TComparison& comparison = *facts.Comparison;
  std::string html = Heading("h2", "Сравнение с файлом");
  html += "<p>Файл: " + EscapeHtml(facts.ComparedFile) + "</p>\n";
  if (comparison.Equal() && comparison.Complete()) return html + "<p>Совпадает полностью</p>\n";
  html += "<p>Различий: " + std::to_string(comparison.Differences.size()) + "</p>\n<table>\n";
  html += Row({"Группа", "Различий"}, "th");
  for (const TGroupComparison& g : comparison.Groups)
    html += Row({g.GroupName, g.Compared ? std::to_string(g.Differences) : "не сравнивалась"});
  html += "</table>\n";
  if (comparison.Equal()) return html;
  html += "<table>\n" + Row({"Группа", "Элемент", "В приборе", "В файле"}, "th");
  for (const TDifference& d : comparison.Differences)
    html += Row({d.GroupName, d.Element, d.InstrumentValue, d.FileValue});
  return html + "</table>\n";
}

std::string GroupSection(const TGroup& group, const TDataImage& image, const TTextForm& form) {
  std::string html = Heading("h2", GroupHeading(group.Code));
  // Values loaded from a file or typed in are no record of the instrument.
  if (image.GroupSource[group.Code] != TGroupSource::Read) return html + "<p>Не считано</p>\n";
  html += "<table>\n";
  for (const TElementValue& v : GroupValues(group, image.Config, image.ChannelCount,
                                            image.RelayCount, form.DecimalSeparator))
    html += Row({v.Element, v.Text});
  return html + "</table>\n";
}

std::string ArchiveValue(float value, const std::string& separator) {
  const char* marker = ArchiveMarkerText(value);
  return marker ? marker : FixedText(value, 3, separator);
}

std::string ArchiveSection(const TDataImage& image, size_t records, const TTextForm& form) {
  std::string html = Heading("h2", "Архив измерений");
  const size_t count = std::min(records, image.ArchiveCount());
  if (count == 0) return html + "<p>Записей нет</p>\n";
  html += "<table>\n<tr><th>Номер</th><th>Дата и время</th>";
  for (int ch = 1; ch <= image.ChannelCount; ++ch) html += "<th>" + std::to_string(ch) + "</th>";
  html += "</tr>\n";
  for (size_t i = 0; i < count; ++i) {
    const MeasurementRecord& r = image.ArchiveRecord(i);
    html += "<tr>" + Cell(std::to_string(r.Number)) + Cell(form.DateTimeText(r.Time));
    for (int ch = 0; ch < image.ChannelCount; ++ch)
      html += Cell(ArchiveValue(r.Value[ch], form.DecimalSeparator));
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

void AppendUtf8(std::string& text, unsigned code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string html;
  html.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      case '\'':
        html += "&#39;";
        break;
      default:
        html += c;
    }
  }
  return html;
}

std::string IdentityText(const char* text, size_t capacity) {
  std::string result;
  for (size_t i = 0; i < capacity && text[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F)
      AppendUtf8(result, byte);
    else if (byte >= 0xC0)
      AppendUtf8(result, 0x0410 + (byte - 0xC0));
    else if (byte == 0xA8)
      AppendUtf8(result, 0x0401);
    else if (byte == 0xB8)
      AppendUtf8(result, 0x0451);
    else
      AppendUtf8(result, 0xFFFD);
  }
  return result;
}

// The settings have no page row of their own: the device settings page shows them.
std::string GroupHeading(uint8_t code) {
  const TGroup* group = GroupByCode(code);
  if (!group) return {};
  if (group->Kind == TElementKind::Settings) group = GroupByCode(JobReadSettingsPage);
  const TPagePlace place = group->Page;
  const char* page = ValueTexts::PageCaption(place.Page);
  if (!page) return group->Name;
  std::string heading = page;
  if (const char* subPage = ValueTexts::SubPageCaption(place.Page, place.SubPage))
    heading += std::string(": ") + subPage;
  return heading;
}

std::string ConfigurationReportHtml(const TDataImage& image, const TReportFacts& facts,
                                    const TTextForm& form) {
  const std::string model = ModelTitle(image.ModelCode);
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
      EscapeHtml("Отчёт о настройке " + model + ", адрес " + std::to_string(image.Address)) +
      "</title>\n<style>\n" + Style + "</style>\n</head>\n<body>\n";
  html += Heading("h1", "Отчёт о настройке прибора " + model);
  html += Identity(image, facts, form);
  if (facts.Comparison) html += ComparisonSection(facts);
  for (const TGroup* group : ConfigurationGroups()) html += GroupSection(*group, image, form);
  if (facts.ArchiveRecords > 0) html += ArchiveSection(image, facts.ArchiveRecords, form);
  return html + "</body>\n</html>\n";
}

bool WriteConfigurationReport(const std::string& path, const std::string& html) {
  return WriteFileReplacing(path, html.data(), html.size());
}

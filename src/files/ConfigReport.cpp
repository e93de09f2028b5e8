#include "files/ConfigReport.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "files/ConfigCompare.h"
#include "files/ConfigValues.h"
#include "files/Journal.h"
#include "files/SafeWrite.h"
#include "instrument/DataImage.h"
#include "instrument/JobEngine.h"
#include "instrument/JobMessages.h"
#include "instrument/NumberTexts.h"
#include "instrument/ValueTexts.h"

namespace {

// Landscape A4, as an engineer prints a table of every channel's settings; the channel table is
// set a size smaller than the rest. The cells are padded by the tables' cellpadding: Qt's text
// engine, which prints the PDF, drops a style's padding of cells in collapsed borders.
constexpr const char* Style =
    "@page { size: A4 landscape; margin: 8mm; }\n"
    "body { font-family: 'DejaVu Sans', Arial, sans-serif; font-size: 8pt; }\n"
    "h1 { font-size: 13pt; } h2 { font-size: 10pt; margin-top: 10pt; margin-bottom: 4pt; }\n"
    "table { border-collapse: collapse; margin-bottom: 6pt; }\n"
    "th, td { border: 1px solid #888; text-align: left; vertical-align: top; }\n"
    "th { background: #e8e8e8; }\n"
    "table.channels th, table.channels td { font-size: 6pt; }\n"
    "table.channels th { font-weight: normal; }\n"
    "table.channels td.number { text-align: right; }\n"
    "p.note { font-size: 7pt; margin-top: 0; }\n";

constexpr int SetpointCount = 4;
constexpr int RelaysPerRow = 16;
constexpr int ArchiveChannelsPerTable = 16;

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

std::string TableStart(const char* cssClass = nullptr) {
  std::string start = "<table cellspacing=\"0\" cellpadding=\"3\"";
  if (cssClass) start += std::string(" class=\"") + cssClass + "\"";
  return start + ">\n";
}

// Name and value pairs set two to a row, so that the short facts take half the height.
std::string PairTable(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string html = TableStart();
  for (size_t i = 0; i < pairs.size(); i += 2) {
    html += "<tr>" + Cell(pairs[i].first, "th") + Cell(pairs[i].second);
    if (i + 1 < pairs.size()) html += Cell(pairs[i + 1].first, "th") + Cell(pairs[i + 1].second);
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

std::string Identity(const TDataImage& image, const TReportFacts& facts, const TTextForm& form) {
  const auto version = std::to_string(image.FirmwareVersion >> 8) + "." +
                       std::to_string(image.FirmwareVersion & 0xFF);
  return Heading("h2", "Прибор") +
         PairTable(
             {{"Идентификатор", IdentityText(image.DeviceId, sizeof image.DeviceId)},
              {"Модель", ModelTitle(image.ModelCode)},
              {"Версия ПО", version},
              {"Адрес", std::to_string(image.Address)},
              {"Порт", facts.Port},
              {"Скорость обмена", std::to_string(facts.Baud) + " бод"},
              {"Кол-во каналов", std::to_string(image.DeviceChannels)},
              {"Кол-во реле", std::to_string(image.DeviceRelays)},
              {"Глубина архива", std::to_string(image.ArchiveDepth)},
              {"Часы прибора", form.DateTimeText(image.DeviceClock)},
              {"Считано", facts.ReadAt != 0 ? form.DateTimeText(facts.ReadAt) : "не известно"}});
}

std::string ComparisonSection(const TReportFacts& facts) {
  const TComparison& comparison = *facts.Comparison;
  std::string html = Heading("h2", "Сравнение с файлом");
  html += "<p>Файл: " + EscapeHtml(facts.ComparedFile) + "</p>\n";
  if (comparison.Equal() && comparison.Complete()) return html + "<p>Совпадает полностью</p>\n";
  html += "<p>Различий: " + std::to_string(comparison.Differences.size()) +
          "; группы, которых нет ниже, совпадают.</p>\n" + TableStart();
  html += Row({"Группа", "Различий"}, "th");
  for (const TGroupComparison& g : comparison.Groups)
    if (!g.Compared || g.Differences > 0)
      html += Row({g.GroupName, g.Compared ? std::to_string(g.Differences) : "не сравнивалась"});
  html += "</table>\n";
  if (comparison.Equal()) return html;
  html += TableStart() + Row({"Группа", "Элемент", "В приборе", "В файле"}, "th");
  for (const TDifference& d : comparison.Differences)
    html += Row({d.GroupName, d.Element, d.InstrumentValue, d.FileValue});
  return html + "</table>\n";
}

bool WasRead(const TDataImage& image, const TGroup& group) {
  // Values loaded from a file or typed in are no record of the instrument.
  return image.GroupSource[group.Code] == TGroupSource::Read;
}

// How a channel column writes its value: as the page does (numbers; the decimals on one line;
// sensor types, whose longest word may break), or in the short form the legend explains.
enum class TCellForm {
  OneLine,
  Number,
  SensorType,
  Wiring,
  YesNo,
  ColdJunction,
  Filter,
  Relay,
  Logic
};

struct TChannelColumn {
  TPagePlace Place;  // the page (and sub-page) that shows the group
  const char* Heading;
  TCellForm Form;
  const char* Width;  // of the page's width: each column as wide as its longest word needs
};

constexpr const char* ChannelColumnWidth = "1.9%";

// The headings break where a soft hyphen stands, and nowhere else in a word.
constexpr TChannelColumn SettingColumns[] = {
    {{2, 0}, "Тип датчика", TCellForm::SensorType, "11.7%"},
    {{3, 0}, "Соеди&shy;нение", TCellForm::Wiring, "4.4%"},
    {{4, 0}, "Обрыв", TCellForm::YesNo, "3.3%"},
    {{5, 0}, "КХС", TCellForm::ColdJunction, "2.7%"},
    {{6, 0}, "Корень", TCellForm::YesNo, "3.8%"},
    {{7, 0}, "Фильтр", TCellForm::Filter, "4.5%"},
    {{8, 0}, "Запя&shy;тые", TCellForm::OneLine, "4.2%"},
    {{9, 0}, "Мини&shy;мум", TCellForm::Number, "5.4%"},
    {{9, 1}, "Макси&shy;мум", TCellForm::Number, "5.4%"},
    {{11, 0}, "Гисте&shy;резис", TCellForm::Number, "3.8%"},
};

// The three columns of each setpoint: its value, its relay and the relay's logic.
constexpr TChannelColumn SetpointColumns[] = {
    {{10, 0}, "Значе&shy;ние", TCellForm::Number, "4.8%"},
    {{12, 0}, "Реле", TCellForm::Relay, "2.8%"},
    {{13, 0}, "Логика", TCellForm::Logic, "4.6%"},
};

std::vector<TChannelColumn> ChannelColumns() {
  std::vector<TChannelColumn> columns(std::begin(SettingColumns), std::end(SettingColumns));
  for (int k = 0; k < SetpointCount; ++k)
    for (TChannelColumn column : SetpointColumns) {
      column.Place.SubPage = k;
      columns.push_back(column);
    }
  return columns;
}

std::string NoBreakSpaces(std::string text) {
  for (size_t at = text.find(' '); at != std::string::npos; at = text.find(' ', at))
    text.replace(at, 1, "\u00A0");
  return text;
}

// The longest word of the sensor types may break after its first part (a soft hyphen).
std::string Breakable(std::string text) {
  const std::string word = "Термосопротивление";
  const size_t at = text.find(word);
  if (at != std::string::npos) text.insert(at + std::string("Термо").size(), "\u00AD");
  return text;
}

std::string CodeText(unsigned code) {
  return "код " + std::to_string(code);
}

// A list's code as a number of channel or relay, "нет" for none; a code beyond the list as such.
std::string Numbered(ValueTexts::TChoiceList list, unsigned code) {
  if (code >= ValueTexts::ItemCount(list)) return CodeText(code);
  return code == 0 ? "нет" : std::to_string(code);
}

std::string Shortened(ValueTexts::TChoiceList list, unsigned code,
                      std::initializer_list<const char*> shortForms) {
  if (code >= ValueTexts::ItemCount(list) || code >= shortForms.size()) return CodeText(code);
  return shortForms.begin()[code];
}

std::string LogicText(const TGroup& group, const TConfigBlock& block, int channel) {
  using ValueTexts::TChoiceList;
  const auto piece = [&](int k) { return ConfigBytes(block, group.Fields[k])[channel]; };
  return Shortened(TChoiceList::LogicConditions, piece(0), {"<", ">"}) + " " +
         Shortened(TChoiceList::LogicFaults, piece(1), {"=", "вкл", "выкл"}) + " " +
         Shortened(TChoiceList::LogicFilters, piece(2), {"1", "2"});
}

std::string ShortText(const TChannelColumn& column, const TGroup& group, const TConfigBlock& block,
                      int channel, const TElementValue& value) {
  const uint8_t code = ConfigBytes(block, group.Fields[0])[channel];
  switch (column.Form) {
    case TCellForm::Wiring:
      return code != 0 ? "3-пров." : "4-пров.";
    case TCellForm::YesNo:
      return code != 0 ? "да" : "нет";
    case TCellForm::ColdJunction:
      return Numbered(ValueTexts::TChoiceList::ColdJunctions, code);
    case TCellForm::Relay:
      return Numbered(ValueTexts::TChoiceList::Relays, code);
    case TCellForm::Logic:
      return LogicText(group, block, channel);
    case TCellForm::OneLine:
      return NoBreakSpaces(value.Text);
    case TCellForm::SensorType:
      return Breakable(value.Text);
    case TCellForm::Filter:
      return Shortened(ValueTexts::TChoiceList::Filters, code,
                       {"Слаб. 1", "Слаб. 2", "Сред. 1", "Сред. 2", "Макс. 1", "Макс. 2"});
    case TCellForm::Number:
      break;
  }
  return value.Text;
}

std::string HeadCell(const char* heading, const char* width, const char* span = "") {
  return std::string("<th") + span + " width=\"" + width + "\">" + heading + "</th>";
}

std::string ChannelTableHead() {
  constexpr const char* BothRows = " rowspan=\"2\"";
  std::string head = "<thead>\n<tr>" + HeadCell("№", ChannelColumnWidth, BothRows);
  for (const TChannelColumn& column : SettingColumns)
    head += HeadCell(column.Heading, column.Width, BothRows);
  for (int k = 1; k <= SetpointCount; ++k)
    head += "<th colspan=\"3\">Уставка " + std::to_string(k) + "</th>";
  head += "</tr>\n<tr>";
  for (int k = 0; k < SetpointCount; ++k)
    for (const TChannelColumn& column : SetpointColumns)
      head += HeadCell(column.Heading, column.Width);
  return head + "</tr>\n</thead>\n";
}

// Every column's cells, channel by channel; a group not read leaves its cells empty.
std::vector<std::vector<std::string>> ChannelCells(const TDataImage& image,
                                                   const std::vector<TChannelColumn>& columns,
                                                   const TTextForm& form) {
  std::vector<std::vector<std::string>> cells;
  for (const TChannelColumn& column : columns) {
    const TGroup& group = *GroupForPage(column.Place.Page, column.Place.SubPage);
    std::vector<std::string> texts(image.ChannelCount);
    if (WasRead(image, group)) {
      const auto values = GroupValues(group, image.Config, image.ChannelCount, image.RelayCount,
                                      form.DecimalSeparator);
      for (size_t n = 0; n < values.size() && n < texts.size(); ++n)
        texts[n] = ShortText(column, group, image.Config, static_cast<int>(n), values[n]);
    }
    cells.push_back(std::move(texts));
  }
  return cells;
}

std::string NotReadNote(const TDataImage& image, const std::vector<TChannelColumn>& columns) {
  std::string names;
  for (const TChannelColumn& column : columns) {
    const TGroup& group = *GroupForPage(column.Place.Page, column.Place.SubPage);
    if (!WasRead(image, group)) names += (names.empty() ? "" : ", ") + GroupHeading(group.Code);
  }
  return names.empty()
             ? std::string()
             : "<p class=\"note\">Не считано (пустые ячейки): " + EscapeHtml(names) + "</p>\n";
}

constexpr const char* ChannelLegend =
    "<p class=\"note\">Соединение: 3-пров. — трехпроводка, 4-пров. — четырехпроводка. Обрыв, "
    "Корень: да — проверять обрыв, извлекать корень. Фильтр: слаб., сред., макс. — слабый, "
    "средний, максимальный. КХС: канал, с "
    "которого берется КХС. Реле: номер реле уставки. Логика: &lt; — при значении меньше "
    "уставки, &gt; — при значении больше уставки; при неисправности канала = — не менять "
    "значение, вкл — включить реле, выкл — выключить реле; 1 — с первого срабатывания, 2 — со "
    "второго срабатывания.</p>\n";

// One row per channel, one column per setting of the channel.
std::string ChannelTable(const TDataImage& image, const TTextForm& form) {
  const std::vector<TChannelColumn> columns = ChannelColumns();
  const auto cells = ChannelCells(image, columns, form);
  std::string html = Heading("h2", "Каналы") + TableStart("channels") + ChannelTableHead();
  for (int n = 0; n < image.ChannelCount; ++n) {
    html += "<tr>" + Cell(std::to_string(n + 1));
    for (size_t c = 0; c < columns.size(); ++c)
      html += columns[c].Form == TCellForm::Number
                  ? "<td class=\"number\">" + EscapeHtml(cells[c][n]) + "</td>"
                  : Cell(cells[c][n]);
    html += "</tr>\n";
  }
  return html + "</table>\n" + NotReadNote(image, columns) + ChannelLegend;
}

// A group of its own as element and value pairs: the fault relays, the device settings.
std::string PairSection(const TGroup& group, const TDataImage& image, const TTextForm& form) {
  std::string html = Heading("h2", GroupHeading(group.Code));
  if (!WasRead(image, group)) return html + "<p>Не считано</p>\n";
  std::vector<std::pair<std::string, std::string>> pairs;
  for (TElementValue& v : GroupValues(group, image.Config, image.ChannelCount, image.RelayCount,
                                      form.DecimalSeparator))
    pairs.emplace_back(std::move(v.Element), std::move(v.Text));
  return html + PairTable(pairs);
}

// A group of one value per relay: the relay numbers over their values, so many relays to a row.
std::string RelayRowsSection(const TGroup& group, const TDataImage& image, const TTextForm& form) {
  std::string html = Heading("h2", GroupHeading(group.Code));
  if (!WasRead(image, group)) return html + "<p>Не считано</p>\n";
  const auto values =
      GroupValues(group, image.Config, image.ChannelCount, image.RelayCount, form.DecimalSeparator);
  html += TableStart();
  for (size_t first = 0; first < values.size(); first += RelaysPerRow) {
    const size_t last = std::min(values.size(), first + RelaysPerRow);
    std::string numbers = "<tr>" + Cell("Реле", "th");
    std::string texts = "<tr>" + Cell("", "th");
    for (size_t i = first; i < last; ++i) {
      numbers += Cell(std::to_string(i + 1), "th");
      texts += Cell(values[i].Text);
    }
    html += numbers + "</tr>\n" + texts + "</tr>\n";
  }
  return html + "</table>\n";
}

// What is not a setting of a channel: the relays' own groups and the device settings.
std::string OtherGroups(const TDataImage& image, const TTextForm& form) {
  std::string html;
  for (const TGroup* group : ConfigurationGroups()) {
    if (group->Count == TCountRule::Channels) continue;
    html += group->Count == TCountRule::Relays ? RelayRowsSection(*group, image, form)
                                               : PairSection(*group, image, form);
  }
  return html;
}

std::string ArchiveValue(float value, const std::string& separator) {
  const char* marker = ArchiveMarkerText(value);
  return marker ? marker : FixedText(value, 3, separator);
}

std::string ArchiveTable(const TDataImage& image, size_t count, int firstChannel, int lastChannel,
                         const TTextForm& form) {
  std::string html = TableStart("channels") + "<thead><tr><th>Номер</th><th>Дата и время</th>";
  for (int ch = firstChannel; ch <= lastChannel; ++ch)
    html += "<th>" + std::to_string(ch) + "</th>";
  html += "</tr></thead>\n";
  for (size_t i = 0; i < count; ++i) {
    const MeasurementRecord& r = image.ArchiveRecord(i);
    html += "<tr>" + Cell(std::to_string(r.Number)) + Cell(form.DateTimeText(r.Time));
    for (int ch = firstChannel; ch <= lastChannel; ++ch)
      html += "<td class=\"number\">" +
              EscapeHtml(ArchiveValue(r.Value[ch - 1], form.DecimalSeparator)) + "</td>";
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

// The records in tables of so many channels each, so that a table keeps to the page's width.
std::string ArchiveSection(const TDataImage& image, size_t records, const TTextForm& form) {
  std::string html = Heading("h2", "Архив измерений");
  const size_t count = std::min(records, image.ArchiveCount());
  if (count == 0) return html + "<p>Записей нет</p>\n";
  for (int first = 1; first <= image.ChannelCount; first += ArchiveChannelsPerTable) {
    const int last = std::min<int>(image.ChannelCount, first + ArchiveChannelsPerTable - 1);
    if (image.ChannelCount > ArchiveChannelsPerTable)
      html += "<p>Каналы " + std::to_string(first) + "–" + std::to_string(last) + "</p>\n";
    html += ArchiveTable(image, count, first, last, form);
  }
  return html;
}

// Each record on a row: when, who, the group, how it ended and what changed from what to what.
std::string JournalSection(const std::vector<TJournalRecord>& records) {
  std::string html = Heading("h2", "Журнал записей");
  if (records.empty()) return html + "<p>Записей нет</p>\n";
  html += "<p>Последние записи в прибор: " + std::to_string(records.size()) + "</p>\n";
  html += TableStart() + Row({"Время", "Кто", "Группа", "Итог", "Изменено"}, "th");
  for (const TJournalRecord& r : records) {
    std::string outcome = JournalOutcomeText(r.Outcome);
    if (!r.Failure.empty()) outcome += ": " + r.Failure;
    std::string changes;
    for (const TJournalChange& c : r.Changes)
      changes += (changes.empty() ? "" : "; ") + c.Element + ": " + c.Before + " → " + c.After;
    html += Row({r.Local, r.Login + ", " + r.Program + " " + r.Version, r.Group, outcome, changes});
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
  html += ChannelTable(image, form);
  html += OtherGroups(image, form);
  if (facts.ArchiveRecords > 0) html += ArchiveSection(image, facts.ArchiveRecords, form);
  if (facts.JournalRecords) html += JournalSection(*facts.JournalRecords);
  return html + "</body>\n</html>\n";
}

bool WriteConfigurationReport(const std::string& path, const std::string& html) {
  return WriteFileReplacing(path, html.data(), html.size());
}

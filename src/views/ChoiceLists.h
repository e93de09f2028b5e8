// The item captions of every choice list of the window, made from the core's texts
// (instrument/ValueTexts.h), and the names of the instrument's model and state. A
// choice-type field stores the index of its item; item k carries tag k.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace ChoiceLists {

const QStringList& SensorTypes();      // MenuTypeSensor, 48 items
const QStringList& Filters();          // MenuFilter
const QStringList& Commas();           // MenuComma
const QStringList& Relays();           // MenuRelay, ComboBox1 and ComboBox6 of the fault relays
const QStringList& ColdJunctions();    // KXCMenu
const QStringList& LogicConditions();  // MenuLogicCharter
const QStringList& LogicFaults();      // MenuLogicRelay
const QStringList& LogicFilters();     // MenuFilterReley
const QStringList& Protocols();        // ComboBox2 of the device settings
const QStringList& Speeds();           // ComboBox3 of the device settings

// The caption of item code; a code beyond the list (a file written elsewhere, a newer
// instrument) shows as the number itself so that the page still says what is stored.
QString CaptionOf(const QStringList& items, unsigned code);

// The core's model and state names (instrument/JobMessages.h) for the window; the picture of a
// state is the core's StatePicture.
QString ModelName(unsigned modelCode);
QString StateText(uint16_t deviceState);

}  // namespace ChoiceLists

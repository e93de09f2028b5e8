// What the questions before a write say under their own sentence: the instrument the write goes
// to, and the values of a configuration from a file that the instrument knows no meaning of,
// which are written only when the user says "Записать всё равно".
#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

#include "instrument/ConfigBlock.h"
#include "instrument/DataImage.h"

class QWidget;
class TMIP;
class TWindowSeam;

// "Прибор: К7104Т1, адрес 5, COM3": the model where it is known (the search's find at that
// address, or the identity last read from it), the address and the port.
QString WriteTargetText(const TMIP& mip, uint8_t address);
// "Приборы (4): адреса 1, 2, 3, 4, COM3".
QString WriteTargetsText(const TMIP& mip, const std::vector<TFoundDevice>& targets);

// The configuration groups the write job puts on the instrument whose values the data image took
// from a file: of write all every such group, of the device settings page its settings, of another
// page its own group.
QList<uint8_t> GroupsFromFile(const TDataImage& image, uint8_t writeCode);
// Every configuration group, for a whole configuration from a file.
QList<uint8_t> ConfigurationGroupCodes();

// The block's values in the given groups that no choice list holds and its floats that are NaN or
// infinite, listed by group, element and value under the target and asked about. True when there
// are none or the user confirms writing them.
bool MayWriteUnknownValues(TWindowSeam& seam, QWidget* owner, const TConfigBlock& block,
                           uint16_t channels, uint16_t relays, const QList<uint8_t>& groups,
                           const QString& target);

// A setting chosen outside the port dialog (a device bound to a Com number, a rate found by the
// search) goes into the settings file at once, beside the file's other lines.
#pragma once

#include <QString>

#include <functional>

class TIniFile;
class TWindowSeam;

// Writes the change into the settings file and reports the sentence, with the file named when it
// could not be written (then as an error).
void SaveSettingAtOnce(TWindowSeam& seam, const QString& sentence,
                       const std::function<void(TIniFile&)>& change);

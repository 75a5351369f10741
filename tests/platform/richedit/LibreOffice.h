#pragma once

#include <QString>

// Converts a file with LibreOffice (soffice --headless --convert-to) into
// outDir, with a private profile so parallel runs do not collide. Returns
// the converted file's path, or an empty string on failure.
QString convertWithLibreOffice(const QString &input, const QString &format, const QString &outDir);
bool libreOfficeAvailable();

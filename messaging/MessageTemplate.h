#pragma once

// Template files (.tpl): INI text with sections Email and Fax, holding the
// template keys and a Body key in each section with the hex-encoded body.

#include "templates/TemplateKeys.h"

#include <QDateTime>
#include <QString>

// Writes every key in file order, keys write-through so that a key that
// cannot be written leaves those before it in the file; other keys the file
// holds stay. Throws EIniFileException ("Unable to write to %s").
void WriteTemplateFile(const QString &path, const MessageTemplate &t);

// Reads every key with its default; a missing file gives every default and
// empty bodies. Bodies come back whole however long they are.
MessageTemplate ReadTemplateFile(const QString &path, const QDateTime &now);

#pragma once

#include "contacts/DbfTable.h"

#include <QVector>

// The 54 fields of the contact table, in table order, with their widths.
const QVector<FieldDef> &ContactTableFields();

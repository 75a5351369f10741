#include "contacts/ContactSchema.h"

namespace {

QVector<FieldDef> makeFields()
{
    QVector<FieldDef> fields;
    int offset = 1;
    auto add = [&](const QString &name, FieldType type, int width) {
        fields.push_back({name, type, width, 0, offset});
        offset += width;
    };
    auto five = [&](const char *prefix, FieldType type, int width) {
        for (int i = 1; i <= 5; ++i)
            add(QString::fromLatin1(prefix) + QString::number(i), type, width);
    };
    add(QStringLiteral("COMPNAME"), FieldType::Character, 50);
    add(QStringLiteral("NAME"), FieldType::Character, 50);
    add(QStringLiteral("LAST"), FieldType::Character, 50);
    add(QStringLiteral("CELLPHONE"), FieldType::Character, 15);
    add(QStringLiteral("PHONE"), FieldType::Character, 15);
    add(QStringLiteral("FAX"), FieldType::Character, 15);
    add(QStringLiteral("EMAIL"), FieldType::Character, 50);
    five("TM_CALL", FieldType::Character, 25);
    five("DUR_CALL", FieldType::Number, 4);
    five("TM_EMAIL", FieldType::Character, 25);
    five("DT_EMAIL", FieldType::Character, 25);
    five("TM_FAX", FieldType::Character, 25);
    five("DT_FAX", FieldType::Character, 25);
    five("TM_WAVE", FieldType::Character, 25);
    five("DT_WAVE", FieldType::Character, 200);
    add(QStringLiteral("CONTACTED"), FieldType::Character, 50);
    add(QStringLiteral("PERMISSION"), FieldType::Logical, 1);
    add(QStringLiteral("PERM_NO"), FieldType::Logical, 1);
    add(QStringLiteral("NOTES"), FieldType::Memo, 10);
    add(QStringLiteral("CALLBACK"), FieldType::Date, 8);
    add(QStringLiteral("FAXBACK"), FieldType::Date, 8);
    add(QStringLiteral("EMAILBACK"), FieldType::Date, 8);
    return fields;
}

} // namespace

const QVector<FieldDef> &ContactTableFields()
{
    static const QVector<FieldDef> fields = makeFields();
    return fields;
}

#pragma once

#include "FDFPDFWriter.h"

#include <QString>
#include <QStringList>

namespace testsupport {

// "name=value|type" per field of AWriter, fields joined by ";" (line breaks in values shown as \r
// and \n).
inline QString DescribeFields(const emailmarketing::TFDFWriter& AWriter) {
    QStringList fields;
    for (int i = 0; i < AWriter.Count(); ++i) {
        const emailmarketing::TFDFField* field = AWriter.GetField(i);
        QString value = field->Value();
        value.replace(QLatin1Char('\r'), QLatin1String("\\r"))
            .replace(QLatin1Char('\n'), QLatin1String("\\n"));
        fields << field->KeyName() + QLatin1Char('=') + value + QLatin1Char('|') + field->FieldType();
    }
    return fields.join(QLatin1Char(';'));
}

} // namespace testsupport

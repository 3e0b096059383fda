#include "AddressEditWindow.h"

#include "DBFieldSchema.h"
#include "ExceptionDisplay.h"
#include "QVException.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace hostapi {

namespace {
const QString DateFormat = QStringLiteral("yyyy-MM-dd");
} // namespace

AddressEditWindow::AddressEditWindow(qint64 AAddressID, QWidget* AParent)
    : QDialog(AParent), FAddressID(AAddressID), FLang(QStringLiteral("AddressEditWindow")),
      FRecordSet(QStringLiteral("pelm_addresses_ass")) {
    setObjectName(QStringLiteral("AddressEditWindow"));
    FRecordSet.Filters().Add(QStringLiteral("id"), AAddressID);
    FRecordSet.Open();
    if (FRecordSet.RecordCount() == 0)
        throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_AddressNotFound")).arg(AAddressID));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(FRecordSet.SchemaName());
    for (int i = 0; i < schema.FieldCount(); ++i) {
        const TDBFieldDef field = schema.Field(i);
        if (field.PrimaryKey || !FRecordSet.HasField(field.Name))
            continue;
        auto* edit = new QLineEdit(DisplayText(field.Name), this);
        edit->setObjectName(field.Name);
        form->addRow(field.Caption, edit);
        FEdits.insert(field.Name, edit);
    }
    FButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(FButtons);
    connect(FButtons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this,
            &AddressEditWindow::btnOKClick);
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    SetLanguage(FLang.Language());
}

AddressEditWindow::~AddressEditWindow() = default;

void AddressEditWindow::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    setWindowTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    FButtons->button(QDialogButtonBox::Ok)->setText(FLang.Text(QStringLiteral("IDS_OK")));
    FButtons->button(QDialogButtonBox::Cancel)->setText(FLang.Text(QStringLiteral("IDS_Cancel")));
}

QLineEdit* AddressEditWindow::Edit(const QString& AFieldName) const {
    return FEdits.value(AFieldName);
}

QString AddressEditWindow::DisplayText(const QString& AFieldName) const {
    const QVariant value = FRecordSet.FieldValue(AFieldName);
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date().toString(DateFormat);
    return value.toString();
}

QVariant AddressEditWindow::ValueOf(const QString& AFieldName, const QString& AText) const {
    const QString text = AText.trimmed();
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(FRecordSet.SchemaName());
    const TFieldDataType type = schema.FieldType(AFieldName);
    if (text.isEmpty())
        return {};
    bool ok = true;
    QVariant value;
    switch (type) {
    case TFieldDataType::fdtInteger:
        value = text.toLongLong(&ok);
        break;
    case TFieldDataType::fdtFloat:
        value = text.toDouble(&ok);
        break;
    case TFieldDataType::fdtDateTime: {
        const QDate date = QDate::fromString(text, DateFormat);
        ok = date.isValid();
        value = QDateTime(date, QTime(0, 0));
        break;
    }
    case TFieldDataType::fdtText:
        return AText;
    case TFieldDataType::fdtBytes:
        return AText.toUtf8();
    }
    if (!ok)
        throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_InvalidValue"))
                                          .arg(AText, schema.Field(schema.IndexOfField(AFieldName)).Caption));
    return value;
}

void AddressEditWindow::Save() {
    QList<QPair<QString, QVariant>> changes;
    for (auto it = FEdits.constBegin(); it != FEdits.constEnd(); ++it) {
        if (it.value()->text() == DisplayText(it.key()))
            continue;
        changes.append({it.key(), ValueOf(it.key(), it.value()->text())});
    }
    if (changes.isEmpty())
        return;
    FRecordSet.Edit();
    try {
        for (const auto& [field, value] : changes)
            FRecordSet.SetFieldValue(field, value);
        FRecordSet.Post();
    } catch (...) {
        FRecordSet.Cancel();
        throw;
    }
}

void AddressEditWindow::btnOKClick() {
    try {
        Save();
        accept();
    } catch (...) {
        TVRNExceptionUtils::ShowCurrent();
    }
}

} // namespace hostapi

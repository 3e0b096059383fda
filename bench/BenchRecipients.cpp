#include "BenchRecipients.h"

#include "BaseEmailSender.h"
#include "Database.h"
#include "DBFieldSchema.h"

#include <algorithm>
#include <utility>

using namespace emailmarketing;

namespace bench {

namespace {

const char* const Cities[] = {"Köln", "Bonn", "Berlin", "München", "Hamburg", "Zürich", "Wien", "Basel"};
const char* const Countries[] = {"DE", "DE", "DE", "DE", "DE", "CH", "AT", "CH"};

} // namespace

const QStringList FieldMacros{"COMPANYNAME", "NAME",    "SURNAME", "STREET", "ZIPCODE",
                              "CITY",        "COUNTRY", "PHONE",   "EMAIL1", "TITLE"};

void AddRecipients(int ACount) {
    const QString sql =
        QStringLiteral("INSERT INTO \"pelm_addresses_ass\" (\"companyname\", \"name\", \"surname\", "
                       "\"street\", \"zipcode\", "
                       "\"city\", \"country\", \"phone\", \"email1\", \"salutation\", \"title\") "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    constexpr int PerTransaction = 10000;
    for (int first = 0; first < ACount; first += PerTransaction) {
        hostapi::Transaction transaction;
        for (int i = first; i < std::min(ACount, first + PerTransaction); ++i) {
            const int c = i % 8;
            hostapi::Database::Exec(
                sql, {QStringLiteral("Firma %1 GmbH").arg(i / 3), QStringLiteral("Müller-%1").arg(i),
                      QStringLiteral("Anna"), QStringLiteral("Hauptstraße %1").arg(i % 200 + 1),
                      QStringLiteral("%1").arg(10000 + i % 89999), QString::fromUtf8(Cities[c]),
                      QString::fromLatin1(Countries[c]), QStringLiteral("+49 221 %1").arg(i),
                      QStringLiteral("kunde%1@beispiel%2.de").arg(i).arg(i % 50),
                      i % 2 ? QStringLiteral("F") : QStringLiteral("M"),
                      i % 5 ? QString() : QStringLiteral("Dr.")});
        }
        transaction.Commit();
    }
}

TMacroList ListMacros() {
    TMacroList macros;
    TMacroItem* salutation = macros.Add();
    salutation->SetMacroName(QStringLiteral("ANREDE"));
    TMacroConditionItem* woman = salutation->Add();
    woman->SetCondition(maEQ);
    woman->SetValue1IsField(true);
    woman->SetConditionValue1(QStringLiteral("salutation"));
    woman->SetConditionValue2(QStringLiteral("F"));
    woman->SetMacroValue(QStringLiteral("Sehr geehrte Frau"));
    salutation->Add()->SetMacroValue(QStringLiteral("Sehr geehrter Herr"));
    TMacroItem* greeting = macros.Add();
    greeting->SetMacroName(QStringLiteral("GRUSS"));
    TMacroConditionItem* swiss = greeting->Add();
    swiss->SetCondition(maEQ);
    swiss->SetValue1IsField(true);
    swiss->SetConditionValue1(QStringLiteral("country"));
    swiss->SetConditionValue2(QStringLiteral("CH"));
    swiss->SetMacroValue(QStringLiteral("Freundliche Grüsse"));
    greeting->Add()->SetMacroValue(QStringLiteral("Mit freundlichen Grüßen"));
    return macros;
}

std::shared_ptr<TEmailListItem> RecipientList(int APacket) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
    list->SetName(QStringLiteral("Kunden"));
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(true);
    list->SetMailsPerUnit(APacket);
    list->SetUseGlobalRegisterService(false);
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Muster AG"));
    list->SetUserMacros(ListMacros());
    return list;
}

QString HtmlBody(int ASize) {
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Angebot</title></head><body>"
                                  "<p>%ANREDE% %TITLE% %NAME%,</p><p>");
    for (const QString& field : FieldMacros)
        html += QStringLiteral("<span class=\"f\">%") + field + QStringLiteral("%</span> ");
    html += QStringLiteral("</p>");
    const QString paragraph = QStringLiteral(
        "<p>Wir freuen uns, Ihnen unser neues Angebot für das kommende Jahr vorzustellen. Unsere Beratung "
        "steht Ihnen jederzeit zur Verfügung; bitte wenden Sie sich an Ihre Ansprechpartnerin.</p>\n");
    while (html.size() < ASize)
        html += paragraph;
    html += QStringLiteral("<p>%GRUSS%</p></body></html>");
    return html;
}

QString Personalised(const QString& AText) {
    // The values AddRecipients writes for row 1 and the list macros' answers for them.
    static const QList<std::pair<QString, QString>> values{
        {QStringLiteral("%COMPANYNAME%"), QStringLiteral("Firma 0 GmbH")},
        {QStringLiteral("%NAME%"), QStringLiteral("Müller-1")},
        {QStringLiteral("%SURNAME%"), QStringLiteral("Anna")},
        {QStringLiteral("%STREET%"), QStringLiteral("Hauptstraße 2")},
        {QStringLiteral("%ZIPCODE%"), QStringLiteral("10001")},
        {QStringLiteral("%CITY%"), QString::fromUtf8(Cities[1])},
        {QStringLiteral("%COUNTRY%"), QString::fromLatin1(Countries[1])},
        {QStringLiteral("%PHONE%"), QStringLiteral("+49 221 1")},
        {QStringLiteral("%EMAIL1%"), QStringLiteral("kunde1@beispiel1.de")},
        {QStringLiteral("%TITLE%"), QString()},
        {QStringLiteral("%ANREDE%"), QStringLiteral("Sehr geehrte Frau")},
        {QStringLiteral("%GRUSS%"), QStringLiteral("Mit freundlichen Grüßen")}};
    QString text = AText;
    for (const auto& [macro, value] : values)
        text.replace(macro, value);
    return text;
}

void SetTemplate(TBaseEmailSender& AJob, int AHtmlSize, const QString& AAttachment) {
    AJob.SetSubject(QStringLiteral("Ihr Angebot, %NAME%"));
    AJob.SetContent(QStringLiteral("%ANREDE% %NAME%,\r\nIhr Angebot finden Sie im Anhang.\r\n%GRUSS%"));
    AJob.SetHTMLContent(HtmlBody(AHtmlSize));
    for (const QString& field : FieldMacros)
        AJob.UsedMakros().append({QLatin1Char('%') + field + QLatin1Char('%'), mkField});
    AJob.UsedMakros().append({QStringLiteral("%ANREDE%"), mkListMacro});
    AJob.UsedMakros().append({QStringLiteral("%GRUSS%"), mkListMacro});
    if (!AAttachment.isEmpty()) {
        TAttachement* brochure = AJob.Attachements().Add();
        brochure->SetFileName(QStringLiteral("Prospekt.pdf"));
        brochure->SetLocalFile(AAttachment);
    }
}

} // namespace bench

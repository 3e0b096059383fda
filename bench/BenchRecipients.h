#pragma once

// The recipients and the template the preparation and mailing benchmarks share: address rows in
// "pelm_addresses_ass", a list on them with two conditional list macros, and a 5 KB HTML template
// with 10 field macros.

#include "EmailListItem.h"
#include "MacroList.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace emailmarketing {
class TBaseEmailSender;
}

namespace bench {

// The field macros of the template, by field name.
extern const QStringList FieldMacros;

// Writes ACount address rows (ids in order), e-mail addresses kunde<i>@beispiel<i % 50>.de, in one
// transaction per 10 000 rows.
void AddRecipients(int ACount);

// "Sehr geehrte Frau" / "Sehr geehrter Herr" by salutation; a greeting by country.
emailmarketing::TMacroList ListMacros();

// A list on the address rows: e-mail field "email1", the list macros, packets of APacket.
std::shared_ptr<emailmarketing::TEmailListItem> RecipientList(int APacket);

// About ASize characters of HTML: the 12 macros in the first paragraphs, then text to the size.
QString HtmlBody(int ASize);

// AText with the field and list macros of the template replaced by the first recipient's values
// (what its document carries).
QString Personalised(const QString& AText);

// Gives AJob the template: subject and plain body with macros, the HTML body of AHtmlSize, the
// used macros, and (when not empty) AAttachment as an attachment without macros.
void SetTemplate(emailmarketing::TBaseEmailSender& AJob, int AHtmlSize, const QString& AAttachment);

} // namespace bench

#pragma once

// GLib's headers (through GMime) name struct members "signals", a keyword macro of Qt's headers:
// include this header before any Qt header.
#include <gmime/gmime.h>

#include "MailAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// Small helpers shared by the units that build and read messages with GMime.
namespace emailmarketing::gmime {

struct GObjectUnref {
    void operator()(gpointer AObject) const { g_object_unref(AObject); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

// A header value on one line, UTF-8: CR and LF become blanks.
QByteArray HeaderValue(const QString& AText);

// Appends the mailboxes to the address list (names and addresses on one line).
void AddMailboxes(InternetAddressList* AList, const QList<MailAddress>& AAddresses);
// The mailboxes of an address list; groups are flattened, entries without an address skipped.
QList<MailAddress> Mailboxes(InternetAddressList* AList);

// The content of a file that a message carries. EQVException naming the file when it cannot be read.
QByteArray ReadPartFile(const QString& ALocalFile);

// Sets the part's (decoded) content.
void SetContent(GMimePart* APart, const QByteArray& AContent);

// A text/ASubtype part of AText (up to its first NUL), as g_mime_text_part_set_text followed by
// the best 7-bit transfer encoding gives it: charset "us-ascii", "iso-8859-1" or "utf-8" by the
// highest character, the content in that charset. Without GMime's character-by-character charset
// pass and its conversion filter, which ran again each time the part was read.
GMimeTextPart* NewTextPart(const char* ASubtype, const QString& AText);

// ASecs since the epoch at AOffsetSeconds from UTC; the caller unrefs it.
GDateTime* NewDateTime(qint64 ASecs, int AOffsetSeconds);

// The object as MIME text with CRLF line ends. EQVException when GMime cannot write it.
QByteArray WriteToBytes(GMimeObject* AObject);

} // namespace emailmarketing::gmime

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace emailmarketing {

// An embedded image of a template ("emlembededcontent": "contentfilename", "contentdata").
struct TEmbeddedImage {
    QString FileName;
    QByteArray Data;
    bool operator==(const TEmbeddedImage&) const = default;
};

// A template body's form and its conversions between the stored styles, without widgets or the
// database: RTF to HTML with its images as separate files, HTML with "%IMAGEPATH%" references to
// RTF with the images embedded, and the image files of a folder.
namespace TemplateContent {

// The marker in front of an image file name in a stored HTML body.
inline const QString ImagePathMacro = QStringLiteral("%IMAGEPATH%");

// True when the body is RTF: it begins with "{\rtf" after white space and a byte order mark.
bool IsRtfBody(const QString& ABody);

// The file name part of a stored image name ("../x.png" and "a\\x.png" give "x.png"); empty when
// no usable name remains ("", "..", "a/").
QString SafeImageName(const QString& AName);

// Writes the images into AFolder (a trailing separator optional) under their safe names; an image
// without a usable name is left out. Throws EQVException when a file cannot be written.
void WriteImages(const QList<TEmbeddedImage>& AImages, const QString& AFolder);
// The files ANames of AFolder as images (names that are no plain file name are left out).
QList<TEmbeddedImage> ReadImages(const QString& AFolder, const QStringList& ANames);

// Every src attribute whose quoted value is exactly one of ANames gets ImagePathMacro in front.
QString ReferenceImages(const QString& AHtml, const QStringList& ANames);

// An RTF body as HTML. AKeepImages: its pictures become images referenced as ImagePathMacro + file
// name; without, the pictures are dropped and Images stays empty.
struct THtmlBody {
    QString Html;
    QList<TEmbeddedImage> Images;
    bool HadImages = false; // the RTF held pictures
};
THtmlBody RtfToHtml(const QString& ARtf, bool AKeepImages);
// An HTML body whose images read ImagePathMacro + file name as RTF with those images embedded.
QString HtmlToRtf(const QString& AHtml, const QList<TEmbeddedImage>& AImages);

} // namespace TemplateContent

} // namespace emailmarketing

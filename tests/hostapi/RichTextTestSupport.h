#pragma once

// Helpers of the rich-text tests: fixtures and what a document holds.

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace richtexttest {

inline QByteArray Fixture(const QString& AName) {
    QFile file(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/rtf/") + AName);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Missing fixture %s", qPrintable(AName));
    return file.readAll();
}

// A picture of one colour as PNG bytes.
inline QByteArray Png(int AWidth, int AHeight, QColor AColor) {
    QImage image(AWidth, AHeight, QImage::Format_RGB32);
    image.fill(AColor);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The format of the first character of AText in the document.
inline QTextCharFormat FormatOf(const QTextDocument& ADocument, const QString& AText) {
    const QTextCursor found = ADocument.find(AText);
    if (found.isNull())
        return {};
    QTextCursor cursor(found);
    cursor.setPosition(found.selectionStart() + 1);
    return cursor.charFormat();
}

inline QList<QTextImageFormat> ImagesOf(const QTextDocument& ADocument) {
    QList<QTextImageFormat> images;
    for (QTextBlock block = ADocument.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                images += it.fragment().charFormat().toImageFormat();
        }
    }
    return images;
}

inline QTextTable* FirstTable(const QTextDocument& ADocument) {
    for (QTextFrame* frame : ADocument.rootFrame()->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(frame))
            return table;
    }
    return nullptr;
}

inline QString CellText(QTextTable* ATable, int ARow, int AColumn) {
    QTextCursor cursor = ATable->cellAt(ARow, AColumn).firstCursorPosition();
    cursor.setPosition(ATable->cellAt(ARow, AColumn).lastPosition(), QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

} // namespace richtexttest

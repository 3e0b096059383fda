#pragma once

// Helpers of the editor tests: synthetic drags as the window system delivers them, pictures of one
// colour, and whether a grabbed picture shows a colour.

#include "RichTextTestSupport.h"

#include <QApplication>
#include <QColor>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QTest>
#include <QTextCursor>
#include <QWidget>

namespace editortest {

// The MIME type of the test's macro drags.
inline const QString MacroMime = QStringLiteral("application/x-qv-test-macro");

inline QMimeData* MacroData(const QString& AText) {
    auto* data = new QMimeData;
    data->setData(MacroMime, AText.toUtf8());
    return data;
}

inline QMimeData* PlainData(const QString& AText) {
    auto* data = new QMimeData;
    data->setText(AText);
    return data;
}

struct DragResult {
    bool EnterAccepted = false;
    bool MoveAccepted = false;
    bool DropAccepted = false;
};

// Enters AViewport at APos, moves there and drops AData (taken over).
inline DragResult DragAndDrop(QWidget* AViewport, const QPoint& APos, QMimeData* AData) {
    DragResult result;
    const QPointF pos(APos);
    QDragEnterEvent enter(APos, Qt::CopyAction, AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(AViewport, &enter);
    result.EnterAccepted = enter.isAccepted();
    QDragMoveEvent move(APos, Qt::CopyAction, AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(AViewport, &move);
    result.MoveAccepted = move.isAccepted();
    if (result.MoveAccepted) {
        QDropEvent drop(pos, Qt::CopyAction, AData, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(AViewport, &drop);
        result.DropAccepted = drop.isAccepted();
    } else {
        QDragLeaveEvent leave;
        QApplication::sendEvent(AViewport, &leave);
    }
    delete AData;
    return result;
}

inline QByteArray PngOf(const QColor& AColor, int ASize = 24) {
    return richtexttest::Png(ASize, ASize, AColor);
}

// Viewport point of the character at APosition of a text edit.
template <class TEdit> QPoint PointOf(TEdit& AEditor, int APosition) {
    QTextCursor cursor(AEditor.document());
    cursor.setPosition(APosition);
    return AEditor.cursorRect(cursor).center();
}

// A drop handler that inserts the text of the test's macro drags and leaves every other drag alone.
inline QString MacroText(QObject* /*ASource*/, const QMimeData* AData) {
    return AData->hasFormat(MacroMime) ? QString::fromUtf8(AData->data(MacroMime)) : QString();
}

// The rows of a grab in both languages: column "language".
inline void LanguageRows() {
    QTest::addColumn<QString>("language");
    QTest::newRow("German") << QStringLiteral("German");
    QTest::newRow("English") << QStringLiteral("English");
}

inline bool Shows(const QImage& AImage, const QColor& AColor) {
    for (int y = 0; y < AImage.height(); ++y)
        for (int x = 0; x < AImage.width(); ++x)
            if (QColor(AImage.pixel(x, y)) == AColor)
                return true;
    return false;
}

} // namespace editortest

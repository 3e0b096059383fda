#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QTest>
#include <QWidget>

// Helpers of the window tests: controls by their design names, clicks as a user makes them, and the
// grabbed pictures in the build folder.
namespace testsupport {

// The child AName of AWindow; ends the test program when the window has none (a renamed control).
template <class T> T* Find(QWidget& AWindow, const char* AName) {
    T* widget = AWindow.findChild<T*>(QString::fromLatin1(AName));
    if (!widget)
        qFatal("%s has no control %s", qPrintable(AWindow.objectName()), AName);
    return widget;
}

// A left click in the middle of AName; a disabled control fails the test.
inline void Click(QWidget& AWindow, const char* AName) {
    QWidget* widget = Find<QWidget>(AWindow, AName);
    QVERIFY2(widget->isEnabled(), AName);
    QTest::mouseClick(widget, Qt::LeftButton);
}

// Shows AWindow and saves its picture as <folder>/<object name>_<language>.png.
inline bool SaveGrab(QWidget& AWindow, const QString& AFolder, const QString& ALanguage) {
    AWindow.show();
    if (!QTest::qWaitForWindowExposed(&AWindow) || !QDir().mkpath(AFolder))
        return false;
    // Texts changed since the last event loop (a language switch) have not yet resized their
    // layouts; the user sees the window only after they have.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return AWindow.grab().save(QStringLiteral("%1/%2_%3.png").arg(AFolder, AWindow.objectName(), ALanguage),
                               "PNG");
}

} // namespace testsupport

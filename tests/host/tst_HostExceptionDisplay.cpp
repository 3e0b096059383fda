#include "HostExceptionDisplay.h"

#include "support/HostDoubles.h"

#include <QtTest>

using qvhost::HostExceptionDisplay;

// Every exception the host shows is kept in the message sink; it reaches a box where the platform
// shows windows and standard error where it does not.
class tst_HostExceptionDisplay : public QObject {
    Q_OBJECT

private slots:
    void showsWindows_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("shows");
        QTest::newRow("offscreen") << "offscreen" << false;
        QTest::newRow("minimal") << "minimal" << false;
        QTest::newRow("xcb") << "xcb" << true;
        QTest::newRow("wayland") << "wayland" << true;
    }

    void showsWindows() {
        QFETCH(QString, platform);
        QFETCH(bool, shows);
        QCOMPARE(HostExceptionDisplay::ShowsWindows(platform), shows);
    }

    void exceptionReachesSinkAndOneOutput_data() {
        QTest::addColumn<bool>("windows");
        QTest::addColumn<bool>("userMessage");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("error in a box") << true << false << "Das Modul a.so konnte nicht geladen werden."
                                        << "Das Modul a.so konnte nicht geladen werden. kaputt";
        QTest::newRow("error without windows") << false << false << "Der Host konnte nicht gestartet werden."
                                               << "Der Host konnte nicht gestartet werden. kaputt";
        QTest::newRow("notice without caption") << false << true << ""
                                                << "kaputt";
    }

    void exceptionReachesSinkAndOneOutput() {
        QFETCH(bool, windows);
        QFETCH(bool, userMessage);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        testsupport::RecordingExceptionDisplay dialogs;
        testsupport::RecordingMessageSink sink;
        QStringList errorOutput;
        HostExceptionDisplay display(windows ? &dialogs : nullptr, sink,
                                     [&errorOutput](const QString& AText) { errorOutput.append(AText); });
        hostapi::ShownException shown;
        shown.Caption = caption;
        shown.Message = QStringLiteral("kaputt");
        shown.UserMessage = userMessage;
        display.ShowException(shown);

        QCOMPARE(sink.Messages().size(), 1);
        QCOMPARE(sink.Messages().first().Text, text);
        QCOMPARE(sink.Messages().first().Kind,
                 userMessage ? hostapi::MessageKind::Info : hostapi::MessageKind::Error);
        QCOMPARE(dialogs.Records().size(), windows ? 1 : 0);
        QCOMPARE(errorOutput, windows ? QStringList() : QStringList{text});
    }
};

QTEST_GUILESS_MAIN(tst_HostExceptionDisplay)
#include "tst_HostExceptionDisplay.moc"

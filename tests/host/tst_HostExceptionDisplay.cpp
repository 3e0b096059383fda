#include "HostExceptionDisplay.h"
#include "MessageLogModel.h"

#include "support/HostDoubles.h"

#include <QAbstractItemModelTester>
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
        // The caption stays apart from the message: the "Protokoll" shows it in a column of its own.
        QCOMPARE(sink.Messages().first().Caption, caption);
        QCOMPARE(sink.Messages().first().Text, QStringLiteral("kaputt"));
        QCOMPARE(sink.Messages().first().Kind,
                 userMessage ? hostapi::MessageKind::Info : hostapi::MessageKind::Error);
        QCOMPARE(dialogs.Records().size(), windows ? 1 : 0);
        QCOMPARE(errorOutput, windows ? QStringList() : QStringList{text});
    }

    // What the "Protokoll" shows of a shown exception: the caption in its own column, the message
    // beside it; a message without a caption leaves that column empty.
    void logShowsCaptionInItsOwnColumn() {
        hostapi::MessageSink sink;
        HostExceptionDisplay display(nullptr, sink, [](const QString&) {});
        qvhost::MessageLogModel model(sink);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        hostapi::ShownException shown;
        shown.Caption = QStringLiteral("Versand");
        shown.Message = QStringLiteral("Das Fenster ist noch nicht verfügbar.");
        display.ShowException(shown);
        sink.AddMessage(QStringLiteral("Abruf fehlgeschlagen"), hostapi::MessageKind::Warning);
        QTRY_COMPARE(model.rowCount(), 2);

        using Log = qvhost::MessageLogModel;
        QCOMPARE(model.headerData(Log::colCaption, Qt::Horizontal).toString(), QStringLiteral("Titel"));
        QCOMPARE(model.headerData(Log::colText, Qt::Horizontal).toString(), QStringLiteral("Meldung"));
        QCOMPARE(model.index(0, Log::colCaption).data().toString(), QStringLiteral("Versand"));
        QCOMPARE(model.index(0, Log::colText).data().toString(),
                 QStringLiteral("Das Fenster ist noch nicht verfügbar."));
        QCOMPARE(model.index(0, Log::colKind).data().toString(), QStringLiteral("Fehler"));
        QCOMPARE(model.index(1, Log::colCaption).data().toString(), QString());
        QCOMPARE(model.index(1, Log::colText).data().toString(), QStringLiteral("Abruf fehlgeschlagen"));
        model.SetLanguage(QStringLiteral("English"));
        QCOMPARE(model.headerData(Log::colCaption, Qt::Horizontal).toString(), QStringLiteral("Caption"));
    }
};

QTEST_GUILESS_MAIN(tst_HostExceptionDisplay)
#include "tst_HostExceptionDisplay.moc"

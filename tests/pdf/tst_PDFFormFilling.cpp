// PDF forms with pdftk itself: dumping the test form, filling it through the replacer and dumping
// the result, passwords, a path pdftk must read as UTF-8, and pdftk's own failures.

#include "PDFFileMacroReplacer.h"
#include "PDFTK.h"

#include "QVException.h"
#include "ThrownMessage.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;
using testsupport::ThrownMessage;

namespace {

const QString Form = QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/form.pdf");

QString Pdftk() {
    return QStandardPaths::findExecutable(QStringLiteral("pdftk"));
}

// Name -> value of the fields pdftk dumps from APdf.
QMap<QString, QString> Dump(const QString& APdf, const QString& APassword = QString()) {
    TPDFTK driver;
    driver.SetPDFTKPath(Pdftk());
    driver.SetOperation(opDumpDataFields);
    driver.SetInputPassword(APassword);
    driver.Execute(APdf, QString());
    QMap<QString, QString> fields;
    for (int i = 0; i < driver.FDF().Count(); ++i)
        fields.insert(driver.FDF().GetField(i)->KeyName(), driver.FDF().GetField(i)->Value());
    return fields;
}

} // namespace

class tst_PDFFormFilling : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (Pdftk().isEmpty())
            QFAIL("pdftk is not installed (Debian package pdftk-java)");
    }

    void dumpsTheForm() {
        TPDFTK driver;
        driver.SetPDFTKPath(Pdftk());
        driver.SetOperation(opDumpDataFields);
        driver.Execute(Form, QString());
        QStringList names;
        for (int i = 0; i < driver.FDF().Count(); ++i)
            names << driver.FDF().GetField(i)->KeyName();
        QCOMPARE(names, (QStringList{"Name", "Anrede", "Straße", "Firma", "Notiz", "Leer"}));
        QCOMPARE(driver.FDF().FieldByName(QStringLiteral("Firma"))->Value(), QStringLiteral("A & B <x> Ä"));
        QCOMPARE(driver.FDF().FieldByName(QStringLiteral("Straße"))->Value(),
                 QStringLiteral("Hauptstraße 1"));
        QCOMPARE(driver.FDF().FieldByName(QStringLiteral("Notiz"))->Value(),
                 QStringLiteral("Erste Zeile\nZweite Zeile für %NAME%\n--- keine Trennung"));
        QCOMPARE(driver.FDF().FieldByName(QStringLiteral("Name"))->FieldType(), QStringLiteral("Text"));
    }

    void fillsRecipientValues_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("umlaut") << QStringLiteral("Müller");
        QTest::newRow("PDF string delimiters") << QStringLiteral("O'Neil (A) \\ B) (");
        QTest::newRow("beyond Windows-1252")
            << QStringLiteral("Łódź € ") + QString::fromUcs4(U"\U0001F600", 1);
    }
    void fillsRecipientValues() {
        QFETCH(QString, value);
        QTemporaryDir dir;
        TPDFFileMacroReplacer replacer;
        replacer.SetSourceFile(Form);
        QVERIFY(replacer.RequiresMacro(QStringLiteral("%NAME%")));
        replacer.ReplaceMacroValue(QStringLiteral("%NAME%"), value);
        const QString out = dir.filePath(QStringLiteral("Müller Brief.pdf"));
        replacer.SaveToFile(out);
        const QMap<QString, QString> fields = Dump(out);
        QCOMPARE(fields.value(QStringLiteral("Name")), value);
        QCOMPARE(fields.value(QStringLiteral("Anrede")), QStringLiteral("Sehr geehrte/r ") + value);
        QCOMPARE(fields.value(QStringLiteral("Notiz")), QStringLiteral("Erste Zeile\nZweite Zeile für ") +
                                                            value + QStringLiteral("\n--- keine Trennung"));
        // The other fields keep their values.
        QCOMPARE(fields.value(QStringLiteral("Firma")), QStringLiteral("A & B <x> Ä"));
        QCOMPARE(fields.value(QStringLiteral("Straße")), QStringLiteral("Hauptstraße 1"));
    }

    void fillsAFieldWithANonAsciiName() {
        QTemporaryDir dir;
        TPDFTK driver;
        driver.SetPDFTKPath(Pdftk());
        driver.SetOperation(opDumpDataFields);
        driver.Execute(Form, QString());
        driver.FDF().FieldByName(QStringLiteral("Straße"))->SetValue(QStringLiteral("Ulica Łódzka 5"));
        driver.SetOperation(opFillForm);
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        driver.Execute(Form, out);
        QCOMPARE(Dump(out).value(QStringLiteral("Straße")), QStringLiteral("Ulica Łódzka 5"));
    }

    void encryptsAndReadsWithPassword() {
        QTemporaryDir dir;
        const QString encrypted = dir.filePath(QStringLiteral("encrypted.pdf"));
        TPDFFileMacroReplacer replacer;
        replacer.SetSettings({QStringLiteral("Encryption=2"), QStringLiteral("OwnerPassword=Besitzer 1"),
                              QStringLiteral("UserPassword=Öffnen-2"), QStringLiteral("Permissions=0,7")});
        replacer.SetSourceFile(Form);
        replacer.ReplaceMacroValue(QStringLiteral("%NAME%"), QStringLiteral("Müller"));
        replacer.SaveToFile(encrypted);

        // Without the password pdftk refuses; the text names the call but no password.
        const QString refused = ThrownMessage([&] { Dump(encrypted); });
        QVERIFY2(refused.startsWith(QStringLiteral("PDFTK.EXE has terminated with ExitCode '")),
                 qPrintable(refused));
        QVERIFY(refused.contains(QStringLiteral("OWNER OR USER PASSWORD REQUIRED")));
        QCOMPARE(Dump(encrypted, QStringLiteral("Öffnen-2")).value(QStringLiteral("Name")),
                 QStringLiteral("Müller"));

        // The encrypted form as source: its fields are read and filled with the input password.
        TPDFFileMacroReplacer second;
        second.SetSettings({QStringLiteral("InputPassword=Öffnen-2")});
        second.SetSourceFile(encrypted);
        QVERIFY(second.RequiresMacro(QStringLiteral("Müller")));
        second.ReplaceMacroValue(QStringLiteral("Müller"), QStringLiteral("Schmidt"));
        const QString out = dir.filePath(QStringLiteral("second.pdf"));
        second.SaveToFile(out);
        QCOMPARE(Dump(out, QStringLiteral("Öffnen-2")).value(QStringLiteral("Name")),
                 QStringLiteral("Schmidt"));

        const QString wrong = ThrownMessage([&] { Dump(encrypted, QStringLiteral("falsch")); });
        QVERIFY2(wrong.contains(QStringLiteral("but incorrect")), qPrintable(wrong));
        QVERIFY(!wrong.contains(QStringLiteral("falsch")));
    }

    void pathsReadAsUtf8WhateverTheLocale() {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("Formular für Müller.pdf"));
        QVERIFY(QFile::copy(Form, copy));
        qputenv("LC_ALL", "C");
        const QMap<QString, QString> fields = Dump(copy);
        qunsetenv("LC_ALL");
        QCOMPARE(fields.value(QStringLiteral("Name")), QStringLiteral("%NAME%"));
    }

    void failures_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("not a PDF") << QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/make-form.py")
                                   << QStringLiteral("PDFTK.EXE has terminated with ExitCode '");
        QTest::newRow("missing file") << QStringLiteral("/nonexistent/form.pdf")
                                      << QStringLiteral("PDFTK.EXE has terminated with ExitCode '");
    }
    void failures() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString message = ThrownMessage([&] { Dump(input); });
        QVERIFY2(message.startsWith(expected), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("\r\nCall: \"") + Pdftk() + QStringLiteral("\" \"") + input),
                 qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("No output created")));
    }

    void fillIntoAMissingFolderFails() {
        TPDFTK driver;
        driver.SetPDFTKPath(Pdftk());
        driver.SetOperation(opFillForm);
        const QString message =
            ThrownMessage([&] { driver.Execute(Form, QStringLiteral("/nonexistent/dir/out.pdf")); });
        QVERIFY2(message.startsWith(QStringLiteral("PDFTK.EXE has terminated with ExitCode '1'!")),
                 qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(tst_PDFFormFilling)
#include "tst_PDFFormFilling.moc"

// The rules of an attachment row: its file-name part, which settings frame it asks for, and the
// replacer settings text as stored in "filemrsettings".
#include "CustomFileMacroReplacer.h"
#include "MailingAttachmentRules.h"
#include "PDFFileMacroReplacer.h"

#include <QtTest>

using namespace emailmarketing;

class tst_MailingAttachmentRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterPDFFileMacroReplacer(); }
    void cleanupTestCase() { UnRegisterPDFFileMacroReplacer(); }

    void fileNamePart_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::newRow("absolute path") << "/data/Angebot.pdf"
                                       << "Angebot.pdf"
                                       << ".pdf";
        QTest::newRow("macro name") << "/data/[Name].PDF"
                                    << "[Name].PDF"
                                    << ".PDF";
        QTest::newRow("two dots") << "/data/a.tar.gz"
                                  << "a.tar.gz"
                                  << ".gz";
        QTest::newRow("dot in a folder only") << "/data.d/readme"
                                              << "readme"
                                              << "";
        QTest::newRow("no folder") << "x.txt"
                                   << "x.txt"
                                   << ".txt";
        QTest::newRow("folder") << "/data/"
                                << ""
                                << "";
    }
    void fileNamePart() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, ext);
        QCOMPARE(TMailingAttachmentRules::FileNamePart(path), name);
        QCOMPARE(TMailingAttachmentRules::FileExt(path), ext);
    }

    void frameClass_data() {
        QTest::addColumn<QVariant>("useMacros");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("pdfFrame");
        QTest::newRow("personalised pdf") << QVariant(qint64(2)) << "x.pdf" << true;
        QTest::newRow("personalised pdf with macro name") << QVariant(qint64(2)) << "[Name].pdf" << true;
        QTest::newRow("not personalised pdf") << QVariant(qint64(1)) << "x.pdf" << false;
        QTest::newRow("no personalisation value") << QVariant() << "x.pdf" << false;
        QTest::newRow("personalised text file") << QVariant(qint64(2)) << "x.txt" << false;
        QTest::newRow("personalised file without extension") << QVariant(qint64(2)) << "pdf" << false;
    }
    void frameClass() {
        QFETCH(QVariant, useMacros);
        QFETCH(QString, fileName);
        QFETCH(bool, pdfFrame);
        const TCustomFileMacroReplacerConfigFormClass* cls =
            TMailingAttachmentRules::ConfigFormClassFor(useMacros, fileName);
        QCOMPARE(cls, pdfFrame ? TPDFFileMacroReplacer::GetConfigFormClass() : nullptr);
    }

    void settingsText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF lines") << "Flatten=1\r\nEncryption=2\r\n"
                                     << QStringList{"Flatten=1", "Encryption=2"};
        QTest::newRow("last line without end")
            << "Flatten=1\r\nEncryption=2" << QStringList{"Flatten=1", "Encryption=2"};
        QTest::newRow("LF lines") << "Flatten=1\nEncryption=2\n" << QStringList{"Flatten=1", "Encryption=2"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("password beyond one byte") << QString::fromUtf8("OwnerPassword=Grüße€ж\r\n")
                                                  << QStringList{QString::fromUtf8("OwnerPassword=Grüße€ж")};
    }
    void settingsText() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(TMailingAttachmentRules::SettingsFromText(text), lines);
        QCOMPARE(TMailingAttachmentRules::SettingsFromText(TMailingAttachmentRules::SettingsToText(lines)),
                 lines);
    }

    void settingsAreWrittenAsCrLfLines() {
        QCOMPARE(TMailingAttachmentRules::SettingsToText({"Flatten=1", "Permissions=8,1"}),
                 QStringLiteral("Flatten=1\r\nPermissions=8,1\r\n"));
        QCOMPARE(TMailingAttachmentRules::SettingsToText({}), QString());
    }
};

QTEST_MAIN(tst_MailingAttachmentRules)
#include "tst_MailingAttachmentRules.moc"

// The application-folder marker of stored attachment paths: expanded only at the start and only
// as "$APP$", contracted only for paths inside the folder, both case-sensitively.
#include "AttachmentPathRules.h"

#include <QtTest>

using namespace emailmarketing;

class tst_AttachmentPathRules : public QObject {
    Q_OBJECT

private slots:
    void expand_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expanded");
        QTest::newRow("marker at the start") << "$APP$x.pdf"
                                             << "/opt/qv/x.pdf";
        QTest::newRow("marker and a sub-folder") << "$APP$vorlagen/x.pdf"
                                                 << "/opt/qv/vorlagen/x.pdf";
        QTest::newRow("marker in lower case is a name") << "$app$x.pdf"
                                                        << "$app$x.pdf";
        QTest::newRow("marker inside the path") << "/data/$APP$x.pdf"
                                                << "/data/$APP$x.pdf";
        QTest::newRow("marker after a space") << " $APP$x.pdf"
                                              << " $APP$x.pdf";
        QTest::newRow("only the first marker") << "$APP$$APP$x.pdf"
                                               << "/opt/qv/$APP$x.pdf";
        QTest::newRow("plain path") << "/data/x.pdf"
                                    << "/data/x.pdf";
        QTest::newRow("empty") << ""
                               << "";
    }
    void expand() {
        QFETCH(QString, path);
        QFETCH(QString, expanded);
        QCOMPARE(TAttachmentPathRules::ExpandAppFolder(path, QStringLiteral("/opt/qv/")), expanded);
        // A folder given without its separator gets one.
        QCOMPARE(TAttachmentPathRules::ExpandAppFolder(path, QStringLiteral("/opt/qv")), expanded);
    }

    void contract_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stored");
        QTest::newRow("file in the folder") << "/opt/qv/x.pdf"
                                            << "$APP$x.pdf";
        QTest::newRow("file in a sub-folder") << "/opt/qv/vorlagen/x.pdf"
                                              << "$APP$vorlagen/x.pdf";
        QTest::newRow("folder differs in letter case") << "/opt/QV/x.pdf"
                                                       << "/opt/QV/x.pdf";
        QTest::newRow("folder name is only a prefix") << "/opt/qv2/x.pdf"
                                                      << "/opt/qv2/x.pdf";
        QTest::newRow("folder without separator") << "/opt/qv"
                                                  << "/opt/qv";
        QTest::newRow("the folder itself") << "/opt/qv/"
                                           << "/opt/qv/";
        QTest::newRow("folder later in the path") << "/mnt/opt/qv/x.pdf"
                                                  << "/mnt/opt/qv/x.pdf";
        QTest::newRow("other folder") << "/data/x.pdf"
                                      << "/data/x.pdf";
    }
    void contract() {
        QFETCH(QString, path);
        QFETCH(QString, stored);
        QCOMPARE(TAttachmentPathRules::ContractAppFolder(path, QStringLiteral("/opt/qv/")), stored);
        QCOMPARE(TAttachmentPathRules::ContractAppFolder(path, QStringLiteral("/opt/qv")), stored);
        // What is stored is shown as the path the user chose.
        QCOMPARE(TAttachmentPathRules::ExpandAppFolder(stored, QStringLiteral("/opt/qv/")), path);
    }

    void movedFolderKeepsTheAttachment() {
        const QString stored = TAttachmentPathRules::ContractAppFolder(QStringLiteral("/opt/qv/a/x.pdf"),
                                                                       QStringLiteral("/opt/qv/"));
        QCOMPARE(TAttachmentPathRules::ExpandAppFolder(stored, QStringLiteral("/srv/neu/")),
                 QStringLiteral("/srv/neu/a/x.pdf"));
    }

    void noFolderContractsNothing() {
        QCOMPARE(TAttachmentPathRules::ContractAppFolder(QStringLiteral("/x.pdf"), QString()),
                 QStringLiteral("/x.pdf"));
    }

    void theProgramFolderIsTheTestProgramsOwn() {
        QCOMPARE(TAttachmentPathRules::ApplicationFolder(), QCoreApplication::applicationDirPath() + "/");
    }
};

QTEST_GUILESS_MAIN(tst_AttachmentPathRules)
#include "tst_AttachmentPathRules.moc"

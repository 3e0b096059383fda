#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QtTest>

namespace {

const QStringList Languages{"de", "en", "fr", "it"};

QString TranslationsFolder() {
    return QStringLiteral(QV_SOURCE_DIR "/translations");
}

// The texts of a table by id, one per language (an absent column is an empty text).
QHash<QString, QStringList> ReadTable(const QString& APath, QString& AProblem) {
    QFile file(APath);
    if (!file.open(QIODevice::ReadOnly)) {
        AProblem = QStringLiteral("cannot be read");
        return {};
    }
    QHash<QString, QStringList> texts;
    bool header = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList columns = line.split(QLatin1Char('\t'));
        if (!header) {
            header = true;
            if (columns != QStringList{"id"} + Languages)
                AProblem = QStringLiteral("header \"%1\"").arg(line);
            continue;
        }
        const QString id = columns.takeFirst();
        while (columns.size() < Languages.size())
            columns.append(QString());
        texts.insert(id, columns);
    }
    return texts;
}

} // namespace

// Every translation table of the product (translations/<folder>/*.tsv) has every text in German,
// English, French and Italian; texts given in German and English keep those forms exactly.
class tst_TranslationTables : public QObject {
    Q_OBJECT

private slots:
    void everyTextInEveryLanguage_data() {
        QTest::addColumn<QString>("path");
        QDirIterator it(TranslationsFolder(), {QStringLiteral("*.tsv")}, QDir::Files,
                        QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext())
            paths.append(it.next());
        paths.sort();
        for (const QString& path : paths)
            QTest::newRow(qPrintable(QDir(TranslationsFolder()).relativeFilePath(path))) << path;
        QVERIFY2(paths.size() >= 10, "the translation tables were not found");
    }

    void everyTextInEveryLanguage() {
        QFETCH(QString, path);
        QString problem;
        const QHash<QString, QStringList> texts = ReadTable(path, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(!texts.isEmpty());
        QStringList missing;
        for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
            if (it.value().size() > Languages.size())
                missing.append(it.key() + QStringLiteral(" (more texts than languages)"));
            for (int lang = 0; lang < Languages.size() && lang < it.value().size(); ++lang) {
                if (it.value().at(lang).trimmed().isEmpty())
                    missing.append(it.key() + QLatin1Char(' ') + Languages.at(lang));
            }
        }
        missing.sort();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("missing: ") + missing.join(QStringLiteral(", "))));
    }

    void givenFormsKept_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("german");
        QTest::addColumn<QString>("english");
        const QString main = QStringLiteral("core/dmPluginEmailMarketingMain.tsv");
        QTest::newRow("Konfiguration") << main << "IDS_MenuConfiguration"
                                       << "Konfiguration"
                                       << "Configuration";
        QTest::newRow("Email Marketing") << main << "IDS_MenuEmailMarketing"
                                         << "Email Marketing"
                                         << "Email Marketing";
        QTest::newRow("Verteilerlisten") << main << "IDS_MenuLists"
                                         << "Verteilerlisten"
                                         << "Deliverylists";
        QTest::newRow("Versand") << main << "IDS_MenuDelivery"
                                 << "Versand"
                                 << "Delivery";
        QTest::newRow("first shut-down question") << main << "IDS_RJRA"
                                                  << "Achtung: Es sind noch Jobs aktiv. Möchten Sie das "
                                                     "Programm jetzt wirklich beenden?\\nAlle mit dem "
                                                     "Zeitplaner geplanten Jobs werden abgebrochen!"
                                                  << "";
        QTest::newRow("second shut-down question")
            << main << "IDS_RJRASJ"
            << "Achtung: Es laufen zur Zeit noch Jobs die Emails verschicken!\\nWenn Sie jetzt beenden wird "
               "der "
               "Versand abgebrochen und nicht allen gewünschten Empfängern wird eine Email zugestellt!"
            << "";
        QTest::newRow("AFO_0") << main << "AFO_0"
                               << "Email nicht versenden wenn Datei nicht existiert"
                               << "";
        QTest::newRow("AFO_1") << main << "AFO_1"
                               << "Anlage entfernen wenn Datei nicht existiert"
                               << "";
        const QString scheduler = QStringLiteral("windows/frmPluginEmailMarketingJobScheduler.tsv");
        QTest::newRow("scheduler IDS_PastD")
            << scheduler << "IDS_PastD"
            << "Der angegebene Startzeitpunkt liegt in der Vergangenheit oder ist zu früh!\\nDer "
               "Automatische "
               "Startzeitpunkt muss mindestens 5 Minuten von der aktuellen Zeit abweichen."
            << "The start-time is in the past or is to early!\\nhe start-time must have 5 minutes after "
               "current time.";
        QTest::newRow("scheduler IDS_Save") << scheduler << "IDS_Save"
                                            << "Möchten Sie die Änderungen speichern?"
                                            << "";
        QTest::newRow("scheduler caption") << scheduler << "IDS_Caption"
                                           << "Versand Zeitplaner"
                                           << "";
        QTest::newRow("condition caption")
            << QStringLiteral("windows/frmPluginEmailMarketingEditCondition.tsv") << "IDS_Caption"
            << "Makro-Bedingung"
            << "";
    }

    // An empty English expectation: the form is given in German only.
    void givenFormsKept() {
        QFETCH(QString, table);
        QFETCH(QString, id);
        QFETCH(QString, german);
        QFETCH(QString, english);
        QString problem;
        const QHash<QString, QStringList> texts =
            ReadTable(TranslationsFolder() + QLatin1Char('/') + table, problem);
        QVERIFY2(texts.contains(id), qPrintable(id));
        QCOMPARE(texts.value(id).at(0), german);
        if (!english.isEmpty())
            QCOMPARE(texts.value(id).at(1), english);
    }
};

QTEST_GUILESS_MAIN(tst_TranslationTables)
#include "tst_TranslationTables.moc"

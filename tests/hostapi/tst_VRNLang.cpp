#include "QVException.h"
#include "VRNLang.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <atomic>
#include <thread>
#include <vector>

using namespace hostapi;

namespace {

// A window as the modules write them: its texts come from its translation component and are set
// again in SetLanguage.
class SampleWindow : public QWidget {
public:
    SampleWindow() : FLang(QStringLiteral("TstLangSample")) {
        auto* layout = new QVBoxLayout(this);
        lblTitle = new QLabel(this);
        btnSave = new QPushButton(this);
        layout->addWidget(lblTitle);
        layout->addWidget(btnSave);
        FListener =
            TVRNLang::AddLanguageListener([this](const QString& ALangName) { SetLanguage(ALangName); });
        ApplyTexts();
    }
    ~SampleWindow() override { TVRNLang::RemoveLanguageListener(FListener); }

    void SetLanguage(const QString& ALangName) {
        FLang.SetLanguage(ALangName);
        ApplyTexts();
    }

    QLabel* lblTitle;
    QPushButton* btnSave;

private:
    void ApplyTexts() {
        setWindowTitle(FLang.Text(QStringLiteral("IDS_Title")));
        lblTitle->setText(FLang.Text(QStringLiteral("IDS_OnlyGerman")));
        btnSave->setText(FLang.Text(QStringLiteral("IDS_Save")));
    }

    TVRNLang FLang;
    int FListener = 0;
};

} // namespace

class tst_VRNLang : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void textByLanguage_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("German") << "IDS_Title"
                                << "German"
                                << "Adressen";
        QTest::newRow("English") << "IDS_Title"
                                 << "English"
                                 << "Addresses";
        QTest::newRow("French") << "IDS_Title"
                                << "French"
                                << "Adresses";
        QTest::newRow("Italian") << "IDS_Title"
                                 << "Italian"
                                 << "Indirizzi";
        QTest::newRow("language name in any case") << "IDS_Title"
                                                   << "eNGLISH"
                                                   << "Addresses";
        QTest::newRow("missing columns read German") << "IDS_OnlyGerman"
                                                     << "Italian"
                                                     << "Nur Deutsch";
        QTest::newRow("empty text reads German") << "IDS_EmptyEnglish"
                                                 << "English"
                                                 << "Leer auf Englisch";
        QTest::newRow("text after an empty one") << "IDS_EmptyEnglish"
                                                 << "French"
                                                 << "Vide en anglais";
        QTest::newRow("escapes") << "IDS_Escapes"
                                 << "German"
                                 << "Zeile 1\nZeile 2\tTab \\ Ende";
        QTest::newRow("ampersand kept") << "IDS_Save"
                                        << "English"
                                        << "&Save";
        QTest::newRow("id trimmed") << "IDS_Spaced"
                                    << "English"
                                    << "With blanks";
    }
    void textByLanguage() {
        QFETCH(QString, id);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        TVRNLang lang(QStringLiteral("TstLangSample"));
        QCOMPARE(lang.TextIn(id, language), expected);
        lang.SetLanguage(language);
        QCOMPARE(lang.Text(id), expected);
    }

    void faultyTableRaises_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("missing table") << "TstLangMissing"
                                       << "Translation table :/translations/TstLangMissing.tsv not found";
        QTest::newRow("wrong header") << "TstLangBadHeader"
                                      << "line 1: header";
        QTest::newRow("no header") << "TstLangNoHeader"
                                   << "header line missing";
        QTest::newRow("id twice") << "TstLangDuplicateId"
                                  << "line 4: id IDS_X occurs twice";
        QTest::newRow("no German text") << "TstLangNoGerman"
                                        << "line 2: id IDS_X has no German text";
        QTest::newRow("five texts") << "TstLangTooManyTexts"
                                    << "line 2: more than 4 texts";
        QTest::newRow("unknown escape") << "TstLangBadEscape"
                                        << "line 2: unknown escape \"\\q\"";
    }
    void faultyTableRaises() {
        QFETCH(QString, unit);
        QFETCH(QString, expectedError);
        try {
            TVRNLang lang(unit);
            QFAIL("a faulty table was accepted");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(expectedError),
                     qPrintable(QStringLiteral("expected \"%1\" in \"%2\"").arg(expectedError, e.Message())));
        }
    }

    void unknownIdOrLanguageRaises() {
        TVRNLang lang(QStringLiteral("TstLangSample"));
        QVERIFY(!lang.HasText(QStringLiteral("IDS_Nothing")));
        QVERIFY_THROWS_EXCEPTION(EQVException, lang.Text(QStringLiteral("IDS_Nothing")));
        QVERIFY_THROWS_EXCEPTION(EQVException, lang.SetLanguage(QStringLiteral("Klingon")));
        QVERIFY_THROWS_EXCEPTION(EQVException, TVRNLang::SetCurrentLanguage(QStringLiteral("Klingon")));
        QCOMPARE(lang.Language(), QStringLiteral("German"));
        QCOMPARE(TVRNLang::CurrentLanguage(), QStringLiteral("German"));
    }

    void hostTablesLoad() {
        // Every table compiled into the host library reads without error.
        const QStringList tables =
            QDir(QStringLiteral(":/translations")).entryList({QStringLiteral("*.tsv")});
        for (const QString& unit : {QStringLiteral("DialogService"), QStringLiteral("ExceptionDisplay"),
                                    QStringLiteral("ScheduleLog"), QStringLiteral("Scheduler")}) {
            QVERIFY2(tables.contains(unit + QStringLiteral(".tsv")), qPrintable(unit));
            TVRNLang lang(unit);
            QCOMPARE(lang.UnitName(), unit);
        }
        QCOMPARE(TVRNLang(QStringLiteral("DialogService"))
                     .TextIn(QStringLiteral("IDS_BtnIgnore"), QStringLiteral("German")),
                 QStringLiteral("&Ignorieren"));
    }

    void newComponentStartsInCurrentLanguage() {
        TVRNLang before(QStringLiteral("TstLangSample"));
        TVRNLang::SetCurrentLanguage(QStringLiteral("italian"));
        TVRNLang after(QStringLiteral("TstLangSample"));
        QCOMPARE(TVRNLang::CurrentLanguage(), QStringLiteral("Italian"));
        QCOMPARE(after.Text(QStringLiteral("IDS_Title")), QStringLiteral("Indirizzi"));
        QCOMPARE(before.Text(QStringLiteral("IDS_Title")), QStringLiteral("Adressen")); // until told
    }

    void everyListenerIsToldEvenWhenOneFails() {
        QStringList told;
        const int failing = TVRNLang::AddLanguageListener([&](const QString& name) {
            told << QStringLiteral("first:") + name;
            throw EQVException(QStringLiteral("window refused"));
        });
        const int second = TVRNLang::AddLanguageListener(
            [&](const QString& name) { told << QStringLiteral("second:") + name; });
        try {
            TVRNLang::SetCurrentLanguage(QStringLiteral("French"));
            QFAIL("the listener's exception was swallowed");
        } catch (const EQVException& e) {
            QCOMPARE(e.Message(), QStringLiteral("window refused"));
        }
        TVRNLang::RemoveLanguageListener(failing);
        TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
        TVRNLang::RemoveLanguageListener(second);
        TVRNLang::SetCurrentLanguage(QStringLiteral("English"));
        QCOMPARE(told, QStringList({"first:French", "second:French", "second:German"}));
    }

    void languageSwitchTurnsWindowTextsToEnglishAndBack() {
        SampleWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Adressen"));
        QCOMPARE(window.btnSave->text(), QStringLiteral("&Speichern"));

        TVRNLang::SetCurrentLanguage(QStringLiteral("English"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Addresses"));
        QCOMPARE(window.btnSave->text(), QStringLiteral("&Save"));
        QCOMPARE(window.lblTitle->text(), QStringLiteral("Nur Deutsch")); // no English text: German

        TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Adressen"));
        QCOMPARE(window.btnSave->text(), QStringLiteral("&Speichern"));
    }

    void textsReadFromWorkerThreads() {
        TVRNLang lang(QStringLiteral("TstLangSample"));
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 2000; ++i) {
                    const QString text = lang.Text(QStringLiteral("IDS_Title"));
                    if (text != QLatin1String("Adressen") && text != QLatin1String("Addresses"))
                        ++wrong;
                }
            });
        for (int i = 0; i < 200; ++i)
            lang.SetLanguage(i % 2 ? QStringLiteral("English") : QStringLiteral("German"));
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_MAIN(tst_VRNLang)
#include "tst_VRNLang.moc"

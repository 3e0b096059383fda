// Answering pdftk's password prompts: each password once, when its prompt has appeared; standard
// input closed once all are answered or a prompt cannot be answered.

#include "PDFTKPasswordPrompts.h"

#include <QTest>

using namespace emailmarketing;

namespace {

const QByteArray OpenPrompt = QByteArrayLiteral("Please enter the open password to use on the input PDF:\n"
                                                "   /tmp/a.pdf.\n"
                                                "   It can be empty, or have a maximum of 32 characters:\n");
const QByteArray OwnerPrompt = QByteArrayLiteral("Please enter the owner password to use on the output PDF.\n"
                                                 "   It can be empty, or have a maximum of 32 characters:\n");
const QByteArray UserPrompt = QByteArrayLiteral("Please enter the user password to use on the output PDF.\n"
                                                "   It can be empty, or have a maximum of 32 characters:\n");

} // namespace

class tst_PDFTKPasswordPrompts : public QObject {
    Q_OBJECT

private slots:
    void answersEachPromptWhenItAppears() {
        TPDFTKPasswordPrompts prompts(QStringLiteral("öffnen"), QStringLiteral("owner"),
                                      QStringLiteral("user"));
        QVERIFY(prompts.ExpectsPrompts());
        bool close = true;
        QByteArray output;
        QCOMPARE(prompts.Answer(output, close), QByteArray());
        QVERIFY(!close);
        // A prompt cut after its first words is answered once its kind has arrived.
        output += "Please enter the o";
        QCOMPARE(prompts.Answer(output, close), QByteArray());
        output += OpenPrompt.mid(18);
        QCOMPARE(prompts.Answer(output, close), QStringLiteral("öffnen\n").toUtf8());
        QVERIFY(!close);
        QCOMPARE(prompts.Answer(output, close), QByteArray());
        // pdftk decides the order of the output passwords.
        output += UserPrompt;
        QCOMPARE(prompts.Answer(output, close), QByteArray("user\n"));
        QVERIFY(!close);
        output += OwnerPrompt;
        QCOMPARE(prompts.Answer(output, close), QByteArray("owner\n"));
        QVERIFY(close);
    }

    void closesOnPromptsItCannotAnswer_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("answers");
        QTest::newRow("not expected") << UserPrompt << QByteArray();
        QTest::newRow("asked again") << OpenPrompt + OpenPrompt << QByteArray("pw\n");
        QTest::newRow("unknown kind") << QByteArray("Please enter the secret password:\n") << QByteArray();
    }
    void closesOnPromptsItCannotAnswer() {
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, answers);
        TPDFTKPasswordPrompts prompts(QStringLiteral("pw"), QStringLiteral("owner"), QString());
        bool close = false;
        QCOMPARE(prompts.Answer(output, close), answers);
        QVERIFY(close);
    }

    void promptTextInsideALineIsNoPrompt() {
        TPDFTKPasswordPrompts prompts(QStringLiteral("pw"), QString(), QString());
        bool close = true;
        QCOMPARE(prompts.Answer("FieldValue: Please enter the open password\n", close), QByteArray());
        QVERIFY(!close);
    }

    void nothingExpectedWithoutPasswords() {
        const TPDFTKPasswordPrompts prompts{QString(), QString(), QString()};
        QVERIFY(!prompts.ExpectsPrompts());
    }
};

QTEST_GUILESS_MAIN(tst_PDFTKPasswordPrompts)
#include "tst_PDFTKPasswordPrompts.moc"

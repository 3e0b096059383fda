#include "QVException.h"
#include "UserAccess.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace hostapi;

class tst_UserAccess : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { UserAccess::ResetToSystemUser(); }

    void defaultIsTheOperatingSystemUser() {
        const passwd* pw = getpwuid(geteuid());
        QVERIFY(pw);
        QCOMPARE(UserAccess::UserName(), QString::fromLocal8Bit(pw->pw_name));
        QCOMPARE(UserAccess::UserNumber(), qint64(geteuid()));
    }

    void hostSetsAnotherUser() {
        UserAccess::SetUser(QStringLiteral("Erika Mustermann"), 17);
        QCOMPARE(UserAccess::UserName(), QStringLiteral("Erika Mustermann"));
        QCOMPARE(UserAccess::UserNumber(), qint64(17));
        QVERIFY_THROWS_EXCEPTION(EQVAssertion, UserAccess::SetUser(QString(), 18));
        QCOMPARE(UserAccess::UserNumber(), qint64(17));
        UserAccess::ResetToSystemUser();
        QCOMPARE(UserAccess::UserNumber(), qint64(geteuid()));
    }
};

QTEST_GUILESS_MAIN(tst_UserAccess)
#include "tst_UserAccess.moc"

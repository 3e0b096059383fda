#include <QTest>
class tst_EmailListStore : public QObject { Q_OBJECT };
QTEST_MAIN(tst_EmailListStore)
#include "tst_EmailListStore.moc"

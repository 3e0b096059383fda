#include <QTest>
class tst_ListCacheStress : public QObject { Q_OBJECT };
QTEST_MAIN(tst_ListCacheStress)
#include "tst_ListCacheStress.moc"

#include "QVInfoBlock.h"
#include "VorlanaLinkLabel.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hostapi;

// The link label and the info block that carries one.
class tst_VorlanaLinkLabel : public QObject {
    Q_OBJECT

private slots:
    void looksLikeALink() {
        TVorlanaLinkLabel label(QStringLiteral("Konfiguration öffnen"));
        QCOMPARE(label.palette().color(QPalette::WindowText).name(), QStringLiteral("#006f99"));
        QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(label.font().underline());
        // The colour is what is drawn.
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        const QImage image = label.grab().toImage();
        bool linkColourDrawn = false;
        for (int y = 0; y < image.height() && !linkColourDrawn; ++y)
            for (int x = 0; x < image.width() && !linkColourDrawn; ++x)
                linkColourDrawn = QColor(image.pixel(x, y)) == TVorlanaLinkLabel::LinkColor();
        QVERIFY(linkColourDrawn);
    }

    void leftClickSignals_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("clicks");
        QTest::newRow("left button") << Qt::LeftButton << 1;
        QTest::newRow("right button") << Qt::RightButton << 0;
    }
    void leftClickSignals() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, clicks);
        TVorlanaLinkLabel label(QStringLiteral("Link"));
        label.show();
        QSignalSpy spy(&label, &TVorlanaLinkLabel::clicked);
        QTest::mouseClick(&label, button);
        QCOMPARE(spy.count(), clicks);
    }

    void releaseOutsideIsNoClick() {
        TVorlanaLinkLabel label(QStringLiteral("Link"));
        label.resize(100, 20);
        label.show();
        QSignalSpy spy(&label, &TVorlanaLinkLabel::clicked);
        QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(300, 10));
        QCOMPARE(spy.count(), 0);
    }

    void infoBlockShowsItsLinkOnlyWhenSetAndSignalsItsClick() {
        TQVInfoBlock block;
        block.SetText(QStringLiteral("Wenn Sie hier keine Text-Nachricht eingeben, ..."));
        block.show();
        auto* link = block.findChild<TVorlanaLinkLabel*>(QStringLiteral("lblLink"));
        QVERIFY(link);
        QVERIFY(!link->isVisible());
        block.SetLinkText(QStringLiteral("Mehr erfahren"));
        QVERIFY(link->isVisible());
        QSignalSpy spy(&block, &TQVInfoBlock::linkClicked);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(block.Text(), QStringLiteral("Wenn Sie hier keine Text-Nachricht eingeben, ..."));
    }
};

QTEST_MAIN(tst_VorlanaLinkLabel)
#include "tst_VorlanaLinkLabel.moc"

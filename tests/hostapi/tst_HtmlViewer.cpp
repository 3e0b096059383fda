#include "HtmlViewer.h"

#include "QVException.h"
#include "support/HostDoubles.h"
#include "support/HttpStub.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using hostapi::THtmlViewer;

namespace {

bool WriteFile(const QString& APath, const QByteArray& AData) {
    QDir().mkpath(QFileInfo(APath).absolutePath());
    QFile file(APath);
    return file.open(QIODevice::WriteOnly) && file.write(AData) == AData.size();
}

QByteArray Png() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

bool HasRedPixel(const QImage& AImage) {
    for (int y = 0; y < AImage.height(); ++y)
        for (int x = 0; x < AImage.width(); ++x)
            if (AImage.pixelColor(x, y) == QColor(Qt::red))
                return true;
    return false;
}

// Lays the shown page out, so that every resource it references is asked for.
void LayOut(THtmlViewer& AViewer) {
    AViewer.document()->size();
    AViewer.grab();
    QCoreApplication::processEvents();
}

} // namespace

class tst_HtmlViewer : public QObject {
    Q_OBJECT

    // A job folder "job" with the page and an image, and a file outside it.
    struct Folders {
        QTemporaryDir Root;
        QString Job = Root.filePath(QStringLiteral("job"));
        QString Page = Job + QStringLiteral("/0index.htm");
        QString Outside = Root.filePath(QStringLiteral("secret.png"));
        Folders() {
            WriteFile(Job + QStringLiteral("/img.png"), Png());
            WriteFile(Job + QStringLiteral("/sub/deep.png"), Png());
            WriteFile(Outside, Png());
            QFile::link(Outside, Job + QStringLiteral("/link.png"));
        }
    };

private slots:
    void remoteImageIsNotFetched() {
        testsupport::HttpStub peer(testsupport::HttpStub::Script(
            {testsupport::HttpStub::Route(QStringLiteral("/pixel.gif"), {QJsonObject{{"status", 200}}})}));
        Folders f;
        const QString pixel = peer.Url(QStringLiteral("/pixel.gif?recipient=r1")).toString();
        QVERIFY(WriteFile(f.Page, QStringLiteral("<p>Hallo</p><img src=\"%1\">").arg(pixel).toUtf8()));
        THtmlViewer viewer;
        viewer.resize(400, 300);
        viewer.ShowFile(f.Page, f.Job);
        viewer.show();
        LayOut(viewer);
        QCOMPARE(viewer.RefusedResources(), QStringList{pixel});
        // The stub answers a request within milliseconds; nothing came.
        QVERIFY(!peer.WaitForRequests(1, 300));
        QCOMPARE(peer.Requests().size(), 0);
    }

    void onlyFilesInsideTheFolderLoad_data() {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("beside the page") << "img.png" << true;
        QTest::newRow("in a folder below") << "sub/deep.png" << true;
        QTest::newRow("parent reference") << "../secret.png" << false;
        QTest::newRow("parent reference inside a folder") << "sub/../../secret.png" << false;
        QTest::newRow("absolute file outside") << "ABSOLUTE" << false;
        QTest::newRow("file URL outside") << "FILEURL" << false;
        QTest::newRow("link inside pointing outside") << "link.png" << false;
        QTest::newRow("missing file") << "none.png" << false;
    }
    void onlyFilesInsideTheFolderLoad() {
        QFETCH(QString, reference);
        QFETCH(bool, loaded);
        Folders f;
        if (reference == QLatin1String("ABSOLUTE"))
            reference = f.Outside;
        else if (reference == QLatin1String("FILEURL"))
            reference = QUrl::fromLocalFile(f.Outside).toString();
        QVERIFY(WriteFile(f.Page, QStringLiteral("<img src=\"%1\">").arg(reference).toUtf8()));
        THtmlViewer viewer;
        viewer.ShowFile(f.Page, f.Job);
        viewer.show();
        LayOut(viewer);
        QCOMPARE(viewer.LoadedResources().size(), loaded ? 2 : 1);
        QCOMPARE(viewer.RefusedResources().size(), loaded ? 0 : 1);
        // Qt's image handler reads a picture by its name when the view answers none: a refused
        // picture must not be drawn all the same.
        QCOMPARE(HasRedPixel(viewer.grab().toImage()), loaded);
    }

    void pageOutsideTheFolderIsRefused() {
        Folders f;
        QVERIFY(WriteFile(f.Root.filePath(QStringLiteral("page.htm")), "<p>x</p>"));
        THtmlViewer viewer;
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException,
                                 viewer.ShowFile(f.Root.filePath(QStringLiteral("page.htm")), f.Job));
        QVERIFY(viewer.ShownFile().isEmpty());
    }

    void utf8PageWithBomShowsItsText() {
        Folders f;
        QVERIFY(WriteFile(f.Page, QByteArray("\xEF\xBB\xBF<p>Gr\xC3\xBC\xC3\x9F" "e</p>")));
        THtmlViewer viewer;
        viewer.ShowFile(f.Page, f.Job);
        QCOMPARE(viewer.toPlainText(), QStringLiteral("Grüße"));
        QCOMPARE(viewer.ShownFile(), QFileInfo(f.Page).absoluteFilePath());
        viewer.ShowBlank();
        QVERIFY(viewer.toPlainText().isEmpty());
        QVERIFY(viewer.ShownFile().isEmpty());
    }

    void clickedLinks_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("http") << "http://example.org/angebot?id=1" << QStringList{"http://example.org/angebot?id=1"};
        QTest::newRow("https") << "https://example.org/" << QStringList{"https://example.org/"};
        QTest::newRow("mailto") << "mailto:info@example.org" << QStringList{"mailto:info@example.org"};
        QTest::newRow("file") << "file:///etc/passwd" << QStringList{};
        QTest::newRow("javascript") << "javascript:alert(1)" << QStringList{};
        QTest::newRow("relative") << "other.htm" << QStringList{};
    }
    void clickedLinks() {
        QFETCH(QString, link);
        QFETCH(QStringList, opened);
        Folders f;
        QVERIFY(WriteFile(f.Page, QStringLiteral("<p>Text <a href=\"%1\">Link</a></p>").arg(link).toUtf8()));
        testsupport::RecordingUrlOpener opener;
        THtmlViewer viewer;
        viewer.ShowFile(f.Page, f.Job);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        viewer.setFocus();
        // A user reaches the link with Tab and follows it with Enter.
        QTest::keyClick(&viewer, Qt::Key_Tab);
        QCOMPARE(viewer.textCursor().selectedText(), QStringLiteral("Link"));
        QTest::keyClick(&viewer, Qt::Key_Return);
        QCOMPARE(opener.Opened, opened);
        QCOMPARE(viewer.ShownFile(), QFileInfo(f.Page).absoluteFilePath());
        QCOMPARE(viewer.toPlainText(), QStringLiteral("Text Link"));
    }
};

QTEST_MAIN(tst_HtmlViewer)
#include "tst_HtmlViewer.moc"

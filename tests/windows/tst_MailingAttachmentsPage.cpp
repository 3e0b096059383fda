// The attachment tab of the mailing window offscreen on a fresh SQLite database, on a test host in
// place of the window: adding files (the program-folder marker, the file name, macro captions),
// the PDF settings frame of the selected row, opening and removing files, the tab's visibility by
// style, and the tab grabbed in German and English.
#include "AttachmentPathRules.h"
#include "CustomFileMacroReplacer.h"
#include "Database.h"
#include "EmailListItem.h"
#include "MailingAttachmentsPage.h"
#include "PDFFileMacroReplacer.h"
#include "QVDBGrid.h"
#include "QVRecordSetModel.h"
#include "VRNLang.h"
#include "dmPluginEmailMarketingMain.h"
#include "frmPDFFileMacroReplacerConfigForm.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QToolButton>
#include <QtTest>

using namespace emailmarketing;
using testsupport::Find;

namespace {

const QString kSchema = QStringLiteral("emlattachements");

// PATH is one folder with a stand-in pdftk while it lives, so the PDF settings frame is enabled.
class PdftkOnPath {
public:
    PdftkOnPath() : FOldPath(qgetenv("PATH")) {
        QFile script(FDir.filePath(QStringLiteral("pdftk")));
        if (!script.open(QIODevice::WriteOnly))
            qFatal("cannot write the stand-in pdftk");
        script.write("#!/bin/sh\nexit 0\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", FDir.path().toUtf8());
    }
    ~PdftkOnPath() { qputenv("PATH", FOldPath); }

private:
    QTemporaryDir FDir;
    QByteArray FOldPath;
};

// Types AText as key presses; characters beyond ASCII as keys that carry only their text.
void TypeText(QWidget* AWidget, const QString& AText) {
    for (const QChar c : AText)
        QTest::sendKeyEvent(QTest::Click, AWidget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

struct Fixture {
    testsupport::TestDatabase Db;
    TdmPluginEmailMarketingMain Dm{nullptr};
    testsupport::ScriptedDialogService Dialogs;
    testsupport::RecordingFileOpener Opener;
    qint32 ListID = -1;
    qint64 TemplateID = -1;

    Fixture() {
        std::shared_ptr<TEmailListItem> list = Dm.Add();
        list->SetName(QStringLiteral("Kunden"));
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetEmailFields(2, {QStringLiteral("email1")});
        list->SetChanged(true);
        Dm.Save();
        ListID = list->IDValue();
        TemplateID = AddTemplate(QStringLiteral("Angebot"));
    }
    qint64 AddTemplate(const QString& AName) {
        return hostapi::Database::InsertRow(QStringLiteral("emtemplates"),
                                            {"name", "emailstyle", "mailinglist"}, {AName, 1, ListID});
    }
    qint64 AddAttachment(const QString& AFileName, const QString& ASource, int AUseMacros,
                         const QString& ASettings = {}, qint64 ATemplateID = -1) {
        return hostapi::Database::InsertRow(kSchema,
                                            {"emltemplateid", "filename", "filesource", "usemacros",
                                             "isinline", "fileoptions", "filemrsettings"},
                                            {ATemplateID < 0 ? TemplateID : ATemplateID, AFileName, ASource,
                                             AUseMacros, 0, 0,
                                             ASettings.isEmpty() ? QVariant() : QVariant(ASettings)});
    }
    static QString Stored(qint64 AID, const char* AField) {
        return testsupport::Value(kSchema, QString::fromLatin1(AField), QStringLiteral("id = ?"), {AID})
            .toString();
    }
    static qint64 LastID() {
        return testsupport::Value(kSchema, QStringLiteral("id"),
                                  QStringLiteral("id = (SELECT MAX(id) FROM emlattachements)"))
            .toLongLong();
    }
};

// Stands in for the mailing window: the page on its tab, shown or hidden as the page says.
struct Host {
    QTabWidget PageControl;
    TMailingAttachmentsPage* Page;

    Host() : Page(new TMailingAttachmentsPage) {
        PageControl.setObjectName(QStringLiteral("MailingAttachmentsPage"));
        PageControl.addTab(new QWidget, QStringLiteral("Email-Editor"));
        PageControl.addTab(Page, Page->Caption());
        PageControl.setTabVisible(1, Page->TabVisible());
        QObject::connect(
            Page, &TMailingAttachmentsPage::TabVisibleChanged, &PageControl,
            [this](bool AVisible) { PageControl.setTabVisible(PageControl.indexOf(Page), AVisible); });
        PageControl.resize(960, 640);
        PageControl.show();
        PageControl.setCurrentWidget(Page);
        if (!QTest::qWaitForWindowExposed(&PageControl))
            qFatal("the host is not shown");
    }
    bool TabShown() const { return PageControl.isTabVisible(PageControl.indexOf(Page)); }
    hostapi::QVDBGrid* Grid() { return Find<hostapi::QVDBGrid>(*Page, "cxQVGrid1"); }
    int Column(const QString& AField) { return Page->AttachementsDisplay().ColumnOfField(AField); }
    QString Cell(int ARow, const QString& AField) {
        return Grid()->model()->index(ARow, Column(AField)).data().toString();
    }
    // A click on the row's first cell, as a user selects it.
    void SelectRow(int ARow) {
        const QRect rect =
            Grid()->visualRect(Grid()->model()->index(ARow, Column(QStringLiteral("filename"))));
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(Page->AttachementsDisplay().CurrentRow(), ARow);
    }
    QLineEdit* FileNameEdit() { return Find<QLineEdit>(*Page, "cxQVFieldEdit2"); }
    void TypeFileName(const QString& AText) {
        FileNameEdit()->setFocus();
        FileNameEdit()->selectAll();
        QTest::keyClicks(FileNameEdit(), AText);
    }
    // The user picks the "usemacros" entry with the key AKey by the keyboard.
    void ChooseUseMacros(int AKey) {
        auto* combo = Find<QComboBox>(*Page, "cxQVFieldEdit1");
        const int target = combo->findData(QString::number(AKey));
        QVERIFY(target >= 0);
        combo->setFocus();
        while (combo->currentIndex() != target)
            QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
    QLineEdit* PasswordEdit() {
        TCustomFileMacroReplacerConfigForm* frame = Page->CurrentFilePSConfigForm();
        return frame ? Find<QLineEdit>(*frame, "edtOwnerPassword") : nullptr;
    }
};

// The visible captions of AWindow narrower than their text, as "name: text"; empty when all fit.
QStringList CutCaptions(QWidget& AWindow) {
    QStringList cut;
    for (QLabel* label : AWindow.findChildren<QLabel*>())
        if (label->isVisible() && label->width() < label->minimumSizeHint().width())
            cut << label->objectName() + QStringLiteral(": ") + label->text();
    return cut;
}

} // namespace

class tst_MailingAttachmentsPage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterPDFFileMacroReplacer(); }
    void cleanupTestCase() { UnRegisterPDFFileMacroReplacer(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void addingStoresTheProgramFolderMarker_data() {
        const QString app = TAttachmentPathRules::ApplicationFolder();
        QString otherCase = app;
        otherCase[otherCase.size() - 2] = otherCase[otherCase.size() - 2].isUpper()
                                              ? otherCase[otherCase.size() - 2].toLower()
                                              : otherCase[otherCase.size() - 2].toUpper();
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("stored");
        QTest::newRow("in the program folder") << app + "x.pdf"
                                               << "$APP$x.pdf";
        QTest::newRow("in a sub-folder of it") << app + "vorlagen/x.pdf"
                                               << "$APP$vorlagen/x.pdf";
        QTest::newRow("folder differing in letter case") << otherCase + "x.pdf" << otherCase + "x.pdf";
        QTest::newRow("folder sharing a prefix") << app.chopped(1) + "2/x.pdf" << app.chopped(1) + "2/x.pdf";
        QTest::newRow("elsewhere") << "/data/x.pdf"
                                   << "/data/x.pdf";
    }
    void addingStoresTheProgramFolderMarker() {
        QFETCH(QString, chosen);
        QFETCH(QString, stored);
        Fixture f;
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        f.Dialogs.AddFileName(chosen);
        testsupport::Click(*h.Page, "QVButton1");
        QCOMPARE(f.Dialogs.FileDialogs.size(), 1);
        QCOMPARE(f.Dialogs.FileDialogs[0].Options.Filter, QStringLiteral("Allle Dateien|*.*"));
        QCOMPARE(testsupport::Count(kSchema), 1);
        const qint64 id = Fixture::LastID();
        QCOMPARE(Fixture::Stored(id, "filesource"), stored);
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("x.pdf"));
        QCOMPARE(Fixture::Stored(id, "emltemplateid").toLongLong(), f.TemplateID);
        // The grid shows the path as chosen, also after reading the rows again.
        QCOMPARE(h.Cell(0, "filesource"), chosen);
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        QCOMPARE(h.Cell(0, "filesource"), chosen);
        QCOMPARE(h.Cell(0, "filename"), QStringLiteral("x.pdf"));
    }

    void aCancelledDialogAddsNothing() {
        Fixture f;
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        f.Dialogs.AddFileName(std::nullopt);
        testsupport::Click(*h.Page, "QVButton1");
        QCOMPARE(testsupport::Count(kSchema), 0);
        QCOMPARE(h.Grid()->model()->rowCount(), 0);
    }

    void choosingAFileKeepsASetFileName() {
        Fixture f;
        const qint64 id = f.AddAttachment(QStringLiteral("Angebot.pdf"), QStringLiteral("/data/alt.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        h.Grid()->edit(h.Grid()->model()->index(0, h.Column("filesource")));
        auto* line = h.Grid()->viewport()->findChild<QLineEdit*>(QStringLiteral("edtFileSource"));
        QVERIFY(line);
        // The ellipsis button at the end of the line.
        auto* ellipsis = line->findChild<QToolButton*>();
        QVERIFY(ellipsis && ellipsis->isVisible());
        f.Dialogs.AddFileName(TAttachmentPathRules::ApplicationFolder() + "neu.pdf");
        QTest::mouseClick(ellipsis, Qt::LeftButton);
        QCOMPARE(Fixture::Stored(id, "filesource"), QStringLiteral("$APP$neu.pdf"));
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("Angebot.pdf"));
        QCOMPARE(h.Cell(0, "filename"), QStringLiteral("Angebot.pdf"));
        // The editor closed without writing its old text over the chosen path.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        h.Page->SaveChanges();
        QCOMPARE(Fixture::Stored(id, "filesource"), QStringLiteral("$APP$neu.pdf"));
    }

    void aPathTypedIntoTheCellIsStoredContracted() {
        Fixture f;
        const qint64 id = f.AddAttachment(QStringLiteral("alt.pdf"), QStringLiteral("/data/alt.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        h.Grid()->edit(h.Grid()->model()->index(0, h.Column("filesource")));
        auto* line = h.Grid()->viewport()->findChild<QLineEdit*>(QStringLiteral("edtFileSource"));
        QVERIFY(line);
        line->selectAll();
        QTest::keyClicks(line, TAttachmentPathRules::ApplicationFolder() + "y.pdf");
        QTest::keyClick(line, Qt::Key_Return); // the grid commits after the key event
        QTRY_COMPARE(Fixture::Stored(id, "filesource"), QStringLiteral("$APP$y.pdf"));
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("alt.pdf"));
        QCOMPARE(h.Cell(0, "filesource"), TAttachmentPathRules::ApplicationFolder() + "y.pdf");
    }

    void macroCaptionsAreStoredAsMacros() {
        Fixture f;
        const qint64 id = f.AddAttachment(QStringLiteral("x.pdf"), QStringLiteral("$APP$%NAME%/x.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        QCOMPARE(h.Cell(0, "filesource"), TAttachmentPathRules::ApplicationFolder() + "[Name]/x.pdf");
        h.SelectRow(0);
        h.TypeFileName(QStringLiteral("[Name].pdf"));
        QTest::keyClick(h.FileNameEdit(), Qt::Key_Return);
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("%NAME%.pdf"));
        QCOMPARE(h.Cell(0, "filename"), QStringLiteral("[Name].pdf"));
        // A caption of no macro of the list stays as typed.
        h.TypeFileName(QStringLiteral("[Kein Feld].pdf"));
        QTest::keyClick(h.FileNameEdit(), Qt::Key_Return);
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("[Kein Feld].pdf"));
        // Without a list the stored form is shown.
        h.Page->LoadTemplate(f.TemplateID, -1);
        QCOMPARE(h.Cell(0, "filesource"), TAttachmentPathRules::ApplicationFolder() + "%NAME%/x.pdf");
    }

    void aTypedFileNameIsStoredBeforeTheTemplateChanges() {
        Fixture f;
        const qint64 other = f.AddTemplate(QStringLiteral("Zweite"));
        const qint64 id = f.AddAttachment(QStringLiteral("a.pdf"), QStringLiteral("/data/a.pdf"), 1);
        f.AddAttachment(QStringLiteral("b.pdf"), QStringLiteral("/data/b.pdf"), 1, {}, other);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        h.TypeFileName(QStringLiteral("Brief.pdf")); // not confirmed
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("a.pdf"));
        h.Page->LoadTemplate(other, f.ListID);
        QCOMPARE(Fixture::Stored(id, "filename"), QStringLiteral("Brief.pdf"));
        QCOMPARE(h.Grid()->model()->rowCount(), 1);
        QCOMPARE(h.Cell(0, "filename"), QStringLiteral("b.pdf"));
    }

    void personalisedPdfShowsTheSettingsFrame() {
        PdftkOnPath pdftk;
        Fixture f;
        const qint64 a = f.AddAttachment(QStringLiteral("a.pdf"), QStringLiteral("/data/a.pdf"), 1);
        const qint64 b = f.AddAttachment(QStringLiteral("b.pdf"), QStringLiteral("/data/b.pdf"), 2,
                                         "OwnerPassword=zweites\n");
        f.AddAttachment(QStringLiteral("c.txt"), QStringLiteral("/data/c.txt"), 2);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        QVERIFY(!h.Page->CurrentFilePSConfigForm());

        // "Personalisieren" on a .pdf row shows the PDF frame in the group.
        h.ChooseUseMacros(2);
        QCOMPARE(Fixture::Stored(a, "usemacros").toInt(), 2);
        QPointer<TCustomFileMacroReplacerConfigForm> frame = h.Page->CurrentFilePSConfigForm();
        QVERIFY(qobject_cast<TfrmPDFFileMacroReplacerConfigForm*>(frame.data()));
        QVERIFY(Find<QScrollArea>(*h.Page, "sbFilePersonalizer")->isAncestorOf(frame));
        QVERIFY(frame->isVisible());

        // Its changes land in "filemrsettings" at once, as Unicode text.
        QVERIFY(h.PasswordEdit() && h.PasswordEdit()->isEnabled());
        TypeText(h.PasswordEdit(), QString::fromUtf8("Grüße€"));
        QCOMPARE(Fixture::Stored(a, "filemrsettings"), QString::fromUtf8("OwnerPassword=Grüße€\r\n"));

        // Another .pdf row reuses the frame and shows its own settings; loading them writes nothing
        // (the row keeps its single LF).
        h.SelectRow(1);
        QCOMPARE(h.Page->CurrentFilePSConfigForm(), frame.data());
        QCOMPARE(h.PasswordEdit()->text(), QStringLiteral("zweites"));
        QCOMPARE(Fixture::Stored(a, "filemrsettings"), QString::fromUtf8("OwnerPassword=Grüße€\r\n"));
        QCOMPARE(Fixture::Stored(b, "filemrsettings"), QStringLiteral("OwnerPassword=zweites\n"));
        h.SelectRow(0);
        QCOMPARE(h.Page->CurrentFilePSConfigForm(), frame.data());
        QCOMPARE(h.PasswordEdit()->text(), QString::fromUtf8("Grüße€"));

        // A .txt row frees it; the row keeps its settings.
        h.SelectRow(2);
        QVERIFY(frame.isNull());
        QVERIFY(!h.Page->CurrentFilePSConfigForm());
        // Renaming the .txt file to .pdf asks for the frame again.
        h.TypeFileName(QStringLiteral("c.pdf"));
        QTest::keyClick(h.FileNameEdit(), Qt::Key_Return);
        QVERIFY(qobject_cast<TfrmPDFFileMacroReplacerConfigForm*>(h.Page->CurrentFilePSConfigForm()));
        // Not personalised any more: no frame, settings kept.
        h.SelectRow(1);
        h.ChooseUseMacros(1);
        QVERIFY(!h.Page->CurrentFilePSConfigForm());
        QCOMPARE(Fixture::Stored(b, "filemrsettings"), QStringLiteral("OwnerPassword=zweites\n"));
    }

    void theTabFollowsTemplateAndStyle() {
        Fixture f;
        Host h;
        QVERIFY(!h.TabShown());
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        QVERIFY(h.TabShown());
        QVERIFY(h.Grid()->isColumnHidden(h.Column("usemacros")));
        QVERIFY(h.Grid()->isColumnHidden(h.Column("isinline")));
        h.Page->ApplyEmailStyle(esHTML);
        QVERIFY(!h.Grid()->isColumnHidden(h.Column("isinline")));
        h.Page->ApplyEmailStyle(esSMS);
        QVERIFY(!h.TabShown());
        h.Page->ApplyEmailStyle(esHTMLSource);
        QVERIFY(h.TabShown());
        QVERIFY(!h.Grid()->isColumnHidden(h.Column("isinline")));
        h.Page->ApplyEmailStyle(esPlainText);
        QVERIFY(h.Grid()->isColumnHidden(h.Column("isinline")));
        h.Page->LoadTemplate(-1, -1);
        QVERIFY(!h.TabShown());
        QCOMPARE(h.Grid()->model()->rowCount(), 0);
    }

    void missingFileIsReported() {
        Fixture f;
        f.AddAttachment(QStringLiteral("x.pdf"), QStringLiteral("$APP$fehlt-nicht-da.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        f.Dialogs.AddAnswer(hostapi::mrOk);
        testsupport::Click(*h.Page, "QVButton3");
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Text, QStringLiteral("Datei konnte nicht gefunden werden! "));
        QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtError);
        QCOMPARE(f.Dialogs.Questions[0].Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
        QVERIFY(f.Opener.Opened.isEmpty());
    }

    void existingFileIsOpenedByItsExpandedPath_data() {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("Anzeigen") << false;
        QTest::newRow("Datei oeffnen in the grid's menu") << true;
    }
    void existingFileIsOpenedByItsExpandedPath() {
        QFETCH(bool, fromMenu);
        Fixture f;
        QTemporaryFile file(TAttachmentPathRules::ApplicationFolder() + "anlage-XXXXXX.pdf");
        QVERIFY(file.open());
        const QString name = QFileInfo(file.fileName()).fileName();
        f.AddAttachment(name, "$APP$" + name, 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        if (fromMenu)
            Find<QMenu>(*h.Page, "pmAttachements")
                ->findChild<QAction*>(QStringLiteral("Dateiffnen1"))
                ->trigger();
        else
            testsupport::Click(*h.Page, "QVButton3");
        QVERIFY(f.Dialogs.Questions.isEmpty());
        QCOMPARE(f.Opener.Opened, QStringList{TAttachmentPathRules::ApplicationFolder() + name});
    }

    void removingAsksAndDeletesTheStoredRow_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("left");
        QTest::newRow("yes") << int(hostapi::mrYes) << 1;
        QTest::newRow("no") << int(hostapi::mrNo) << 2;
    }
    void removingAsksAndDeletesTheStoredRow() {
        QFETCH(int, answer);
        QFETCH(int, left);
        Fixture f;
        const qint64 a = f.AddAttachment(QStringLiteral("a.pdf"), QStringLiteral("/data/a.pdf"), 1);
        f.AddAttachment(QStringLiteral("b.pdf"), QStringLiteral("/data/b.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(1);
        f.Dialogs.AddAnswer(hostapi::TModalResult(answer));
        testsupport::Click(*h.Page, "QVButton2");
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Text,
                 QStringLiteral("Sollen die markierten Datensätze (1) gelöscht werden?"));
        QCOMPARE(testsupport::Count(kSchema), left);
        QCOMPARE(h.Grid()->model()->rowCount(), left);
        QCOMPARE(testsupport::Count(kSchema, QStringLiteral("id = ?"), {a}), 1);
    }

    void theGridItselfDeletesNothing() {
        Fixture f;
        f.AddAttachment(QStringLiteral("a.pdf"), QStringLiteral("/data/a.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.SelectRow(0);
        QTest::keyClick(h.Grid(), Qt::Key_Delete);
        QVERIFY(f.Dialogs.Questions.isEmpty());
        QCOMPARE(h.Grid()->model()->rowCount(), 1);
        QCOMPARE(testsupport::Count(kSchema), 1);
    }

    void readOnlyWhileAJobExists() {
        Fixture f;
        f.AddAttachment(QStringLiteral("a.pdf"), QStringLiteral("/data/a.pdf"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.Page->SetTemplateEditable(false);
        for (const char* name :
             {"QVButton1", "QVButton2", "QVButton3", "cxQVGrid1", "cxQVFieldEdit1", "cxQVFieldEdit2"})
            QVERIFY2(!Find<QWidget>(*h.Page, name)->isEnabled(), name);
        h.Page->SetTemplateEditable(true);
        QVERIFY(Find<QPushButton>(*h.Page, "QVButton1")->isEnabled());
    }

    void grabbedInGermanAndEnglish() {
        PdftkOnPath pdftk;
        Fixture f;
        f.AddAttachment(QStringLiteral("%NAME%.pdf"), QStringLiteral("$APP$vorlagen/angebot.pdf"), 2,
                        "Flatten=1\r\nCompression=1\r\n");
        f.AddAttachment(QStringLiteral("agb.pdf"), QStringLiteral("/data/agb.pdf"), 1);
        f.AddAttachment(QStringLiteral("logo.png"), QStringLiteral("/data/logo.png"), 1);
        Host h;
        h.Page->LoadTemplate(f.TemplateID, f.ListID);
        h.Page->ApplyEmailStyle(esHTML);
        h.SelectRow(0);
        QVERIFY(h.Page->CurrentFilePSConfigForm());
        QVERIFY(testsupport::SaveGrab(h.PageControl, QStringLiteral(QV_GRAB_DIR), QStringLiteral("German")));
        QCOMPARE(CutCaptions(h.PageControl), QStringList());
        QVERIFY(testsupport::SaveGrab(*h.Page->CurrentFilePSConfigForm(), QStringLiteral(QV_GRAB_DIR),
                                      QStringLiteral("German")));
        QCOMPARE(h.Cell(0, "filename"), QStringLiteral("[Name].pdf"));
        QCOMPARE(h.Cell(1, "isinline"), QStringLiteral("Normaler Anhang"));

        f.Dm.SetLanguage(QStringLiteral("English"));
        h.Page->SetLanguage(QStringLiteral("English"));
        h.PageControl.setTabText(1, h.Page->Caption());
        QCOMPARE(h.Page->AttachementsDisplay().CurrentRow(), 0);
        QCOMPARE(Find<QPushButton>(*h.Page, "QVButton1")->text(), QStringLiteral("&Add"));
        QCOMPARE(Find<QGroupBox>(*h.Page, "grpAttachementSettings")->title(),
                 QStringLiteral("File personalisation"));
        QCOMPARE(h.Cell(1, "isinline"), QStringLiteral("Normal attachment"));
        QCOMPARE(Find<QComboBox>(*h.Page, "cxQVFieldEdit1")->currentText(), QStringLiteral("Personalise"));
        QVERIFY(testsupport::SaveGrab(h.PageControl, QStringLiteral(QV_GRAB_DIR), QStringLiteral("English")));
        // The PDF panel's captions are longer in English: the grab shows them as the user sees them.
        QCOMPARE(CutCaptions(h.PageControl), QStringList());
        QVERIFY(testsupport::SaveGrab(*h.Page->CurrentFilePSConfigForm(), QStringLiteral(QV_GRAB_DIR),
                                      QStringLiteral("English")));
        f.Dm.SetLanguage(QStringLiteral("German"));
        h.Page->SetLanguage(QStringLiteral("German"));
    }
};

QTEST_MAIN(tst_MailingAttachmentsPage)
#include "tst_MailingAttachmentsPage.moc"

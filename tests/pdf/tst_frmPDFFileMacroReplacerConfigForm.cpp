// The settings panel of a PDF attachment offscreen, with pdftk present or absent on the search path:
// what it shows for stored settings, what the user's edits write, what stays untouched, and its link
// to the installer dialog. Both windows are grabbed in German and English.

#include "frmPDFFileMacroReplacerConfigForm.h"

#include "PDFFileMacroReplacer.h"
#include "QVInfoBlock.h"
#include "VRNLang.h"
#include "VorlanaLinkLabel.h"
#include "frmPDFFileMacroReplacerPDFTKInstaller.h"
#include "support/HostDoubles.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace emailmarketing;
using testsupport::Click;
using testsupport::Find;

Q_DECLARE_METATYPE(QList<int>)

namespace {

const QString NotFound = QStringLiteral("PDFTK wurde noch nicht gefunden.");
const QString Installed =
    QStringLiteral("PDFTK wurde erfolgreich installiert und ist ab sofort einsatzbereit.");

// PATH is one empty folder while it lives (nothing is placed beside the test program); Place puts a
// stand-in pdftk there.
class SearchPath {
public:
    SearchPath() : FOldPath(qgetenv("PATH")) { qputenv("PATH", FDir.path().toUtf8()); }
    ~SearchPath() { qputenv("PATH", FOldPath); }
    void Place() {
        QFile script(FDir.filePath(QStringLiteral("pdftk")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexit 0\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

private:
    QTemporaryDir FDir;
    QByteArray FOldPath;
};

// A panel loaded with ALines; counts the change notifications.
struct Panel {
    TfrmPDFFileMacroReplacerConfigForm Form;
    int Changes = 0;
    explicit Panel(const QStringList& ALines, const QString& ALanguage = QStringLiteral("German")) {
        Form.SetLanguage(ALanguage);
        Form.SetSettings(ALines);
        Form.LoadSetting();
        Form.OnSettingsChanged = [this](TCustomFileMacroReplacerConfigForm*) { ++Changes; };
    }
    template <class T> T* Get(const char* AName) { return Find<T>(Form, AName); }
    QListWidget* List() { return Get<QListWidget>("clbPermissions"); }
    QList<int> Checked() {
        QList<int> checked;
        for (int i = 0; i < List()->count(); ++i)
            if (List()->item(i)->checkState() == Qt::Checked)
                checked.append(List()->item(i)->data(Qt::UserRole).toInt());
        return checked;
    }
    // Toggles the item of AOrdinal with the space key, as a user does.
    void ToggleItem(int AOrdinal) {
        List()->setFocus();
        List()->setCurrentRow(AOrdinal);
        QTest::keyClick(List(), Qt::Key_Space);
    }
    void ClearEdit(const char* AName) {
        QLineEdit* edit = Get<QLineEdit>(AName);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
    }
    // How many of the six option controls are enabled.
    int EnabledOptions() {
        int enabled = 0;
        for (const char* name : {"cbFlatten", "cbCompression", "cbEncryption", "edtOwnerPassword",
                                 "edtUserPassword", "edtInputPassword"})
            enabled += Get<QWidget>(name)->isEnabled() ? 1 : 0;
        return enabled;
    }
};

} // namespace

class tst_frmPDFFileMacroReplacerConfigForm : public QObject {
    Q_OBJECT

    std::unique_ptr<SearchPath> FPath;

    // An empty search path from here on (the previous one is given back first).
    void WithoutPdftk() {
        FPath.reset();
        FPath = std::make_unique<SearchPath>();
    }

private slots:
    // Every test starts with pdftk on the search path; the tests without it remove the path first.
    void init() {
        WithoutPdftk();
        FPath->Place();
    }
    void cleanup() {
        FPath.reset();
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
    }

    void theReplacerNamesThisPanel() {
        const TCustomFileMacroReplacerConfigFormClass* cls = TPDFFileMacroReplacer::GetConfigFormClass();
        QVERIFY(cls != nullptr);
        std::unique_ptr<TCustomFileMacroReplacerConfigForm> form(cls->Create(nullptr));
        QVERIFY(qobject_cast<TfrmPDFFileMacroReplacerConfigForm*>(form.get()) != nullptr);
    }

    void noKeysShowTheDefaults() {
        Panel p({});
        QVERIFY(!p.Get<QCheckBox>("cbFlatten")->isChecked());
        QCOMPARE(p.Get<QComboBox>("cbCompression")->currentText(), QStringLiteral("<nicht ändern>"));
        QCOMPARE(p.Get<QComboBox>("cbEncryption")->currentText(), QStringLiteral("<keine>"));
        for (const char* edit : {"edtOwnerPassword", "edtUserPassword", "edtInputPassword"})
            QVERIFY2(p.Get<QLineEdit>(edit)->text().isEmpty(), edit);
        QVERIFY(!p.Get<QCheckBox>("cbPermissionAll")->isChecked());
        QCOMPARE(p.Checked(), QList<int>{});
        QCOMPARE(p.List()->count(), 8); // pmPrinting to pmFillIn
        QCOMPARE(p.List()->item(7)->text(), QStringLiteral("Formulare ausfüllen"));
        QCOMPARE(p.EnabledOptions(), 6);
        QVERIFY(!p.Get<hostapi::TQVInfoBlock>("pnlNotAV")->isVisibleTo(&p.Form));
    }

    void storedSettingsAreShown_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<bool>("allEnabled");
        QTest::addColumn<bool>("listEnabled");
        QTest::newRow("8 checks all and disables the list")
            << QStringList{"Encryption=2", "Permissions=8"} << true << QList<int>{} << true << false;
        QTest::newRow("8,1 checks ordinal 1 only")
            << QStringList{"Encryption=2", "Permissions=8,1"} << false << QList<int>{1} << true << true;
        QTest::newRow("no encryption, no password: all disabled")
            << QStringList{"Permissions=0,7"} << false << QList<int>{0, 7} << false << false;
        QTest::newRow("owner password without encryption enables")
            << QStringList{"OwnerPassword=geheim", "Permissions=3"} << false << QList<int>{3} << true << true;
    }
    void storedSettingsAreShown() {
        QFETCH(QStringList, settings);
        QFETCH(bool, all);
        QFETCH(QList<int>, checked);
        QFETCH(bool, allEnabled);
        QFETCH(bool, listEnabled);
        Panel p(settings);
        QCOMPARE(p.Get<QCheckBox>("cbPermissionAll")->isChecked(), all);
        QCOMPARE(p.Checked(), checked);
        QCOMPARE(p.Get<QCheckBox>("cbPermissionAll")->isEnabled(), allEnabled);
        QCOMPARE(p.List()->isEnabled(), listEnabled);
    }

    void typingAnOwnerPasswordWithoutEncryptionEnablesAll() {
        Panel p({});
        auto* all = p.Get<QCheckBox>("cbPermissionAll");
        QVERIFY(!all->isEnabled());
        QTest::keyClicks(p.Get<QLineEdit>("edtOwnerPassword"), QStringLiteral("ab"));
        QVERIFY(all->isEnabled());
        QVERIFY(p.List()->isEnabled());
        QCOMPARE(p.Form.SettingValue(QStringLiteral("OwnerPassword")), QStringLiteral("ab"));
        p.ClearEdit("edtOwnerPassword");
        QVERIFY(!all->isEnabled());
        QVERIFY(!p.List()->isEnabled());
        QCOMPARE(p.Form.Settings(), QStringList{"OwnerPassword="});
    }

    void uncheckingAllWithNothingCheckedStoresAnEmptyList() {
        Panel p({"Encryption=1", "Permissions=8"});
        Click(p.Form, "cbPermissionAll");
        QCOMPARE(p.Form.Settings(), (QStringList{"Encryption=1", "Permissions="}));
        QCOMPARE(p.Changes, 1);
        QVERIFY(p.List()->isEnabled());
        Click(p.Form, "cbPermissionAll");
        QCOMPARE(p.Form.SettingValue(QStringLiteral("Permissions")), QStringLiteral("8"));
        QVERIFY(!p.List()->isEnabled());
    }

    void checkingItemsStoresTheirOrdinalsInListOrder() {
        Panel p({"Encryption=2"});
        p.ToggleItem(7);
        QCOMPARE(p.Form.SettingValue(QStringLiteral("Permissions")), QStringLiteral("7"));
        p.ToggleItem(2);
        QCOMPARE(p.Form.SettingValue(QStringLiteral("Permissions")), QStringLiteral("2,7"));
        p.ToggleItem(7);
        QCOMPARE(p.Form.SettingValue(QStringLiteral("Permissions")), QStringLiteral("2"));
        QCOMPARE(p.Changes, 3);
    }

    void loadingAndTranslatingWriteNothing_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::newRow("no keys") << QStringList{};
        QTest::newRow("odd values stay as they are")
            << QStringList{"flatten=True",         "Compression=7",   "Encryption=x",
                           "Permissions=8,1, 3,a", "OwnerPassword=o", "Other=1"};
        // A write would put the key back in its own spelling: the text would change.
        QTest::newRow("keys in other letter case")
            << QStringList{"flatten=1",       "COMPRESSION=2",  "encryption=1",   "inputpassword=i",
                           "ownerpassword=o", "userPassword=u", "permissions=0,2"};
        QTest::newRow("every key") << QStringList{"Flatten=1",       "Compression=1",   "Encryption=2",
                                                  "InputPassword=i", "OwnerPassword=o", "UserPassword=u",
                                                  "Permissions=8"};
    }
    void loadingAndTranslatingWriteNothing() {
        QFETCH(QStringList, settings);
        Panel p(settings);
        p.Form.LoadSetting();
        for (const QString& language : hostapi::TVRNLang::LanguageNames())
            p.Form.SetLanguage(language);
        p.Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.Form));
        QCOMPARE(p.Changes, 0);
        QCOMPARE(p.Form.Settings(), settings);
    }

    void choicesWriteTheirOrdinals_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("downs");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("compress") << "cbCompression" << 1 << "Compression"
                                  << "1";
        QTest::newRow("uncompress") << "cbCompression" << 2 << "Compression"
                                    << "2";
        QTest::newRow("40 bit") << "cbEncryption" << 1 << "Encryption"
                                << "1";
        QTest::newRow("128 bit") << "cbEncryption" << 2 << "Encryption"
                                 << "2";
    }
    void choicesWriteTheirOrdinals() {
        QFETCH(QString, box);
        QFETCH(int, downs);
        QFETCH(QString, name);
        QFETCH(QString, value);
        Panel p({"Flatten=0"});
        auto* combo = p.Form.findChild<QComboBox*>(box);
        QVERIFY(combo);
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(p.Form.Settings(), (QStringList{"Flatten=0", name + "=" + value}));
        QCOMPARE(p.Changes, downs);
    }

    void encryptionEnablesAllPermissions() {
        Panel p({});
        QTest::keyClick(p.Get<QComboBox>("cbEncryption"), Qt::Key_Down);
        QVERIFY(p.Get<QCheckBox>("cbPermissionAll")->isEnabled());
        QTest::keyClick(p.Get<QComboBox>("cbEncryption"), Qt::Key_Up);
        QCOMPARE(p.Form.SettingValue(QStringLiteral("Encryption")), QStringLiteral("0"));
        QVERIFY(!p.Get<QCheckBox>("cbPermissionAll")->isEnabled());
    }

    void editsWriteTheirSetting_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("flatten on") << "cbFlatten"
                                    << "Flatten"
                                    << "1";
        QTest::newRow("input password") << "edtInputPassword"
                                        << "InputPassword"
                                        << "pw 1";
        QTest::newRow("owner password") << "edtOwnerPassword"
                                        << "OwnerPassword"
                                        << "pw 1";
        QTest::newRow("user password") << "edtUserPassword"
                                       << "UserPassword"
                                       << "pw 1";
    }
    void editsWriteTheirSetting() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(QString, value);
        Panel p({"Flatten=0"});
        QWidget* widget = p.Form.findChild<QWidget*>(control);
        QVERIFY(widget);
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            QTest::keyClicks(edit, value);
        else
            QTest::mouseClick(widget, Qt::LeftButton);
        QCOMPARE(p.Form.SettingValue(name), value);
    }

    void flattenOffWritesZero() {
        Panel p({"Flatten=1"});
        Click(p.Form, "cbFlatten");
        QCOMPARE(p.Form.Settings(), QStringList{"Flatten=0"});
    }

    void passwordsAreMasked_data() {
        QTest::addColumn<QString>("edit");
        QTest::newRow("owner") << "edtOwnerPassword";
        QTest::newRow("user") << "edtUserPassword";
        QTest::newRow("input") << "edtInputPassword";
    }
    void passwordsAreMasked() {
        QFETCH(QString, edit);
        Panel p({"InputPassword=a", "OwnerPassword=b", "UserPassword=c"});
        auto* line = p.Form.findChild<QLineEdit*>(edit);
        QVERIFY(line);
        QCOMPARE(line->echoMode(), QLineEdit::Password);
        QVERIFY(!line->text().isEmpty());
        QVERIFY(line->displayText() != line->text());
    }

    void withoutPdftkOnlyAStoredPasswordEnablesAll_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("allEnabled");
        QTest::newRow("nothing stored") << QStringList{} << false;
        QTest::newRow("encryption alone") << QStringList{"Encryption=2", "Permissions=8"} << false;
        QTest::newRow("owner password") << QStringList{"OwnerPassword=o"} << true;
        QTest::newRow("user password") << QStringList{"UserPassword=u"} << true;
    }
    void withoutPdftkOnlyAStoredPasswordEnablesAll() {
        QFETCH(QStringList, settings);
        QFETCH(bool, allEnabled);
        WithoutPdftk();
        Panel p(settings);
        QCOMPARE(p.EnabledOptions(), 0);
        QCOMPARE(p.Get<QCheckBox>("cbPermissionAll")->isEnabled(), allEnabled);
        auto* note = p.Get<hostapi::TQVInfoBlock>("pnlNotAV");
        QVERIFY(note->isVisibleTo(&p.Form));
        QCOMPARE(note->Text(),
                 QStringLiteral(
                     "Die Personalisierung von PDF-Dokumenten benötigt das kostenlose Programm \"PDFTK\"."));
        QCOMPARE(note->LinkText(), QStringLiteral("PDFTK jetzt installieren"));
    }

    // The user follows the note's link, installs pdftk meanwhile and checks again: the installer says
    // so and closes, and the panel enables its options.
    void installLinkOpensTheInstallerAndCheckAgainEnables() {
        WithoutPdftk();
        Panel p({}, QStringLiteral("English"));
        p.Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.Form));
        testsupport::ScriptedDialogService dialogs;
        QString caption, firstResult;
        bool openAfterFirstCheck = false;
        dialogs.AddModal([&](QDialog& d) {
            caption = d.windowTitle();
            Click(d, "btnCheck");
            openAfterFirstCheck = d.isVisible();
            firstResult = Find<QLabel>(d, "lblCheckResult")->text();
            FPath->Place();
            Click(d, "btnCheck");
        });
        dialogs.AddAnswer(hostapi::mrOk);
        QTest::mouseClick(p.Form.findChild<hostapi::TVorlanaLinkLabel*>(QStringLiteral("lblLink")),
                          Qt::LeftButton);
        QCOMPARE(dialogs.Modals, QStringList{"frmPDFFileMacroReplacerPDFTKInstaller"});
        QCOMPARE(caption, QStringLiteral("Install PDFTK"));
        QVERIFY(openAfterFirstCheck);
        QCOMPARE(firstResult, QStringLiteral("PDFTK has not been found yet."));
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text,
                 QStringLiteral("PDFTK has been installed successfully and is ready to use."));
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtInformation);
        QCOMPARE(dialogs.Questions.at(0).Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
        QCOMPARE(p.EnabledOptions(), 6);
        QVERIFY(!p.Get<hostapi::TQVInfoBlock>("pnlNotAV")->isVisible());
        QCOMPARE(p.Changes, 0);
    }

    void closingTheInstallerWithoutPdftkKeepsTheOptionsDisabled() {
        WithoutPdftk();
        Panel p({});
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddModal([&](QDialog& d) { Click(d, "btnClose"); });
        emit p.Get<hostapi::TQVInfoBlock>("pnlNotAV")->linkClicked();
        QCOMPARE(dialogs.Modals, QStringList{"frmPDFFileMacroReplacerPDFTKInstaller"});
        QVERIFY(dialogs.Questions.isEmpty());
        QCOMPARE(p.EnabledOptions(), 0);
        QVERIFY(p.Get<hostapi::TQVInfoBlock>("pnlNotAV")->isVisibleTo(&p.Form));
    }

    void installerCopiesTheCommandAndOpensTheHomePage() {
        TfrmPDFFileMacroReplacerPDFTKInstaller installer;
        testsupport::RecordingUrlOpener opener;
        QGuiApplication::clipboard()->clear();
        QCOMPARE(Find<QLineEdit>(installer, "edtCommand")->text(),
                 QStringLiteral("sudo apt-get install --no-install-recommends pdftk-java"));
        Click(installer, "btnCopy");
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("sudo apt-get install --no-install-recommends pdftk-java"));
        QTest::mouseClick(Find<hostapi::TVorlanaLinkLabel>(installer, "VorlanaLinkLabel1"), Qt::LeftButton);
        QCOMPARE(opener.Opened, QStringList{TfrmPDFFileMacroReplacerPDFTKInstaller::HomePage()});
        QVERIFY(opener.Opened.first().startsWith(QStringLiteral("https://")));
    }

    void grabInGermanAndEnglish_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("permissionAll");
        QTest::addColumn<QString>("installerCaption");
        QTest::newRow("German") << "German"
                                << "&Alle Zugriffsrechte"
                                << "PDFTK Installieren";
        QTest::newRow("English") << "English"
                                 << "&All permissions"
                                 << "Install PDFTK";
    }
    void grabInGermanAndEnglish() {
        QFETCH(QString, language);
        QFETCH(QString, permissionAll);
        QFETCH(QString, installerCaption);
        const QString folder = QStringLiteral(QV_GRAB_DIR);
        {
            Panel p({"Encryption=2", "OwnerPassword=geheim", "Permissions=0,4,7"}, language);
            p.Form.resize(640, 300);
            QVERIFY(testsupport::SaveGrab(p.Form, folder, language));
            QCOMPARE(p.Get<QCheckBox>("cbPermissionAll")->text(), permissionAll);
        }
        {
            // Without pdftk: the note with its link.
            WithoutPdftk();
            TfrmPDFFileMacroReplacerConfigForm form;
            form.setObjectName(QStringLiteral("frmPDFFileMacroReplacerConfigForm_NotAvailable"));
            form.SetLanguage(language);
            form.LoadSetting();
            form.resize(640, 340);
            QVERIFY(testsupport::SaveGrab(form, folder, language));
        }
        TfrmPDFFileMacroReplacerPDFTKInstaller installer;
        installer.SetLanguage(language);
        QCOMPARE(installer.windowTitle(), installerCaption);
        QVERIFY(testsupport::SaveGrab(installer, folder, language));
    }
};

QTEST_MAIN(tst_frmPDFFileMacroReplacerConfigForm)
#include "tst_frmPDFFileMacroReplacerConfigForm.moc"

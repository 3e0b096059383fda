// The database tree: folders nested by their parent field with the contents in their folders, on
// the template folders and templates, under QAbstractItemModelTester; focus, refresh, delete rules,
// in-place edits, the add dialog, the owner's actions, colours and images, and the drop-down
// buttons. The template states show the flat list.

#include "Database.h"
#include "QVDBGrid.h"
#include "QVDBTreeAddDialog.h"
#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "QVRecordSet.h"
#include "QVRecordSetModel.h"
#include "VRNLang.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <memory>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

const QString kFolders = QStringLiteral("emltemplatefolders");
const QString kTemplates = QStringLiteral("emtemplates");

qint64 AddFolder(const QString& descr, const QVariant& parent = {}) {
    return Database::InsertRow(kFolders, {"descr", "parentemlltemplatefolderid"}, {descr, parent});
}

qint64 AddTemplate(const QString& name, const QVariant& folder = {}, int style = 0) {
    return Database::InsertRow(kTemplates, {"name", "templatefolderid", "emailstyle"}, {name, folder, style});
}

// The mailing window's template tree.
struct TemplateTree {
    TQVRecordSet Folders{kFolders};
    QVDBTreeModel Model{&Folders, QStringLiteral("parentemlltemplatefolderid")};
    std::unique_ptr<QAbstractItemModelTester> Tester;
    QVDBTreeView View;

    TemplateTree() {
        Tester = std::make_unique<QAbstractItemModelTester>(
            &Model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Model.SetContentSchema(kTemplates, "templatefolderid");
        Model.ContentRecordSet()->SetOnGetFieldIsRequired([](const QString& field) {
            return field != "mailbody" && field != "mailbodyhtml" && field != "subject";
        });
        Model.SetContentImageIndex(74);
        Model.SetColumns({{"descr", "name", "Name", false},
                          {{}, "mailinglist", {}, false},
                          {{}, "emailstyle", {}, false},
                          {{}, "templstateid", {}, false},
                          {{}, "lastsent", {}, false},
                          {{}, "creadate", "Erstellt am", false},
                          {{}, "lastchangedtsp", "Geändert am", false}});
        View.SetMenuCaption("E-Mail Vorlage");
        View.SetTreeModel(&Model);
        View.Refresh();
    }
    QModelIndex Index(TQVTreeNodeKind kind, qint64 id, int column = 0) const {
        return Model.IndexOf({kind, id}, column);
    }
    void Show() {
        View.resize(760, 260);
        View.show();
        QVERIFY(QTest::qWaitForWindowExposed(&View));
    }
};

// The tree as indented first-column texts, depth first.
QStringList Dump(const QAbstractItemModel& model, const QModelIndex& parent = {}, int depth = 0) {
    QStringList lines;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        lines << QString(depth * 2, QLatin1Char(' ')) + index.data().toString();
        lines << Dump(model, index, depth + 1);
    }
    return lines;
}

QStringList Captions(const QAbstractItemModel& model) {
    QStringList captions;
    for (int c = 0; c < model.columnCount(); ++c)
        captions << model.headerData(c, Qt::Horizontal).toString();
    return captions;
}

// Rows of a placement case: "name" or "name>parent" (folders), "name>folder" (templates); a parent
// or folder named "?" is an id that no row has.
using Placement = QStringList;

void AddPlacementRows(const char* name, const Placement& folders, const Placement& templates,
                      const QStringList& expected) {
    for (Backend b : TestDatabase::SelectedBackends())
        QTest::newRow(QByteArray(b == Backend::SQLite ? "sqlite " : "postgresql ").append(name).constData())
            << b << folders << templates << expected;
}

QImage Grab(QWidget& widget, const QString& name) {
    const QImage image = widget.grab().toImage();
    image.save(QCoreApplication::applicationDirPath() + "/" + name);
    return image;
}

QColor PixelAt(const QImage& image, QPoint p) {
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(int(p.x() * dpr), int(p.y() * dpr));
}

QPixmap Square(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return pixmap;
}

} // namespace

class tst_QVDBTreeView : public QObject {
    Q_OBJECT

private slots:
    void init() { TVRNLang::SetCurrentLanguage("German"); }

    void placement_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<Placement>("folders");
        QTest::addColumn<Placement>("templates");
        QTest::addColumn<QStringList>("expected");
        AddPlacementRows("nested", {"A", "B>A", "C"}, {"t1>B", "t2>A", "t3", "t4>C"},
                         {"A", "  B", "    t1", "  t2", "C", "  t4", "t3"});
        AddPlacementRows("subfolders before contents", {"A", "B>A"}, {"t1>A", "t2>B"},
                         {"A", "  B", "    t2", "  t1"});
        AddPlacementRows("unknown parent and folder", {"A>?"}, {"t>?"}, {"A", "t"});
        AddPlacementRows("parent cycle", {"A>B", "B>A", "C>A"}, {"t>B"}, {"A", "  C", "B", "  t"});
        AddPlacementRows("own parent", {"A>A"}, {}, {"A"});
    }
    // Folders nest by their parent; templates hang in their folder; what cannot be placed is on top.
    void placement() {
        QFETCH(Backend, backend);
        QFETCH(Placement, folders);
        QFETCH(Placement, templates);
        QFETCH(QStringList, expected);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        QHash<QString, qint64> ids{{"?", 999999}};
        for (const QString& f : folders)
            ids.insert(f.section('>', 0, 0), AddFolder(f.section('>', 0, 0)));
        for (const QString& f : folders)
            if (f.contains('>'))
                Database::Exec("UPDATE emltemplatefolders SET parentemlltemplatefolderid = ? WHERE id = ?",
                               {ids.value(f.section('>', 1)), ids.value(f.section('>', 0, 0))});
        for (const QString& t : templates)
            AddTemplate(t.section('>', 0, 0),
                        t.contains('>') ? QVariant(ids.value(t.section('>', 1))) : QVariant());
        TemplateTree tree;
        QCOMPARE(Dump(tree.Model), expected);
    }

    void templateTree_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // The window's columns; focus by id opens the folder; a refresh keeps focus and opened folders,
    // raises no record change, and one that loses the focused row says so.
    void templateTree() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 news = AddFolder("Newsletter");
        const qint64 year = AddFolder("2026", news);
        const qint64 jan = AddTemplate("Januar", year, 4);
        const qint64 feb = AddTemplate("Februar", year, 3);
        Database::Exec("UPDATE emtemplates SET templstateid = 2 WHERE id = ?", {jan});
        TemplateTree tree;
        tree.Model.ContentRecordSet()->AddOrder("name");
        tree.View.Refresh();
        QCOMPARE(Captions(tree.Model), QStringList({"Name", "Verteiler", "Format", "Status",
                                                    "Zuletzt versendet", "Erstellt am", "Geändert am"}));
        QCOMPARE(Dump(tree.Model), QStringList({"Newsletter", "  2026", "    Februar", "    Januar"}));
        QCOMPARE(tree.Index(tnkContent, jan, 2).data().toString(), "HTML-Email");
        QCOMPARE(tree.Index(tnkContent, feb, 2).data().toString(), "SMS");
        QCOMPARE(tree.Index(tnkContent, jan, 3).data().toLongLong(), 2);
        QVERIFY(!tree.Index(tnkFolder, year, 2).data().isValid());
        QCOMPARE(tree.Index(tnkFolder, year).data(QVDBTreeModel::NodeKindRole).toInt(), int(tnkFolder));
        QCOMPARE(tree.Index(tnkContent, jan).data(QVDBTreeModel::RecordIDRole).toLongLong(), jan);

        QStringList changes;
        tree.View.SetOnRecordChanged([&] {
            changes
                << QStringLiteral("%1 %2").arg(tree.View.FocusedNode().Kind).arg(tree.View.ActiveContentID());
        });
        // Before the change the template record set is still on the template left.
        QStringList before;
        tree.View.SetOnBeforeRecordChanged([&] {
            before << QStringLiteral("%1 %2")
                          .arg(tree.View.ActiveContentID())
                          .arg(tree.Model.ContentRecordSet()->RecordID());
        });
        QVERIFY(tree.View.FocusNode({tnkContent, feb}));
        QVERIFY(tree.View.FocusNode({tnkContent, jan}));
        QVERIFY(tree.View.Tree()->isExpanded(tree.Index(tnkFolder, year)));
        QCOMPARE(changes, QStringList({QStringLiteral("1 %1").arg(feb), QStringLiteral("1 %1").arg(jan)}));
        QCOMPARE(before.size(), 2);
        QCOMPARE(before.last(), QStringLiteral("%1 %1").arg(feb));
        QCOMPARE(tree.Model.ContentRecordSet()->RecordID(), jan);
        QVERIFY(!tree.View.FocusNode({tnkContent, 999999}));
        changes.clear();

        // Another program adds a template that sorts first in the folder.
        AddTemplate("April", year);
        tree.View.Refresh();
        QCOMPARE(Dump(tree.Model),
                 QStringList({"Newsletter", "  2026", "    April", "    Februar", "    Januar"}));
        QCOMPARE(tree.View.FocusedNode(), (TQVTreeNode{tnkContent, jan}));
        QCOMPARE(tree.View.Tree()->currentIndex().data().toString(), "Januar");
        QCOMPARE(tree.Model.ContentRecordSet()->RecordID(), jan);
        QVERIFY(tree.View.Tree()->isExpanded(tree.Index(tnkFolder, news)));
        QVERIFY(tree.View.Tree()->isExpanded(tree.Index(tnkFolder, year)));
        QVERIFY(changes.isEmpty());
        QCOMPARE(before.size(), 2);

        // ... and deletes the focused one.
        Database::Exec("DELETE FROM emtemplates WHERE id = ?", {jan});
        tree.Model.Refresh();
        QCOMPARE(tree.View.ActiveContentID(), -1);
        QCOMPARE(changes, QStringList({"-1 -1"}));
        QCOMPARE(before.size(), 2); // the row left is gone: nothing to save

        // Deleted through the tree, the focus moves on without a before-change for the gone row.
        testsupport::ScriptedDialogService dialogs;
        QVERIFY(tree.View.FocusNode({tnkContent, feb}));
        QCOMPARE(before.size(), 3);
        dialogs.AddAnswer(mrYes);
        tree.View.DoAction(gaDelete);
        QCOMPARE(testsupport::Count(kTemplates, "id = ?", {feb}), 0);
        QCOMPARE(before.size(), 3);
        QVERIFY(tree.View.FocusedNode() != (TQVTreeNode{tnkContent, feb}));
        QCOMPARE(changes.size(), 3);
    }

    void deleteRules_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("canDelete");
        QTest::addColumn<int>("answer"); // -1: no question expected
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("deleted");
        const struct {
            const char* name;
            const char* target;
            bool canDelete;
            int answer;
            const char* question;
            bool deleted;
        } rows[] = {
            {"folder holding a template", "Voll", true, mrOk,
             "Der Ordner \"Voll\" enthält noch Einträge und kann nicht gelöscht werden.", false},
            {"folder holding a folder", "Eltern", true, mrOk,
             "Der Ordner \"Eltern\" enthält noch Einträge und kann nicht gelöscht werden.", false},
            {"folder holding a template not loaded", "Versteckt", true, mrOk,
             "Der Ordner \"Versteckt\" enthält noch Einträge und kann nicht gelöscht werden.", false},
            {"can-delete refuses a template", "Vorlage", false, -1, "", false},
            {"can-delete refuses a folder", "Leer", false, -1, "", false},
            {"template declined", "Vorlage", true, mrNo, "Soll \"Vorlage\" gelöscht werden?", false},
            {"template confirmed", "Vorlage", true, mrYes, "Soll \"Vorlage\" gelöscht werden?", true},
            {"empty folder confirmed", "Leer", true, mrYes, "Soll der Ordner \"Leer\" gelöscht werden?",
             true},
        };
        for (Backend b : TestDatabase::SelectedBackends())
            for (const auto& r : rows)
                QTest::newRow(
                    QByteArray(b == Backend::SQLite ? "sqlite " : "postgresql ").append(r.name).constData())
                    << b << QString(r.target) << r.canDelete << r.answer << QString::fromUtf8(r.question)
                    << r.deleted;
    }
    // A folder that still holds rows, loaded or not, is not deleted; the can-delete callback and the
    // confirmation decide the rest; a deleted template is reported to the owner.
    void deleteRules() {
        QFETCH(Backend, backend);
        QFETCH(QString, target);
        QFETCH(bool, canDelete);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(bool, deleted);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        QHash<QString, TQVTreeNode> nodes;
        const qint64 full = AddFolder("Voll");
        nodes["Voll"] = {tnkFolder, full};
        nodes["Vorlage"] = {tnkContent, AddTemplate("Vorlage", full)};
        const qint64 parent = AddFolder("Eltern");
        AddFolder("Kind", parent);
        nodes["Eltern"] = {tnkFolder, parent};
        const qint64 hidden = AddFolder("Versteckt");
        AddTemplate("nicht geladen", hidden);
        nodes["Versteckt"] = {tnkFolder, hidden};
        nodes["Leer"] = {tnkFolder, AddFolder("Leer")};

        TemplateTree tree;
        tree.Model.ContentRecordSet()->Filters().Add("name", "Vorlage");
        tree.View.Refresh();
        QCOMPARE(tree.Model.rowCount(tree.Index(tnkFolder, hidden)), 0);
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay errors;
        QList<TQVTreeNode> asked;
        tree.View.SetOnCanDelete([&](const TQVTreeNode& node) {
            asked << node;
            return canDelete;
        });
        QStringList after;
        tree.View.SetOnContentAfterAction(
            [&](int action, qint64 id) { after << QStringLiteral("%1 %2").arg(action).arg(id); });
        if (answer >= 0)
            dialogs.AddAnswer(TModalResult(answer));
        const TQVTreeNode node = nodes.value(target);
        QVERIFY(tree.View.FocusNode(node));
        const QString table = node.Kind == tnkFolder ? kFolders : kTemplates;
        const qint64 before = testsupport::Count(table);
        QTest::keyClick(tree.View.Tree(), Qt::Key_Delete);

        QVERIFY(errors.Records().isEmpty());
        QCOMPARE(dialogs.Questions.size(), answer >= 0 ? 1 : 0);
        if (answer >= 0)
            QCOMPARE(dialogs.Questions.first().Text, question);
        QCOMPARE(testsupport::Count(table), deleted ? before - 1 : before);
        QCOMPARE(testsupport::Count(table, "id = ?", {node.ID}), deleted ? 0 : 1);
        QCOMPARE(tree.Model.IndexOf(node).isValid(), !deleted);
        const bool reachesCallback = question.isEmpty() || !question.startsWith("Der Ordner");
        QCOMPARE(asked, reachesCallback ? QList<TQVTreeNode>({node}) : QList<TQVTreeNode>());
        QCOMPARE(after, deleted && node.Kind == tnkContent
                            ? QStringList({QStringLiteral("4 %1").arg(node.ID)})
                            : QStringList());
    }

    void folderFilledWhileAsked_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("message");
        const struct {
            const char* language;
            const char* message;
        } rows[] = {
            {"German", "Der Ordner \"Leer\" enthält noch Einträge und kann nicht gelöscht werden."},
            {"English", "The folder \"Leer\" still holds entries and cannot be deleted."},
        };
        for (Backend b : TestDatabase::SelectedBackends())
            for (const auto& r : rows)
                QTest::newRow(QByteArray(b == Backend::SQLite ? "sqlite " : "postgresql ")
                                  .append(r.language)
                                  .constData())
                    << b << QString(r.language) << QString::fromUtf8(r.message);
    }
    // Another user files a template into the empty folder while the deletion is asked about: the
    // folder stays and the user is told so in the window's language.
    void folderFilledWhileAsked() {
        QFETCH(Backend, backend);
        QFETCH(QString, language);
        QFETCH(QString, message);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TVRNLang::SetCurrentLanguage(language);
        const qint64 empty = AddFolder("Leer");
        TemplateTree tree;
        tree.View.SetLanguage(language);
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay errors;
        tree.View.SetOnCanDelete([&](const TQVTreeNode&) {
            AddTemplate("Neu", empty);
            return true;
        });
        dialogs.AddAnswer(mrYes);
        QVERIFY(tree.View.FocusNode({tnkFolder, empty}));
        QTest::keyClick(tree.View.Tree(), Qt::Key_Delete);

        QCOMPARE(testsupport::Count(kFolders, "id = ?", {empty}), 1);
        QVERIFY(tree.Model.IndexOf({tnkFolder, empty}).isValid());
        QCOMPARE(errors.Records().size(), 1);
        QVERIFY(errors.Records().at(0).Exception.UserMessage);
        QCOMPARE(errors.Records().at(0).Exception.Message, message);
    }

    void editInPlace_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // The style is edited with its pick-list texts and posted at once; a folder's name too.
    void editInPlace() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 folder = AddFolder("Ordner");
        const qint64 t = AddTemplate("Vorlage", folder, 0);
        TemplateTree tree;
        tree.Show();
        testsupport::RecordingExceptionDisplay errors;
        QStringList changed;
        tree.Model.SetOnContentFieldChanged([&](qint64 id, const QString& field, const QVariant& value) {
            changed << QStringLiteral("%1 %2 %3").arg(id).arg(field, value.toString());
        });
        QVERIFY(tree.View.FocusNode({tnkContent, t}));
        const QModelIndex style = tree.Index(tnkContent, t, 2);
        QVERIFY(tree.Model.flags(style).testFlag(Qt::ItemIsEditable));
        tree.View.Tree()->setCurrentIndex(style);
        tree.View.DoAction(gaEdit);
        auto* combo = tree.View.Tree()->findChild<QComboBox*>("PickListEditor");
        QVERIFY(combo);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        QCOMPARE(texts,
                 QStringList({"Text-Email", "RTF-Email", "Quelltext (HTML/Text)", "SMS", "HTML-Email"}));
        QCOMPARE(combo->currentText(), "Text-Email");
        combo->setCurrentIndex(4);
        emit combo->activated(4); // the user's choice in the list
        QCOMPARE(testsupport::Value(kTemplates, "emailstyle", "id = ?", {t}).toLongLong(), 4);
        QCOMPARE(tree.Index(tnkContent, t, 2).data().toString(), "HTML-Email");
        QCOMPARE(changed, QStringList({QStringLiteral("%1 emailstyle 4").arg(t)}));

        QVERIFY(tree.Model.setData(tree.Index(tnkFolder, folder), "Umbenannt"));
        QCOMPARE(testsupport::Value(kFolders, "descr", "id = ?", {folder}).toString(), "Umbenannt");
        QCOMPARE(changed.size(), 1);
        // A column a folder row leaves empty is not editable there.
        QVERIFY(!tree.Model.flags(tree.Index(tnkFolder, folder, 2)).testFlag(Qt::ItemIsEditable));
        QVERIFY(!tree.Model.setData(tree.Index(tnkFolder, folder, 2), 1));
        // Moving a template to another folder moves its row.
        const qint64 other = AddFolder("Anderer");
        tree.View.Refresh();
        tree.Model.SetValue({tnkContent, t}, "templatefolderid", other);
        QCOMPARE(Dump(tree.Model), QStringList({"Umbenannt", "Anderer", "  Vorlage"}));
        QVERIFY(errors.Records().isEmpty());
    }

    void addFolderAndContent_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // The add dialog adds a folder inside the focused folder and a template in the focused folder
    // with the content variable; an empty name cannot be confirmed; cancel adds nothing.
    void addFolderAndContent() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 top = AddFolder("Oben");
        TemplateTree tree;
        tree.Model.SetContentVariable("templstateid", 7);
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay errors;
        auto choose = [](const char* radio, const QString& name) {
            return [radio, name](QDialog& dialog) {
                auto* button = dialog.findChild<QRadioButton*>(radio);
                QVERIFY(button && button->isVisible());
                button->setChecked(true);
                dialog.findChild<QLineEdit*>("edtName")->setText(name);
                dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            };
        };
        QVERIFY(tree.View.FocusNode({tnkFolder, top}));
        dialogs.AddModal(choose("rbtnFolder", "  Unten "));
        tree.View.findChild<QToolButton*>("btnAdd")->click();
        const qint64 below = testsupport::Value(kFolders, "id", "descr = ?", {"Unten"}).toLongLong();
        QVERIFY(below > 0);
        QCOMPARE(testsupport::Value(kFolders, "parentemlltemplatefolderid", "id = ?", {below}).toLongLong(),
                 top);
        QCOMPARE(tree.View.FocusedNode(), (TQVTreeNode{tnkFolder, below}));

        dialogs.AddModal([](QDialog& dialog) {
            QCOMPARE(dialog.findChild<QRadioButton*>("rbtnContent")->text(), "&E-Mail Vorlage");
            QVERIFY(dialog.findChild<QRadioButton*>("rbtnContent")->isChecked());
            dialog.findChild<QLineEdit*>("edtName")->setText("Sommer");
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        tree.View.DoAdd();
        const qint64 summer = testsupport::Value(kTemplates, "id", "name = ?", {"Sommer"}).toLongLong();
        QVERIFY(summer > 0);
        QCOMPARE(testsupport::Value(kTemplates, "templatefolderid", "id = ?", {summer}).toLongLong(), below);
        QCOMPARE(testsupport::Value(kTemplates, "templstateid", "id = ?", {summer}).toLongLong(), 7);
        QCOMPARE(tree.View.ActiveContentID(), summer);
        QCOMPARE(Dump(tree.Model), QStringList({"Oben", "  Unten", "    Sommer"}));

        // The window's add action: a template only, beside the focused one.
        dialogs.AddModal([](QDialog& dialog) {
            QVERIFY(!dialog.findChild<QRadioButton*>("rbtnFolder")->isVisible());
            auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            dialog.findChild<QLineEdit*>("edtName")->setText("   ");
            QVERIFY(!ok->isEnabled());
            dialog.findChild<QLineEdit*>("edtName")->setText("Herbst");
            QVERIFY(ok->isEnabled());
            ok->click();
        });
        tree.View.AddContent();
        QCOMPARE(Dump(tree.Model), QStringList({"Oben", "  Unten", "    Sommer", "    Herbst"}));

        dialogs.AddModal([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("edtName")->setText("Nie");
            dialog.reject();
        });
        tree.View.DoAdd();
        QCOMPARE(testsupport::Count(kTemplates), 2);
        QCOMPARE(testsupport::Count(kFolders), 2);
        QCOMPARE(dialogs.Modals, QStringList(4, "QVDBTreeAddDialog"));
        QVERIFY(errors.Records().isEmpty());
    }

    void ownerActions_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<int>("action");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const QByteArray prefix = b == Backend::SQLite ? "sqlite " : "postgresql ";
            QTest::newRow(prefix + "delete") << b << QKeySequence(Qt::Key_Delete) << int(gaDelete);
            QTest::newRow(prefix + "edit") << b << QKeySequence(Qt::Key_F2) << int(gaEdit);
            QTest::newRow(prefix + "copy") << b << QKeySequence(QKeySequence::Copy) << int(gaCopy);
        }
    }
    // The keys raise the action codes to the owner with the focused template; handled, the
    // default does not run. A folder's actions are the tree's own.
    void ownerActions() {
        QFETCH(Backend, backend);
        QFETCH(QKeySequence, keys);
        QFETCH(int, action);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 folder = AddFolder("Ordner");
        const qint64 t = AddTemplate("Vorlage", folder, 1);
        TemplateTree tree;
        tree.Show();
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay errors;
        QStringList raised;
        tree.View.SetOnContentAction([&](int a, qint64 id, bool& handled) {
            raised << QStringLiteral("%1 %2").arg(a).arg(id);
            handled = true;
        });
        QApplication::clipboard()->setText("unchanged");
        QVERIFY(tree.View.FocusNode({tnkContent, t}));
        QTest::keySequence(tree.View.Tree(), keys);
        QCOMPARE(raised, QStringList({QStringLiteral("%1 %2").arg(action).arg(t)}));
        QVERIFY(dialogs.Questions.isEmpty());
        QVERIFY(!tree.View.Tree()->findChild<QLineEdit*>());
        QCOMPARE(testsupport::Count(kTemplates), 1);
        QCOMPARE(QApplication::clipboard()->text(), "unchanged");

        QVERIFY(tree.View.FocusNode({tnkFolder, folder}));
        if (action == gaCopy) {
            QTest::keySequence(tree.View.Tree(), keys);
            QCOMPARE(QApplication::clipboard()->text(), "Ordner\t\t\t\t\t\t");
        }
        QCOMPARE(raised.size(), 1);
        QVERIFY(errors.Records().isEmpty());
    }

    void copyLeftToTheTree_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // Not handled, copy puts the template's row on the clipboard and is reported after.
    void copyLeftToTheTree() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 t = AddTemplate("Vorlage", {}, 3);
        TemplateTree tree;
        QStringList log;
        tree.View.SetOnContentAction(
            [&](int a, qint64 id, bool&) { log << QStringLiteral("action %1 %2").arg(a).arg(id); });
        tree.View.SetOnContentAfterAction(
            [&](int a, qint64 id) { log << QStringLiteral("after %1 %2").arg(a).arg(id); });
        QVERIFY(tree.View.FocusNode({tnkContent, t}));
        tree.View.findChild<QToolButton*>("btnCopy")->click();
        QCOMPARE(log,
                 QStringList({QStringLiteral("action 6 %1").arg(t), QStringLiteral("after 6 %1").arg(t)}));
        QCOMPARE(QApplication::clipboard()->text(), "Vorlage\t\tSMS\t\t\t\t");
    }

    void colourAndImage_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // A running template is drawn #5FC571 with image 40 (normal and selected), the others with the
    // content image; grabbed in German and English.
    void colourAndImage() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 folder = AddFolder("Aktionen");
        const qint64 idle = AddTemplate("Ruhig", folder, 0);
        const qint64 running = AddTemplate("Läuft", folder, 4);
        const qint64 other = AddTemplate("Frühling", folder, 1);
        TemplateTree tree;
        tree.Model.SetImageList([](int image) {
            return QIcon(Square(image == 40   ? QColor("#D02020")
                                : image == 74 ? QColor("#2040D0")
                                              : Qt::gray));
        });
        tree.Model.SetOnGetCellColor([&](const TQVTreeNode& node, int) {
            return node == TQVTreeNode{tnkContent, running} ? 7456095 : clNone;
        });
        tree.Model.SetOnGetImageIndex([&](const TQVTreeNode& node, int column, bool, int fallback) {
            return column == 0 && node == TQVTreeNode{tnkContent, running} ? 40 : fallback;
        });
        tree.View.Refresh();
        for (int c = 0; c < tree.Model.columnCount(); ++c)
            QCOMPARE(tree.Index(tnkContent, running, c).data(Qt::BackgroundRole).value<QColor>(),
                     QColor("#5FC571"));
        QVERIFY(!tree.Index(tnkContent, idle, 0).data(Qt::BackgroundRole).isValid());
        QVERIFY(!tree.Index(tnkFolder, folder, 0).data(Qt::BackgroundRole).isValid());
        QCOMPARE(tree.Index(tnkContent, running).data(QVDBTreeModel::ImageIndexRole).toInt(), 40);
        QCOMPARE(tree.Index(tnkContent, running).data(QVDBTreeModel::SelectedImageIndexRole).toInt(), 40);
        QCOMPARE(tree.Index(tnkContent, running, 1).data(QVDBTreeModel::ImageIndexRole).toInt(), -1);
        QCOMPARE(tree.Index(tnkContent, idle).data(QVDBTreeModel::ImageIndexRole).toInt(), 74);
        QCOMPARE(tree.Index(tnkFolder, folder).data(QVDBTreeModel::ImageIndexRole).toInt(), -1);

        QMenu preview;
        QMenu sending;
        tree.View.AddUserButton("&Vorschau", &preview);
        tree.View.AddUserButton("V&ersand", &sending);
        tree.View.SetButtonHint(tbAdd, "Neues Email oder einen Ordner hinzufügen");
        tree.View.SetButtonHint(tbCopy, "Markiertes Email duplizieren/kopieren");
        tree.Show();
        QVERIFY(tree.View.FocusNode({tnkContent, other}));
        tree.View.Tree()->resizeColumnToContents(0);
        tree.View.Tree()->resizeColumnToContents(2);
        const QImage german = Grab(tree.View, "tst_QVDBTreeView_de.png");
        QTreeView* view = tree.View.Tree();
        const QPoint origin = view->viewport()->mapTo(&tree.View, QPoint(0, 0));
        const QRect green = view->visualRect(tree.Index(tnkContent, running, 3)).translated(origin);
        const QRect plain = view->visualRect(tree.Index(tnkContent, idle, 3)).translated(origin);
        QCOMPARE(PixelAt(german, green.center()), QColor("#5FC571"));
        QVERIFY(PixelAt(german, plain.center()) != QColor("#5FC571"));
        auto iconPixel = [&](const QImage& image, qint64 id) {
            const QRect cell = view->visualRect(tree.Index(tnkContent, id, 0)).translated(origin);
            return PixelAt(image, QPoint(cell.left() + 10, cell.center().y()));
        };
        QCOMPARE(iconPixel(german, running), QColor("#D02020"));
        QCOMPARE(iconPixel(german, idle), QColor("#2040D0"));
        QCOMPARE(tree.View.findChild<QToolButton*>("btnAdd")->toolTip(),
                 "Neues Email oder einen Ordner hinzufügen");
        QCOMPARE(tree.View.findChild<QToolButton*>("btnAdd")->text(), "&Neu");

        // Selected, the running template keeps image 40 as it is.
        QVERIFY(tree.View.FocusNode({tnkContent, running}));
        tree.View.SetLanguage("English");
        QCOMPARE(tree.View.findChild<QToolButton*>("btnAdd")->text(), "&New");
        QCOMPARE(tree.View.findChild<QToolButton*>("btnDelete")->text(), "&Delete");
        const QImage english = Grab(tree.View, "tst_QVDBTreeView_en.png");
        QCOMPARE(iconPixel(english, running), QColor("#D02020"));
    }

    void userButtonsDropDown_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // "Vorschau" and "Versand" drop down their menus below themselves; the owner fills them when
    // they first open.
    void userButtonsDropDown() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        AddTemplate("Vorlage");
        TemplateTree tree;
        QMenu pmnuPreviewGrid;
        QMenu pmnuSendingGrid;
        int built = 0;
        connect(&pmnuPreviewGrid, &QMenu::aboutToShow, this, [&] {
            if (!pmnuPreviewGrid.isEmpty())
                return;
            ++built;
            pmnuPreviewGrid.addAction("Versand...");
            pmnuPreviewGrid.addSeparator();
            pmnuPreviewGrid.addAction("An alle erfolgreichen");
        });
        connect(&pmnuSendingGrid, &QMenu::aboutToShow, this, [&] {
            if (pmnuSendingGrid.isEmpty())
                pmnuSendingGrid.addAction("Starten");
        });
        QToolButton* preview = tree.View.AddUserButton("&Vorschau", &pmnuPreviewGrid);
        QToolButton* sending = tree.View.AddUserButton("V&ersand", &pmnuSendingGrid);
        tree.Show();
        // After the tree's own buttons, in the order added.
        QVERIFY(tree.View.findChild<QToolButton*>("btnCopy")->x() < preview->x());
        QVERIFY(preview->x() < sending->x());
        for (int round = 0; round < 2; ++round) {
            for (auto [button, menu, first] : {std::tuple{preview, &pmnuPreviewGrid, QString("Versand...")},
                                               std::tuple{sending, &pmnuSendingGrid, QString("Starten")}}) {
                QTest::mouseClick(button, Qt::LeftButton);
                QVERIFY(menu->isVisible());
                QCOMPARE(menu->actions().first()->text(), first);
                QCOMPARE(menu->pos(), button->mapToGlobal(QPoint(0, button->height())));
                menu->hide();
            }
        }
        QCOMPARE(built, 1);
        QCOMPARE(pmnuPreviewGrid.actions().size(), 3);
    }

    void flatList_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // Without a parent field the rows are a flat list (the template states): edited in place,
    // added by name, deleted after the confirmation.
    void flatList() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 draft = Database::InsertRow("emltemplstates", {"descr"}, {"Entwurf"});
        Database::InsertRow("emltemplstates", {"descr"}, {"Versendet"});
        TQVRecordSet states("emltemplstates");
        QVDBTreeModel model(&states, {});
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetColumns({{"descr", {}, {}, false}});
        QVDBTreeView view;
        view.SetTreeModel(&model);
        view.Refresh();
        QCOMPARE(Captions(model), QStringList({"Bezeichnung"}));
        QCOMPARE(Dump(model), QStringList({"Entwurf", "Versendet"}));
        QVERIFY(model.setData(model.IndexOf({tnkFolder, draft}), "Vorlage"));
        QCOMPARE(testsupport::Value("emltemplstates", "descr", "id = ?", {draft}).toString(), "Vorlage");

        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay errors;
        QVERIFY(view.FocusNode({tnkFolder, draft}));
        dialogs.AddModal([](QDialog& dialog) {
            QVERIFY(!dialog.findChild<QRadioButton*>("rbtnContent")->isVisible());
            dialog.findChild<QLineEdit*>("edtName")->setText("Archiviert");
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        view.DoAdd();
        QCOMPARE(Dump(model), QStringList({"Vorlage", "Versendet", "Archiviert"}));
        QCOMPARE(model.NodeOf(view.Tree()->currentIndex()).ID,
                 testsupport::Value("emltemplstates", "id", "descr = ?", {"Archiviert"}).toLongLong());

        dialogs.AddAnswer(mrYes);
        QVERIFY(view.FocusNode({tnkFolder, draft}));
        view.DoAction(gaDelete);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(Dump(model), QStringList({"Versendet", "Archiviert"}));
        QCOMPARE(testsupport::Count("emltemplstates"), 2);
        // The focus moved to a remaining row, which is the model's current record.
        QVERIFY(view.FocusedNode().Kind == tnkFolder);
        QCOMPARE(states.RecordID(), view.FocusedNode().ID);
        QVERIFY(errors.Records().isEmpty());
    }
};

QTEST_MAIN(tst_QVDBTreeView)
#include "tst_QVDBTreeView.moc"

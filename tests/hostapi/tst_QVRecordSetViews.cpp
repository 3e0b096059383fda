// Record-set views: the table model over a record set and in memory mode, the grid (selection,
// actions, row colours) and the lookup combo box, under QAbstractItemModelTester.

#include "Database.h"
#include "QVDBGrid.h"
#include "DBFieldSchema.h"
#include "QVDBLookupComboBox.h"
#include "QVLookupListModel.h"
#include "QVRecordSet.h"
#include "QVRecordSetModel.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <sqlite3.h>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

qint64 AddTemplate(const QString& name) {
    return Database::InsertRow("emtemplates", {"name"}, {name});
}

qint64 AddAttachment(qint64 templateId, const QString& fileName, int useMacros, int isInline) {
    return Database::InsertRow(
        "emlattachements", {"emltemplateid", "filename", "filesource", "usemacros", "isinline"},
        {templateId, fileName, QStringLiteral("/data/") + fileName, useMacros, isInline});
}

// A connection of its own to the test database, as another program would use.
class OtherConnection {
public:
    OtherConnection() {
        FDb = Database::AddConnection(Database::Config(), FName);
        if (!FDb.open())
            qFatal("second connection: %s", qPrintable(FDb.lastError().text()));
    }
    ~OtherConnection() {
        FDb.close();
        FDb = {};
        QSqlDatabase::removeDatabase(FName);
    }
    QSqlQuery Exec(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(FDb);
        q.prepare(sql);
        for (const QVariant& b : binds)
            q.addBindValue(b);
        if (!q.exec())
            qFatal("second connection: %s", qPrintable(q.lastError().text()));
        return q;
    }
    QVariant Value(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q = Exec(sql, binds);
        return q.next() ? q.value(0) : QVariant();
    }

private:
    QString FName = QStringLiteral("views-other");
    QSqlDatabase FDb;
};

// Counts the SELECT statements SQLite runs on the calling thread's host connection.
class SelectCounter {
public:
    SelectCounter() {
        FDb = static_cast<sqlite3*>(
            *static_cast<void* const*>(Database::Connection().driver()->handle().data()));
        sqlite3_trace_v2(FDb, SQLITE_TRACE_STMT, &SelectCounter::Trace, this);
    }
    ~SelectCounter() { sqlite3_trace_v2(FDb, 0, nullptr, nullptr); }
    int Count() const { return FCount; }

private:
    static int Trace(unsigned, void* self, void*, void* sql) {
        const QByteArray text = QByteArray(static_cast<const char*>(sql)).trimmed();
        if (text.left(6).compare("SELECT", Qt::CaseInsensitive) == 0)
            ++static_cast<SelectCounter*>(self)->FCount;
        return 0;
    }
    sqlite3* FDb = nullptr;
    int FCount = 0;
};

const QList<TQVGridColumn> kAttachmentColumns = {
    {"filename", {}, false}, {"filesource", {}, true}, {"usemacros", {}, false}, {"isinline", {}, false}};

QStringList Captions(const QAbstractItemModel& model) {
    QStringList captions;
    for (int c = 0; c < model.columnCount(); ++c)
        captions << model.headerData(c, Qt::Horizontal).toString();
    return captions;
}

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.index(r, column).data().toString();
    return texts;
}

void ShowGrid(QVDBGrid& grid) {
    grid.resize(640, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
}

} // namespace

class tst_QVRecordSetViews : public QObject {
    Q_OBJECT

private slots:
    void attachmentGrid_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // The attachments of one template: captions, pick lists, an edit posted at once and read back
    // through another connection, a read-only column, multi-selection and the delete action.
    void attachmentGrid() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 mine = AddTemplate("mine");
        const qint64 other = AddTemplate("other");
        const qint64 a1 = AddAttachment(mine, "a.pdf", 1, 0);
        const qint64 a2 = AddAttachment(mine, "b.pdf", 2, 1);
        const qint64 a3 = AddAttachment(mine, "c.pdf", 2, 0);
        AddAttachment(other, "x.pdf", 1, 0);

        TQVRecordSet rs("emlattachements");
        rs.Filters().Add("emltemplateid", mine);
        QVRecordSetModel model(&rs);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetColumns(kAttachmentColumns);
        model.Refresh();

        QCOMPARE(Captions(model), QStringList({"Dateiname", "Datei", "Personalisierung", "Anhangsart"}));
        QCOMPARE(Column(model, 0), QStringList({"a.pdf", "b.pdf", "c.pdf"}));
        QCOMPARE(Column(model, 2),
                 QStringList({"Nicht personalisieren", "Personalisieren", "Personalisieren"}));
        QCOMPARE(Column(model, 3), QStringList({"Normaler Anhang", "Inline Anhang", "Normaler Anhang"}));
        QCOMPARE(model.index(1, 2).data(Qt::EditRole).toLongLong(), 2);
        QCOMPARE(model.index(1, 0).data(QVRecordSetModel::RecordIDRole).toLongLong(), a2);

        // Edits post at once; the read-only column refuses.
        OtherConnection otherDb;
        QVERIFY(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
        QVERIFY(!model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));
        QVERIFY(model.setData(model.index(0, 0), "renamed.pdf"));
        QVERIFY(model.setData(model.index(0, 3), 1));
        QCOMPARE(otherDb.Value("SELECT filename FROM emlattachements WHERE id = ?", {a1}).toString(),
                 "renamed.pdf");
        QCOMPARE(otherDb.Value("SELECT isinline FROM emlattachements WHERE id = ?", {a1}).toLongLong(), 1);
        QCOMPARE(model.index(0, 3).data().toString(), "Inline Anhang");
        QVERIFY(!model.setData(model.index(0, 1), "/elsewhere"));
        QCOMPARE(otherDb.Value("SELECT filesource FROM emlattachements WHERE id = ?", {a1}).toString(),
                 "/data/a.pdf");

        // Multi-selection answers the selected rows and their ids.
        QVDBGrid grid;
        grid.SetRecordSetModel(&model);
        grid.SetMultiSelect(true);
        ShowGrid(grid);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(model.index(2, 0)).center());
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier,
                          grid.visualRect(model.index(0, 0)).center());
        QCOMPARE(grid.SelectedRows(), QList<int>({0, 2}));
        QCOMPARE(grid.SelectedIDs(), QList<qint64>({a1, a3}));

        // Delete handled by the owner: nothing is deleted, no question is asked.
        testsupport::ScriptedDialogService dialogs;
        QList<int> raised;
        bool handle = true;
        grid.SetOnAction([&](int action, bool& handled) {
            raised << action;
            handled = handle;
        });
        QTest::keyClick(&grid, Qt::Key_Delete);
        QCOMPARE(raised, QList<int>({gaDelete}));
        QVERIFY(dialogs.Questions.isEmpty());
        QCOMPARE(testsupport::Count("emlattachements"), 4);

        // Left to the default: confirmed, the selected rows go.
        handle = false;
        dialogs.AddAnswer(mrYes);
        grid.DoAction(gaDelete);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(testsupport::Count("emlattachements"), 2);
        QCOMPARE(otherDb.Value("SELECT COUNT(*) FROM emlattachements WHERE id = ?", {a2}).toLongLong(), 1);
        QCOMPARE(Column(model, 0), QStringList({"b.pdf"}));

        // Copy left to the default: the selected rows as text.
        grid.selectRow(0);
        QTest::keySequence(&grid, QKeySequence::Copy);
        QCOMPARE(raised.last(), int(gaCopy));
        QCOMPARE(QApplication::clipboard()->text(), "Dateiname\tDatei\tPersonalisierung\tAnhangsart\nb.pdf\t/"
                                                    "data/b.pdf\tPersonalisieren\tInline Anhang");
    }

    void deleteAnswersNo_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void deleteAnswersNo() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 t = AddTemplate("t");
        AddAttachment(t, "a.pdf", 1, 0);
        TQVRecordSet rs("emlattachements");
        QVRecordSetModel model(&rs);
        model.Refresh();
        QVDBGrid grid;
        grid.SetRecordSetModel(&model);
        grid.selectRow(0);
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(mrNo);
        grid.DoAction(gaDelete);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(testsupport::Count("emlattachements"), 1);
        QCOMPARE(model.rowCount(), 1);
    }

    void rowColorPaintsTheRow_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // TColor 7456095 is BGR: the row is painted #5FC571.
    void rowColorPaintsTheRow() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 t = AddTemplate("t");
        AddAttachment(t, "a.pdf", 1, 0);
        const qint64 green = AddAttachment(t, "<b>x</b>", 2, 0);
        AddAttachment(t, "c.pdf", 1, 0);
        TQVRecordSet rs("emlattachements");
        QVRecordSetModel model(&rs);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetColumns(kAttachmentColumns);
        model.SetOnGetRowColor([&](int row) { return model.RecordID(row) == green ? 7456095 : clNone; });
        model.Refresh();
        QCOMPARE(ColorFromTColor(7456095), QColor("#5FC571"));
        QCOMPARE(model.index(1, 0).data(Qt::BackgroundRole).value<QColor>(), QColor("#5FC571"));
        QVERIFY(!model.index(0, 0).data(Qt::BackgroundRole).isValid());
        // Shown literally, not as rich text.
        QCOMPARE(model.index(1, 0).data().toString(), "<b>x</b>");

        QVDBGrid grid;
        grid.SetRecordSetModel(&model);
        ShowGrid(grid);
        grid.clearSelection();
        grid.setCurrentIndex({});
        const QImage image = grid.grab().toImage();
        image.save(QCoreApplication::applicationDirPath() + "/tst_QVRecordSetViews_grid.png");
        const QRect green1 = grid.visualRect(model.index(1, 2)).translated(grid.viewport()->pos());
        const QRect plain = grid.visualRect(model.index(0, 2)).translated(grid.viewport()->pos());
        const qreal dpr = image.devicePixelRatio();
        auto pixel = [&](QPoint p) { return image.pixelColor(int(p.x() * dpr), int(p.y() * dpr)); };
        // The right end of the pick-list cell holds no text.
        QCOMPARE(pixel(green1.topRight() + QPoint(-3, green1.height() / 2)), QColor("#5FC571"));
        QVERIFY(pixel(plain.topRight() + QPoint(-3, plain.height() / 2)) != QColor("#5FC571"));
    }

    void events_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // Before load sets a custom filter; after refresh, field changed and record changed are raised.
    void events() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 mine = AddTemplate("mine");
        const qint64 other = AddTemplate("other");
        AddAttachment(mine, "a.pdf", 1, 0);
        AddAttachment(other, "x.pdf", 1, 0);
        AddAttachment(mine, "b.pdf", 1, 0);

        TQVRecordSet rs("emlattachements");
        QVRecordSetModel model(&rs);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        qint64 templateId = mine;
        QStringList log;
        model.SetOnBeforeLoad([&](TQVRecordSet& set) {
            set.Filters().Clear();
            set.Filters().Add("emltemplateid", templateId);
            log << "before";
        });
        model.SetOnAfterRefresh([&] { log << QStringLiteral("after %1").arg(model.rowCount()); });
        model.SetOnFieldChanged([&](int row, const QString& field, const QVariant& value) {
            log << QStringLiteral("field %1 %2 %3").arg(row).arg(field, value.toString());
        });
        model.SetOnRecordChanged([&](int row) {
            log << QStringLiteral("record %1 %2").arg(row).arg(rs.FieldValue("filename").toString());
        });
        model.SetColumns({{"filename", {}, false}});
        model.Refresh();
        QCOMPARE(Column(model, 0), QStringList({"a.pdf", "b.pdf"}));
        templateId = other;
        model.Refresh();
        QCOMPARE(Column(model, 0), QStringList({"x.pdf"}));
        templateId = mine;
        model.Refresh();

        QVDBGrid grid;
        grid.SetRecordSetModel(&model);
        grid.setCurrentIndex(model.index(1, 0));
        model.SetValue(1, "filename", "bb.pdf");
        QCOMPARE(log, QStringList({"before", "after 2", "before", "after 1", "before", "after 2",
                                   "record 1 b.pdf", "field 1 filename bb.pdf"}));
    }

    void oneSelectPerRefresh() {
        TestDatabase tdb(Backend::SQLite);
        const qint64 t = AddTemplate("t");
        for (int i = 0; i < 20; ++i)
            AddAttachment(t, QStringLiteral("f%1.pdf").arg(i), 1 + i % 2, i % 2);
        TQVRecordSet rs("emlattachements");
        QVRecordSetModel model(&rs);
        model.SetColumns(kAttachmentColumns);
        QVDBGrid grid;
        grid.SetRecordSetModel(&model);
        ShowGrid(grid);
        SelectCounter counter;
        model.Refresh();
        grid.repaint();
        QCOMPARE(counter.Count(), 1);
        model.Refresh();
        grid.repaint();
        QCOMPARE(counter.Count(), 2);
        QCOMPARE(model.rowCount(), 20);
    }

    void relatedFieldAndIcon_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // A field of a related schema is a read-only column with that schema's caption; the icon
    // callback decorates the first column.
    void relatedFieldAndIcon() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 active = Database::InsertRow("pelm_addresses_ass", {"name"}, {"Active"});
        const qint64 inactive = Database::InsertRow("pelm_addresses_ass", {"name"}, {"Inactive"});
        Database::Exec("INSERT INTO pelm_addresses_det (id, isactive) VALUES (?, 1), (?, 0)",
                       {active, inactive});
        TQVRecordSet rs("pelm_addresses_ass");
        rs.AddRelatedField("pelm_addresses_det.isactive");
        rs.AddOrder("name");
        QVRecordSetModel model(&rs);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QPixmap mark(8, 8);
        mark.fill(Qt::red);
        model.SetOnGetRowIcon([&](int row) {
            return model.Value(row, "pelm_addresses_det.isactive").toInt() ? QIcon(mark) : QIcon();
        });
        model.SetColumns({{"name", {}, false}, {"pelm_addresses_det.isactive", {}, false}});
        model.Refresh();
        const IDBFieldSchemaItem& det = TDBFieldSchema::Instance().RequireSchema("pelm_addresses_det");
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(),
                 det.Field(det.IndexOfField("isactive")).Caption);
        QCOMPARE(model.index(0, 1).data(Qt::EditRole).toLongLong(), 1);
        QCOMPARE(model.index(1, 1).data(Qt::EditRole).toLongLong(), 0);
        QVERIFY(!model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));
        QVERIFY(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
        QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
    }

    void pickListEditor_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // The grid edits a coded field with its pick-list texts and stores the key.
    void pickListEditor() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 id = AddAttachment(AddTemplate("t"), "a.pdf", 1, 0);
        TQVRecordSet rs("emlattachements");
        QVRecordSetModel model(&rs);
        model.SetColumns(kAttachmentColumns);
        model.Refresh();
        QVDBGrid grid;
        grid.SetRecordSetModel(&model);
        ShowGrid(grid);
        grid.setCurrentIndex(model.index(0, 2));
        grid.DoAction(gaEdit);
        auto* combo = grid.findChild<QComboBox*>("PickListEditor");
        QVERIFY(combo);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        QCOMPARE(texts, QStringList({"Nicht personalisieren", "Personalisieren"}));
        QCOMPARE(combo->currentText(), "Nicht personalisieren");
        combo->setCurrentIndex(1);
        emit combo->activated(1); // as the user's choice in the list
        QCOMPARE(testsupport::Value("emlattachements", "usemacros", "id = ?", {id}).toLongLong(), 2);
        QCOMPARE(model.index(0, 2).data().toString(), "Personalisieren");
    }

    // A mirror that is not a table: captions and pick lists of the schema, edits kept in memory.
    void memoryMode() {
        TestDatabase tdb(Backend::SQLite);
        std::unique_ptr<QVRecordSetModel> model(QVRecordSetModel::CreateMemory("emlattachements"));
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        model->SetColumns(kAttachmentColumns);
        QStringList changes;
        model->SetOnFieldChanged([&](int row, const QString& field, const QVariant& value) {
            changes << QStringLiteral("%1 %2 %3").arg(row).arg(field, value.toString());
        });
        model->AppendMemoryRow({{"filename", "a.pdf"}, {"usemacros", 2}, {"isinline", 0}});
        model->AppendMemoryRow({{"filename", "b.pdf"}, {"usemacros", 1}});
        QCOMPARE(Captions(*model), QStringList({"Dateiname", "Datei", "Personalisierung", "Anhangsart"}));
        QCOMPARE(Column(*model, 2), QStringList({"Personalisieren", "Nicht personalisieren"}));
        QCOMPARE(Column(*model, 3), QStringList({"Normaler Anhang", ""}));
        QVERIFY(model->setData(model->index(1, 0), "c.pdf"));
        QCOMPARE(model->Value(1, "filename").toString(), "c.pdf");
        QCOMPARE(changes, QStringList({"1 filename c.pdf"}));
        QCOMPARE(model->RecordID(0), -1);
        QCOMPARE(testsupport::Count("emlattachements"), 0);
        model->DeleteRows({0});
        QCOMPARE(Column(*model, 0), QStringList({"c.pdf"}));
        model->Refresh();
        QCOMPARE(model->rowCount(), 1);
        QVERIFY_THROWS_EXCEPTION(std::exception, model->AppendMemoryRow({{"nosuchfield", 1}}));
    }

    void lookupCombo_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    // Names shown, ids given, the empty entry first; a list added elsewhere appears on refresh.
    void lookupCombo() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 beta = Database::InsertRow("emlists", {"name"}, {"Beta"});
        const qint64 alpha = Database::InsertRow("emlists", {"name"}, {"Alpha"});

        QVDBLookupComboBox combo;
        QAbstractItemModelTester tester(combo.LookupModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        combo.SetLookup("emlists", "id", "name");
        combo.SetEmptyEntry(true);
        combo.Refresh();
        QStringList items;
        for (int i = 0; i < combo.count(); ++i)
            items << combo.itemText(i);
        QCOMPARE(items, QStringList({"", "Alpha", "Beta"}));
        QVERIFY(combo.Value().isNull());

        QList<QVariant> changed;
        connect(&combo, &QVDBLookupComboBox::ValueChanged, this, [&](const QVariant& v) { changed << v; });
        combo.SetValue(beta);
        QCOMPARE(combo.currentText(), "Beta");
        QCOMPARE(combo.Value().toLongLong(), beta);
        combo.setCurrentIndex(1);
        QCOMPARE(combo.Value().toLongLong(), alpha);
        combo.setCurrentIndex(0);
        QVERIFY(combo.Value().isNull());
        QCOMPARE(changed.size(), 3);

        combo.SetValue(beta);
        {
            OtherConnection otherDb;
            otherDb.Exec("INSERT INTO emlists (name) VALUES (?)", {"Aaron"});
        }
        QCOMPARE(combo.count(), 3);
        combo.Refresh();
        items.clear();
        for (int i = 0; i < combo.count(); ++i)
            items << combo.itemText(i);
        QCOMPARE(items, QStringList({"", "Aaron", "Alpha", "Beta"}));
        QCOMPARE(combo.Value().toLongLong(), beta); // kept across the refresh

        // Without the empty entry an unknown key chooses nothing.
        combo.SetEmptyEntry(false);
        QCOMPARE(combo.count(), 3);
        combo.SetValue(999999);
        QCOMPARE(combo.currentIndex(), -1);
        QVERIFY(combo.Value().isNull());
    }
};

QTEST_MAIN(tst_QVRecordSetViews)
#include "tst_QVRecordSetViews.moc"

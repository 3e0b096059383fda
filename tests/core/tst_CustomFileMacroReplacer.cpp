#include "CustomFileMacroReplacer.h"
#include "FileUtils.h"
#include "QVException.h"

#include <QTest>

using namespace emailmarketing;

namespace {

const QString FormFields = QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/filemacroreplacer/form-fields.txt");

// A replacer for ".pdf" whose fields are the name=value lines of its source file.
class LinesReplacer : public TCustomFileMacroReplacer {
public:
    static bool IsFileExtSupported(const QString& AFileExt) {
        return AFileExt.compare(QLatin1String(".pdf"), Qt::CaseInsensitive) == 0;
    }
    static bool IsAvailable() { return true; }

    QString GetFieldValue(int Index) override { return FValues.value(Index); }
    void SetFieldValue(int Index, const QString& Value) override { FValues[Index] = Value; }
    int FieldCount() override {
        CheckFieldsRetrieved();
        return FValues.size();
    }
    void ReplaceMacroValue(const QString& AName, const QString& AValue) override {
        TCustomFileMacroReplacer::ReplaceMacroValue(AName, AValue);
        for (QString& value : FValues)
            value.replace(AName, AValue, Qt::CaseInsensitive);
    }

    int Reads = 0;
    bool FailNextRead = false;

protected:
    void RetrieveFields() override {
        ++Reads;
        if (FailNextRead) {
            FailNextRead = false;
            throw hostapi::EQVException(QStringLiteral("cannot read the fields"));
        }
        FValues.clear();
        for (const QString& line :
             hostapi::LoadTextFile(SourceFile()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            FValues.append(line.section(QLatin1Char('='), 1));
    }

private:
    QStringList FValues;
};

// A second class that also takes ".pdf" and ".txt".
class OtherReplacer : public TCustomFileMacroReplacer {
public:
    static bool IsFileExtSupported(const QString& AFileExt) {
        return AFileExt == QLatin1String(".pdf") || AFileExt == QLatin1String(".txt");
    }
};

const TCustomFileMacroReplacerClass& Lines = TCustomFileMacroReplacerClass::Of<LinesReplacer>();
const TCustomFileMacroReplacerClass& Other = TCustomFileMacroReplacerClass::Of<OtherReplacer>();

} // namespace

class tst_CustomFileMacroReplacer : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void ClassByFileExt_data();
    void ClassByFileExt();
    void UnRegisterRemovesOneRegistration();
    void BaseClassFunctions();
    void FieldsAreReadOnceAtTheNextAccess();
    void FailedReadIsTriedAgain();
    void RequiresMacro_data();
    void RequiresMacro();
    void AssignKeepsTheReadFlag();
    void ConfigFormNotifiesEveryChange();
};

// Every test leaves the registry empty.
void tst_CustomFileMacroReplacer::cleanup() {
    while (TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")) ||
           TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".txt"))) {
        TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Lines);
        TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Other);
    }
}

void tst_CustomFileMacroReplacer::ClassByFileExt_data() {
    QTest::addColumn<QList<int>>("registered"); // 1: Lines, 2: Other, in registration order
    QTest::addColumn<QString>("ext");
    QTest::addColumn<int>("expected"); // 0: none

    QTest::newRow("nothing registered") << QList<int>{} << ".pdf" << 0;
    QTest::newRow("one class, its extension") << QList<int>{1} << ".pdf" << 1;
    QTest::newRow("the class decides letter case") << QList<int>{1} << ".PDF" << 1;
    QTest::newRow("extension without dot") << QList<int>{1} << "pdf" << 0;
    QTest::newRow("other extension") << QList<int>{1} << ".txt" << 0;
    QTest::newRow("first registered wins") << QList<int>{1, 2} << ".pdf" << 1;
    QTest::newRow("first registered wins, other order") << QList<int>{2, 1} << ".pdf" << 2;
    QTest::newRow("later class takes what the first refuses") << QList<int>{1, 2} << ".txt" << 2;
}

void tst_CustomFileMacroReplacer::ClassByFileExt() {
    QFETCH(QList<int>, registered);
    QFETCH(QString, ext);
    QFETCH(int, expected);
    for (int cls : registered)
        TCustomFileMacroReplacer::RegisterFileMacroReplacer(cls == 1 ? Lines : Other);
    const TCustomFileMacroReplacerClass* found = TCustomFileMacroReplacer::ClassByFileExt(ext);
    const TCustomFileMacroReplacerClass* wanted = expected == 0 ? nullptr : expected == 1 ? &Lines : &Other;
    QCOMPARE(found, wanted);
}

void tst_CustomFileMacroReplacer::UnRegisterRemovesOneRegistration() {
    TCustomFileMacroReplacer::RegisterFileMacroReplacer(Other);
    TCustomFileMacroReplacer::RegisterFileMacroReplacer(Lines);
    TCustomFileMacroReplacer::RegisterFileMacroReplacer(Other);

    TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Other);
    QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")), &Lines);
    TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Lines);
    QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")), &Other);
    TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Other);
    QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")), nullptr);
    // Unregistering a class that is not held changes nothing.
    TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Other);
    QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")), nullptr);
}

void tst_CustomFileMacroReplacer::BaseClassFunctions() {
    const auto& base = TCustomFileMacroReplacerClass::Of<TCustomFileMacroReplacer>();
    QVERIFY(!base.IsFileExtSupported(QStringLiteral(".pdf")));
    QVERIFY(!base.IsAvailable());
    QCOMPARE(base.GetConfigFormClass(), nullptr);
    QVERIFY(!Other.IsAvailable()); // inherited from the base

    std::unique_ptr<TCustomFileMacroReplacer> replacer = base.Create();
    replacer->SetSourceFile(FormFields);
    QCOMPARE(replacer->FieldCount(), 0);
    QCOMPARE(replacer->GetFieldValue(0), QString());
    QVERIFY(!replacer->RequiresMacro(QStringLiteral("%NAME%")));
}

void tst_CustomFileMacroReplacer::FieldsAreReadOnceAtTheNextAccess() {
    LinesReplacer replacer;
    replacer.SetSourceFile(FormFields);
    replacer.SetSourceFile(FormFields);
    QCOMPARE(replacer.Reads, 0);
    QCOMPARE(replacer.FieldCount(), 3);
    QVERIFY(replacer.RequiresMacro(QStringLiteral("%KDNR%")));
    replacer.ReplaceMacroValue(QStringLiteral("%KDNR%"), QStringLiteral("4711"));
    QCOMPARE(replacer.Reads, 1);
    QCOMPARE(replacer.GetFieldValue(1), QStringLiteral("4711"));

    replacer.SetSourceFile(FormFields);
    QCOMPARE(replacer.FieldCount(), 3);
    QCOMPARE(replacer.Reads, 2);
    QCOMPARE(replacer.GetFieldValue(1), QStringLiteral("%KDNR%"));
}

void tst_CustomFileMacroReplacer::FailedReadIsTriedAgain() {
    LinesReplacer replacer;
    replacer.SetSourceFile(FormFields);
    replacer.FailNextRead = true;
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, replacer.FieldCount());
    QCOMPARE(replacer.FieldCount(), 3);
    QCOMPARE(replacer.Reads, 2);
}

void tst_CustomFileMacroReplacer::RequiresMacro_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QTest::newRow("in the first field, other letter case") << "%NAME%" << true;
    QTest::newRow("in a later field") << "%kdnr%" << true;
    QTest::newRow("in no field") << "%PLZ%" << false;
    QTest::newRow("a field name is no value") << "Ort=" << false;
    QTest::newRow("an empty name occurs nowhere") << "" << false;
}

void tst_CustomFileMacroReplacer::RequiresMacro() {
    QFETCH(QString, name);
    QFETCH(bool, expected);
    LinesReplacer replacer;
    replacer.SetSourceFile(FormFields);
    QCOMPARE(replacer.RequiresMacro(name), expected);
}

void tst_CustomFileMacroReplacer::AssignKeepsTheReadFlag() {
    LinesReplacer source;
    source.SetSettings({QStringLiteral("Flatten=1")});
    source.SetSourceFile(FormFields);
    QCOMPARE(source.FieldCount(), 3);

    LinesReplacer copy;
    copy.Assign(source);
    QCOMPARE(copy.Settings(), QStringList{QStringLiteral("Flatten=1")});
    QCOMPARE(copy.SourceFile(), FormFields);
    QCOMPARE(copy.FieldCount(), 0); // marked as read: the copy does not read the file again
    QCOMPARE(copy.Reads, 0);

    LinesReplacer unread;
    unread.SetSourceFile(FormFields);
    LinesReplacer copyOfUnread;
    copyOfUnread.Assign(unread);
    QCOMPARE(copyOfUnread.FieldCount(), 3);
    QCOMPARE(copyOfUnread.Reads, 1);
}

void tst_CustomFileMacroReplacer::ConfigFormNotifiesEveryChange() {
    TCustomFileMacroReplacerConfigForm form;
    int changes = 0;
    form.OnSettingsChanged = [&](TCustomFileMacroReplacerConfigForm* Sender) {
        QCOMPARE(Sender, &form);
        ++changes;
    };
    form.SetSettings({QStringLiteral("Flatten=0"), QStringLiteral("Compression=1")});
    QCOMPARE(changes, 1);
    form.SetSettingValue(QStringLiteral("flatten"), QStringLiteral("1"));
    QCOMPARE(changes, 2);
    QCOMPARE(form.Settings(), (QStringList{QStringLiteral("flatten=1"), QStringLiteral("Compression=1")}));
    QCOMPARE(form.SettingValue(QStringLiteral("FLATTEN")), QStringLiteral("1"));
    form.SetSettingValue(QStringLiteral("Permissions"), QStringLiteral("8"));
    QCOMPARE(changes, 3);
    // Writing what is already there is no change.
    form.SetSettingValue(QStringLiteral("Permissions"), QStringLiteral("8"));
    form.SetSettings(form.Settings());
    QCOMPARE(changes, 3);
}

QTEST_MAIN(tst_CustomFileMacroReplacer)
#include "tst_CustomFileMacroReplacer.moc"

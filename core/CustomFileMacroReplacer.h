#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

namespace emailmarketing {

struct TMacroReplacement;
class TCustomFileMacroReplacer;
class TReplacerCancellation;
class TCustomFileMacroReplacerConfigForm;

// Class reference of a replacer's settings window: its virtual constructor.
struct TCustomFileMacroReplacerConfigFormClass {
    std::function<TCustomFileMacroReplacerConfigForm*(QWidget* AOwner)> Create;

    // The class reference of window class T (constructor taking the owner widget).
    template <class T> static const TCustomFileMacroReplacerConfigFormClass& Of() {
        static const TCustomFileMacroReplacerConfigFormClass cls{
            [](QWidget* AOwner) -> TCustomFileMacroReplacerConfigForm* { return new T(AOwner); }};
        return cls;
    }
};

// Class reference of a replacer: its virtual constructor and its class functions. One object per
// class (Of<T>()), so its address is the class's identity in the registry.
struct TCustomFileMacroReplacerClass {
    std::function<std::unique_ptr<TCustomFileMacroReplacer>()> Create;
    std::function<bool(const QString& AFileExt)> IsFileExtSupported;
    std::function<bool()> IsAvailable;
    std::function<const TCustomFileMacroReplacerConfigFormClass*()> GetConfigFormClass;
    std::function<QString()> UnavailableNotice;

    // The class reference of replacer class T: T's default constructor and its static
    // IsFileExtSupported, IsAvailable, GetConfigFormClass and UnavailableNotice (inherited from the
    // base when T does not declare its own).
    template <class T> static const TCustomFileMacroReplacerClass& Of() {
        static const TCustomFileMacroReplacerClass cls{
            []() -> std::unique_ptr<TCustomFileMacroReplacer> { return std::make_unique<T>(); },
            [](const QString& AFileExt) { return T::IsFileExtSupported(AFileExt); },
            [] { return T::IsAvailable(); }, [] { return T::GetConfigFormClass(); },
            [] { return T::UnavailableNotice(); }};
        return cls;
    }
};

// Personalises files whose macros sit inside a structure that plain text replacement would break
// (PDF form fields): reads the named fields of SourceFile once, replaces macros in the field values
// and writes a filled copy. Field-level operations read the fields lazily through
// CheckFieldsRetrieved; a new SourceFile makes the next field access read again.
//
// Registry: implementations register their class with RegisterFileMacroReplacer when the module
// loads and unregister it when it unloads. The registry is written only then, on the main thread,
// while no job thread runs; ClassByFileExt, called from prepare threads, relies on that and takes
// no lock.
class TCustomFileMacroReplacer {
public:
    TCustomFileMacroReplacer();
    virtual ~TCustomFileMacroReplacer();
    TCustomFileMacroReplacer(const TCustomFileMacroReplacer&) = delete;
    TCustomFileMacroReplacer& operator=(const TCustomFileMacroReplacer&) = delete;

    // Text of field Index; the base answers "" without reading anything.
    virtual QString GetFieldValue(int Index);
    virtual void SetFieldValue(int Index, const QString& Value);
    // The next field access reads the source file again.
    virtual void InvalidateFields();
    // Number of fields, read first when needed; the base answers 0.
    virtual int FieldCount();
    // Writes the filled file; the base does nothing.
    virtual void SaveToFile(const QString& AFileName);
    // Whether AName occurs in any field value, ignoring letter case (fields read first when needed).
    virtual bool RequiresMacro(const QString& AName);
    // The base only reads the fields when needed; implementations replace AName by AValue in every
    // field value, ignoring letter case.
    virtual void ReplaceMacroValue(const QString& AName, const QString& AValue);
    // Every replacement at once, as ReplaceMacros does (a literal value is never searched again);
    // the base calls ReplaceMacroValue for each in turn.
    virtual void ReplaceMacroValues(const QList<TMacroReplacement>& AReplacements);
    // Copies the settings, then the source file (which invalidates), then the read flag of Source.
    // Implementations extend it with their field data.
    virtual void Assign(const TCustomFileMacroReplacer& Source);
    // Stops a child process the replacer runs (from any thread) and every later one; the base has
    // none. Called only while the replacer is inside a TBlockingWork.
    virtual void Cancel();

    // Class functions; an implementation declares its own static versions.
    static bool IsFileExtSupported(const QString& AFileExt);
    static bool IsAvailable();
    static const TCustomFileMacroReplacerConfigFormClass* GetConfigFormClass();
    // What a job says when files of the class are sent unpersonalised because IsAvailable is False.
    static QString UnavailableNotice();

    QString SourceFile() const { return FSourceFile; }
    void SetSourceFile(const QString& Value);
    // Per-attachment settings as name=value lines.
    const QStringList& Settings() const { return FSettings; }
    void SetSettings(const QStringList& Value);

    // Appends AClass to the registry; a class registered twice is held twice.
    static void RegisterFileMacroReplacer(const TCustomFileMacroReplacerClass& AClass);
    // Removes the first registration of AClass, if any.
    static void UnRegisterFileMacroReplacer(const TCustomFileMacroReplacerClass& AClass);
    // The first registered class that supports AFileExt (with its dot, ".pdf"); nullptr when none
    // does. Whether the class is available is the caller's question.
    static const TCustomFileMacroReplacerClass* ClassByFileExt(const QString& AFileExt);

protected:
    // Held while the replacer runs a child process: a termination of the calling thread's job
    // (TReplacerCancellation::Current) calls Cancel meanwhile.
    class TBlockingWork {
    public:
        explicit TBlockingWork(TCustomFileMacroReplacer& AReplacer);
        ~TBlockingWork();
        TBlockingWork(const TBlockingWork&) = delete;
        TBlockingWork& operator=(const TBlockingWork&) = delete;

    private:
        TCustomFileMacroReplacer& FReplacer;
        TReplacerCancellation* FCancellation;
    };

    // Reads the field names and values of SourceFile; the base does nothing.
    virtual void RetrieveFields();
    // Reads the fields unless they are read; a RetrieveFields that throws leaves them unread.
    void CheckFieldsRetrieved();
    bool FieldsRetreived() const { return FFieldsRetreived; }

private:
    QString FSourceFile;
    QStringList FSettings;
    bool FFieldsRetreived = false;
};

// Settings window of a replacer class, embedded by the mailing window for the selected attachment.
// Every change of Settings calls OnSettingsChanged.
class TCustomFileMacroReplacerConfigForm : public QWidget {
    Q_OBJECT

public:
    explicit TCustomFileMacroReplacerConfigForm(QWidget* AOwner = nullptr);
    ~TCustomFileMacroReplacerConfigForm() override;

    const QStringList& Settings() const { return FSettings; }
    // Copies the lines; notifies when they differ from the current ones.
    void SetSettings(const QStringList& Value);
    // Value of the first line "AName=..." (name compared ignoring case); "" when there is none.
    QString SettingValue(const QString& AName) const;
    // Sets the value of line AName, appending the line when there is none; notifies when it changed.
    void SetSettingValue(const QString& AName, const QString& AValue);

    virtual void SetLanguage(const QString& ALangName);
    // Fills the controls from Settings; the base does nothing.
    virtual void LoadSetting();

    std::function<void(TCustomFileMacroReplacerConfigForm* Sender)> OnSettingsChanged;

private:
    void SettingsChanged();

    QStringList FSettings;
};

} // namespace emailmarketing

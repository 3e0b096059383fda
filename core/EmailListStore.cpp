#include "EmailListStore.h"

#include "ClientSQL.h"
#include "CoreLog.h"
#include "DBFieldSchema.h"
#include "MessageSink.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QMutexLocker>
#include <QScopeGuard>

namespace emailmarketing {

namespace {

constexpr qint32 SchemaMacroListID = -2;

const QString Lists = QStringLiteral("emlists");
const QString Macros = QStringLiteral("emlmacros");
const QString Conditions = QStringLiteral("emlconditions");

int Flag(bool value) {
    return value ? 1 : 0;
}

int IntOf(const hostapi::TQVRecordSet& ARows, const char* AField) {
    return ARows.FieldValue(QLatin1String(AField)).toInt();
}

QString TextOf(const hostapi::TQVRecordSet& ARows, const char* AField) {
    const QVariant v = ARows.FieldValue(QLatin1String(AField));
    return v.isNull() ? QString() : v.toString();
}

// "= 1" columns are True only for 1, "non-zero" columns for any value but 0.
bool IsOne(const hostapi::TQVRecordSet& ARows, const char* AField) {
    return IntOf(ARows, AField) == 1;
}

bool IsNonZero(const hostapi::TQVRecordSet& ARows, const char* AField) {
    return IntOf(ARows, AField) != 0;
}

QStringList CommaList(const QString& AText) {
    return AText.isEmpty() ? QStringList() : AText.split(QLatin1Char(','));
}

// Inserts (AID -1) or updates the row AID of ASchema; answers the row's id.
qint32 WriteRow(const QString& ASchema, qint32 AID, const QList<QPair<QString, QVariant>>& AValues) {
    hostapi::TClientSQL sql(ASchema, AID == -1 ? hostapi::ckInsert : hostapi::ckUpdate);
    for (const auto& [name, value] : AValues) {
        sql.AddField(name);
        sql.SetFieldValue(name, value);
    }
    if (AID == -1)
        return static_cast<qint32>(sql.Execute());
    sql.Filters().Add(QStringLiteral("id"), AID);
    sql.Execute();
    return AID;
}

void DeleteRows(const QString& ASchema, const QString& AKey, qint32 AID) {
    hostapi::TClientSQL sql(ASchema, hostapi::ckDelete);
    sql.Filters().Add(AKey, AID);
    sql.Execute();
}

bool MacroListNeedsSave(const TMacroList& AMacros) {
    if (AMacros.DeleteIDCount() > 0)
        return true;
    for (int i = 0; i < AMacros.Count(); ++i) {
        const TMacroItem* macro = AMacros.Items(i);
        if (macro->Changed() || macro->DeleteIDCount() > 0)
            return true;
        for (int c = 0; c < macro->Count(); ++c)
            if (macro->Items(c)->Changed())
                return true;
    }
    return false;
}

} // namespace

TEmailListStore::TEmailListStore(std::function<void(TEmailListItem&)> AConnectGlobalCallbacks)
    : FConnectGlobalCallbacks(std::move(AConnectGlobalCallbacks)) {}

TEmailListStore::~TEmailListStore() {
    ClearSchemaMacros();
    FEMailLists.clear();
}

void TEmailListStore::UpdateInUse() {
    const QList<TEmailListIdentity> used = FOnGetUsedLists ? FOnGetUsedLists() : QList<TEmailListIdentity>();
    for (const std::shared_ptr<TEmailListItem>& list : std::as_const(FEMailLists))
        list->SetIsInUseByJob(used.contains(list->Identity()));
}

void TEmailListStore::CheckLists() {
    if (!FInLoadLists && FEMailLists.isEmpty())
        Load();
}

int TEmailListStore::Count() {
    CheckLists();
    return FEMailLists.size();
}

std::shared_ptr<TEmailListItem> TEmailListStore::GetEMailList(int Index) {
    CheckLists();
    QV_ASSERT(Index >= 0 && Index < FEMailLists.size());
    return FEMailLists.at(Index);
}

std::shared_ptr<TEmailListItem> TEmailListStore::ByID(qint32 DBID) {
    CheckLists();
    for (const std::shared_ptr<TEmailListItem>& list : std::as_const(FEMailLists))
        if (list->IDValue() == DBID)
            return list;
    return nullptr;
}

std::shared_ptr<TEmailListItem> TEmailListStore::ByClient(const QString& AClientIdent,
                                                          const QString& AClientListIdent) {
    CheckLists();
    return FindClient(AClientIdent, AClientListIdent);
}

std::shared_ptr<TEmailListItem> TEmailListStore::FindClient(const QString& AClientIdent,
                                                            const QString& AClientListIdent) const {
    for (const std::shared_ptr<TEmailListItem>& list : FEMailLists)
        if (list->ClientIdent() == AClientIdent && list->ClientListIdent() == AClientListIdent)
            return list;
    return nullptr;
}

std::shared_ptr<TEmailListItem> TEmailListStore::Add() {
    CheckLists();
    return NewList();
}

std::shared_ptr<TEmailListItem> TEmailListStore::NewList() {
    auto list = std::make_shared<TEmailListItem>();
    list->SetIDValue(-1);
    if (FConnectGlobalCallbacks)
        FConnectGlobalCallbacks(*list);
    list->SetOnGetSchemaMacros(
        [this](const TEmailListItem&, const QString& SchemaName, std::shared_ptr<TMacroList>& AMacroList) {
            AMacroList = GetSchemaMacroList(SchemaName);
        });
    FEMailLists.append(list);
    return list;
}

void TEmailListStore::Delete(const std::shared_ptr<TEmailListItem>& AItem) {
    CheckLists();
    if (!AItem)
        return;
    const QList<TEmailListIdentity> used = FOnGetUsedLists ? FOnGetUsedLists() : QList<TEmailListIdentity>();
    if (used.contains(AItem->Identity()))
        throw hostapi::EQVUserMessageException(hostapi::TVRNLang(QStringLiteral("dmPluginEmailMarketingMain"))
                                                   .Text(QStringLiteral("IDS_ListInUse"))
                                                   .arg(AItem->Name()));
    if (AItem->IDValue() > -1)
        DeleteRows(Lists, QStringLiteral("id"), AItem->IDValue());
    FEMailLists.removeOne(AItem);
}

void TEmailListStore::Clear() {
    FEMailLists.clear();
}

QDateTime TEmailListStore::LastLoaded() {
    CheckLists();
    return FLastLoaded;
}

void TEmailListStore::Load() {
    if (FInLoadLists)
        return;
    FInLoadLists = true;
    const auto done = qScopeGuard([this] { FInLoadLists = false; });
    FEMailLists.clear();
    try {
        FProviders.LoadClientLists([this] { return NewList(); });
        LoadRows();
        for (const std::shared_ptr<TEmailListItem>& list : std::as_const(FEMailLists)) {
            const QString schema = list->SectionName();
            if (list->GetEmailFields(hostapi::fftEmail).isEmpty())
                list->SetEmailFields(hostapi::fftEmail,
                                     CommaList(GetEmailFieldsFromSchema(schema, hostapi::fftEmail)));
            if (list->GetEmailFields(hostapi::fftMobile).isEmpty())
                list->SetEmailFields(hostapi::fftMobile,
                                     CommaList(GetEmailFieldsFromSchema(schema, hostapi::fftMobile)));
        }
        // Unsaved schema macros are dropped: only the lists are written here.
        SaveLists();
        LoadMacros(nullptr);
    } catch (...) {
        // Never a partial cache: the next access loads again.
        FEMailLists.clear();
        ClearSchemaMacros();
        throw;
    }
    FLastLoaded = QDateTime::currentDateTime();
    UpdateInUse();
}

void TEmailListStore::LoadRows() {
    hostapi::TQVRecordSet rows(Lists);
    rows.SetOptions(hostapi::rsoReadOnly);
    rows.Open();
    for (rows.First(); !rows.Eof(); rows.Next()) {
        const QString clientIdent = TextOf(rows, "clientident");
        std::shared_ptr<TEmailListItem> list;
        bool changed = false;
        if (clientIdent.isEmpty()) {
            list = NewList();
            list->SetName(TextOf(rows, "name"));
            list->SetSectionName(TextOf(rows, "tblname"));
        } else {
            list = FindClient(clientIdent, TextOf(rows, "clientlistident"));
            if (!list)
                continue; // its provider is not registered: the row stays as it is
            changed = list->Name() != TextOf(rows, "name") || list->SectionName() != TextOf(rows, "tblname");
        }
        list->SetIDValue(static_cast<qint32>(rows.RecordID()));
        ReadRow(rows, *list);
        list->SetChanged(changed);
        LoadMacros(list.get());
    }
}

void TEmailListStore::ReadRow(const hostapi::TQVRecordSet& ARows, TEmailListItem& AList) const {
    AList.SetUseGlobalMailServer(IsOne(ARows, "globalsrv"));
    AList.SetMessageSenderDevice(static_cast<TMessageSenderDevice>(IntOf(ARows, "userelay")));
    AList.SetSMSMessageSenderDevice(static_cast<TSMSMessageSenderDevice>(IntOf(ARows, "smsprovider")));
    AList.SetUseGlobalSMSProvider(IsOne(ARows, "globalsmsprovider"));
    AList.SetMailServer(TextOf(ARows, "mailserver"));
    AList.SetUseGlobalAddress(IsNonZero(ARows, "useglobadr"));
    AList.SetSenderName(TextOf(ARows, "sendername"));
    AList.SetSenderEmail(TextOf(ARows, "senderemail"));
    AList.SetReplyToEmail(TextOf(ARows, "replyemail"));
    AList.SetEmailFields(hostapi::fftEmail, CommaList(TextOf(ARows, "fldname")));
    AList.SetEmailFields(hostapi::fftMobile, CommaList(TextOf(ARows, "fldnamemob")));
    AList.SetSendPerUnits(IsNonZero(ARows, "sendperunits"));
    AList.SetMailsPerUnit(IntOf(ARows, "mailsperunit"));
    AList.SetUnitDelay(IntOf(ARows, "unitdelay"));
    AList.SetSendPriority(static_cast<QThread::Priority>(IntOf(ARows, "sendpriority")));
    AList.SetSendThreads(IntOf(ARows, "sendthreads"));
    AList.SetPreparePriority(static_cast<QThread::Priority>(IntOf(ARows, "preppriority")));
    AList.SetSendUserName(TextOf(ARows, "sendusername"));
    AList.SetSendPassword(TextOf(ARows, "sendpassword"));
    AList.SetSendAuthentication(IsNonZero(ARows, "sendauth"));
    AList.SetRegisterServiceFilterEnabled(IsOne(ARows, "rsfilter"));
    AList.SetFetchRegisterServiceBeforeSending(IsOne(ARows, "rsfetch"));
    AList.SetUseGlobalRegisterService(IsOne(ARows, "globalrssvc"));
    AList.SetThrottle(IsOne(ARows, "throttle"));
    AList.SetChaotic(IsOne(ARows, "chaotic"));
    AList.SetUseGlobalSendSettings(IsOne(ARows, "globalsendsettings"));
}

void TEmailListStore::LoadMacros(TEmailListItem* AList) {
    hostapi::TQVRecordSet rows(Macros);
    rows.SetOptions(hostapi::rsoReadOnly);
    rows.Filters().Add(QStringLiteral("emlists_id"), AList ? AList->IDValue() : SchemaMacroListID);
    rows.Open();
    TMacroList userMacros;
    // Schema macros are built aside and published at once: job threads read the published lists.
    TSchemaMacroLists schemaMacros;
    QStringList badConditions;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        TMacroItem* macro = nullptr;
        if (AList) {
            macro = userMacros.Add();
        } else {
            const QString schema = TextOf(rows, "schemaname");
            std::shared_ptr<TMacroList> target;
            for (const auto& [name, macros] : std::as_const(schemaMacros))
                if (name.compare(schema, Qt::CaseInsensitive) == 0)
                    target = macros;
            if (!target) {
                target = std::make_shared<TMacroList>();
                schemaMacros.append({schema, target});
            }
            macro = target->Add();
        }
        macro->SetCaption(TextOf(rows, "descr"));
        macro->SetDBID(static_cast<qint32>(rows.RecordID()));
        macro->SetMacroName(TextOf(rows, "macroname"));
        LoadConditions(*macro, badConditions);
        macro->SetChanged(false);
    }
    if (AList) {
        AList->SetUserMacros(userMacros);
    } else {
        QMutexLocker lock(&FSchemaMacrosLock);
        FSchemaMacros = std::move(schemaMacros);
    }
    if (!badConditions.isEmpty()) {
        const QString text = QStringLiteral("Conditions with an unknown comparison never hold: %1")
                                 .arg(badConditions.join(QStringLiteral(", ")));
        qCWarning(lcCore).noquote() << text;
        hostapi::TQVMainInterface::GetMessageSink().AddMessage(text, hostapi::MessageKind::Warning);
    }
}

void TEmailListStore::LoadConditions(TMacroItem& AMacro, QStringList& ABadConditions) {
    hostapi::TQVRecordSet rows(Conditions);
    rows.SetOptions(hostapi::rsoReadOnly);
    rows.Filters().Add(QStringLiteral("emlmacros_id"), AMacro.DBID());
    rows.Open();
    for (rows.First(); !rows.Eof(); rows.Next()) {
        TMacroConditionItem* condition = AMacro.Add();
        condition->SetDBID(static_cast<qint32>(rows.RecordID()));
        condition->SetConditionValue1(TextOf(rows, "value1"));
        condition->SetConditionValue2(TextOf(rows, "value2"));
        condition->SetMacroValue(TextOf(rows, "valuem"));
        condition->SetValue1IsField(IsOne(rows, "value1_isfld"));
        condition->SetValue2IsField(IsOne(rows, "value2_isfld"));
        condition->SetMacroValueIsField(IsOne(rows, "valuem_isfld"));
        const int code = IntOf(rows, "condition");
        if (!IsKnownMacroCondition(code))
            ABadConditions << QStringLiteral("macro \"%1\" condition %2 (code %3)")
                                  .arg(AMacro.MacroName())
                                  .arg(condition->DBID())
                                  .arg(code);
        condition->SetCondition(static_cast<TMacroCondition>(code));
        condition->SetChanged(false);
    }
}

void TEmailListStore::Save() {
    if (FEMailLists.isEmpty())
        return;
    SaveLists();
    // Saving sets ids and clears marks: done on a copy, which is then published.
    for (const auto& [schema, macros] : SchemaMacroLists()) {
        TMacroList saved = *macros;
        if (SaveMacros(saved, SchemaMacroListID, schema))
            ReplaceSchemaMacros(schema, saved);
    }
}

void TEmailListStore::SaveLists() {
    for (qsizetype i = FEMailLists.size() - 1; i >= 0; --i) {
        TEmailListItem& list = *FEMailLists.at(i);
        if (list.Changed())
            SaveList(list);
        TMacroList macros = list.UserMacros();
        if (SaveMacros(macros, list.IDValue(), QString()))
            list.SetUserMacros(macros);
    }
}

void TEmailListStore::SaveList(TEmailListItem& AList) {
    // The row keeps the list's own values also where it follows the global settings.
    const TEmailListItem::TOwnSettings own = AList.OwnSettings();
    const QList<QPair<QString, QVariant>> values{
        {QStringLiteral("clientident"), AList.ClientIdent()},
        {QStringLiteral("clientlistident"), AList.ClientListIdent()},
        {QStringLiteral("name"), AList.Name()},
        {QStringLiteral("tblname"), AList.SectionName()},
        {QStringLiteral("globalsrv"), Flag(AList.UseGlobalMailServer())},
        {QStringLiteral("userelay"), static_cast<int>(own.MessageSenderDevice)},
        {QStringLiteral("smsprovider"), static_cast<int>(own.SMSMessageSenderDevice)},
        {QStringLiteral("globalsmsprovider"), Flag(AList.UseGlobalSMSProvider())},
        {QStringLiteral("mailserver"), own.MailServer},
        {QStringLiteral("useglobadr"), Flag(AList.UseGlobalAddress())},
        {QStringLiteral("sendername"), own.SenderName},
        {QStringLiteral("senderemail"), own.SenderEmail},
        {QStringLiteral("replyemail"), own.ReplyToEmail},
        {QStringLiteral("fldname"), AList.GetEmailFields(hostapi::fftEmail).join(QLatin1Char(','))},
        {QStringLiteral("fldnamemob"), AList.GetEmailFields(hostapi::fftMobile).join(QLatin1Char(','))},
        {QStringLiteral("sendperunits"), Flag(own.SendPerUnits)},
        {QStringLiteral("mailsperunit"), own.MailsPerUnit},
        {QStringLiteral("unitdelay"), own.UnitDelay},
        {QStringLiteral("sendpriority"), static_cast<int>(AList.SendPriority())},
        {QStringLiteral("sendthreads"), own.SendThreads},
        {QStringLiteral("preppriority"), static_cast<int>(AList.PreparePriority())},
        {QStringLiteral("sendusername"), own.SendUserName},
        {QStringLiteral("sendpassword"), own.SendPassword},
        {QStringLiteral("sendauth"), Flag(own.SendAuthentication)},
        {QStringLiteral("rsfilter"), Flag(own.RegisterServiceFilterEnabled)},
        {QStringLiteral("rsfetch"), Flag(own.FetchRegisterServiceBeforeSending)},
        {QStringLiteral("globalrssvc"), Flag(AList.UseGlobalRegisterService())},
        {QStringLiteral("throttle"), Flag(own.Throttle)},
        {QStringLiteral("chaotic"), Flag(own.Chaotic)},
        {QStringLiteral("globalsendsettings"), Flag(AList.UseGlobalSendSettings())},
    };
    AList.SetIDValue(WriteRow(Lists, AList.IDValue(), values));
    AList.SetChanged(false);
}

bool TEmailListStore::SaveMacros(TMacroList& AMacroList, qint32 AListID, const QString& ASchemaName) {
    if (!MacroListNeedsSave(AMacroList))
        return false;
    for (int i = 0; i < AMacroList.DeleteIDCount(); ++i) {
        const qint32 id = AMacroList.GetDeleteID(i);
        DeleteRows(Macros, QStringLiteral("id"), id);
        DeleteRows(Conditions, QStringLiteral("emlmacros_id"), id);
    }
    AMacroList.ClearDeleteID();
    for (int m = 0; m < AMacroList.Count(); ++m) {
        TMacroItem& macro = *AMacroList.Items(m);
        if (macro.Changed()) {
            macro.SetDBID(WriteRow(Macros, macro.DBID(),
                                   {{QStringLiteral("macroname"), macro.MacroName()},
                                    {QStringLiteral("descr"), macro.Caption()},
                                    {QStringLiteral("emlists_id"), AListID},
                                    {QStringLiteral("schemaname"), ASchemaName}}));
            macro.SetChanged(false);
        }
        for (int i = 0; i < macro.DeleteIDCount(); ++i)
            DeleteRows(Conditions, QStringLiteral("id"), macro.GetDeleteID(i));
        macro.ClearDeleteID();
        for (int c = 0; c < macro.Count(); ++c) {
            TMacroConditionItem& condition = *macro.Items(c);
            if (!condition.Changed())
                continue;
            condition.SetDBID(
                WriteRow(Conditions, condition.DBID(),
                         {{QStringLiteral("emlmacros_id"), macro.DBID()},
                          {QStringLiteral("condition"), static_cast<int>(condition.Condition())},
                          {QStringLiteral("value1"), condition.ConditionValue1()},
                          {QStringLiteral("value2"), condition.ConditionValue2()},
                          {QStringLiteral("valuem"), condition.MacroValue()},
                          {QStringLiteral("value1_isfld"), Flag(condition.Value1IsField())},
                          {QStringLiteral("value2_isfld"), Flag(condition.Value2IsField())},
                          {QStringLiteral("valuem_isfld"), Flag(condition.MacroValueIsField())}}));
            condition.SetChanged(false);
        }
    }
    return true;
}

std::shared_ptr<TMacroList> TEmailListStore::GetSchemaMacroList(const QString& SchemaName) {
    QMutexLocker lock(&FSchemaMacrosLock);
    for (const auto& [name, macros] : std::as_const(FSchemaMacros))
        if (name.compare(SchemaName, Qt::CaseInsensitive) == 0)
            return macros;
    auto macros = std::make_shared<TMacroList>();
    FSchemaMacros.append({SchemaName, macros});
    return macros;
}

void TEmailListStore::ReplaceSchemaMacros(const QString& SchemaName, const TMacroList& AMacros) {
    auto macros = std::make_shared<TMacroList>(AMacros);
    QMutexLocker lock(&FSchemaMacrosLock);
    for (auto& [name, published] : FSchemaMacros)
        if (name.compare(SchemaName, Qt::CaseInsensitive) == 0) {
            published = std::move(macros);
            return;
        }
    FSchemaMacros.append({SchemaName, std::move(macros)});
}

TEmailListStore::TSchemaMacroLists TEmailListStore::SchemaMacroLists() const {
    QMutexLocker lock(&FSchemaMacrosLock);
    return FSchemaMacros;
}

void TEmailListStore::ClearSchemaMacros() {
    QMutexLocker lock(&FSchemaMacrosLock);
    FSchemaMacros.clear();
}

QString TEmailListStore::GetEmailFieldsFromSchema(const QString& SchemaName, int AFlag) {
    const hostapi::IDBFieldSchemaItem* schema = hostapi::TDBFieldSchema::Instance().SchemaByName(SchemaName);
    if (!schema)
        return {};
    QStringList names;
    for (int i = 0; i < schema->FieldCount(); ++i) {
        const hostapi::TDBFieldDef field = schema->Field(i);
        if (field.HasFlag(AFlag))
            names << field.Name;
    }
    return names.join(QLatin1Char(','));
}

} // namespace emailmarketing

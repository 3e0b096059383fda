#include "ClientListProviders.h"

#include "QVException.h"

namespace emailmarketing {

namespace {

// A deep copy: the text's characters may live in the provider's module.
QString Copied(const QString& AText) {
    return QString(AText.constData(), AText.size());
}

QStringList Copied(const QStringList& ATexts) {
    QStringList result;
    result.reserve(ATexts.size());
    for (const QString& text : ATexts)
        result << Copied(text);
    return result;
}

std::shared_ptr<hostapi::IClientListDefinition> Definition(const hostapi::IClientListProvider& AProvider,
                                                           int AIndex) {
    std::shared_ptr<hostapi::IClientListDefinition> definition = AProvider.Lists(AIndex);
    if (!definition)
        throw hostapi::EQVException(QStringLiteral("The client list provider %1 has no list %2")
                                        .arg(Copied(AProvider.ClientIdent()))
                                        .arg(AIndex));
    return definition;
}

} // namespace

bool TClientListProviders::Register(const TProvider& AProvider) {
    QV_ASSERT(AProvider != nullptr);
    if (FClients.contains(AProvider))
        return false;
    FClients.append(AProvider);
    return true;
}

bool TClientListProviders::UnRegister(const TProvider& AProvider) {
    return FClients.removeOne(AProvider);
}

QString TClientListProviders::ClientIdentOf(const hostapi::IClientListProvider& AProvider) {
    return Copied(AProvider.ClientIdent());
}

QString TClientListProviders::ListIdentOf(const hostapi::IClientListProvider& AProvider, int AListIndex) {
    return Copied(Definition(AProvider, AListIndex)->ListIdent());
}

void TClientListProviders::LoadClientLists(
    const std::function<std::shared_ptr<TEmailListItem>()>& AAdd) const {
    for (const TProvider& provider : FClients) {
        const QString clientIdent = ClientIdentOf(*provider);
        const int count = provider->ListCount();
        for (int i = 0; i < count; ++i) {
            const std::shared_ptr<hostapi::IClientListDefinition> definition = Definition(*provider, i);
            const std::shared_ptr<TEmailListItem> list = AAdd();
            list->SetName(Copied(definition->Name()));
            list->SetSectionName(Copied(definition->SchemaName()));
            list->SetClientIdent(clientIdent);
            list->SetClientListIdent(Copied(definition->ListIdent()));
            list->SetFieldsToIgnoreInSelection(Copied(definition->FieldsToIgnore()));
            list->SetSendPerUnits(true);
            list->SetSendPriority(QThread::NormalPriority);
            list->SetPreparePriority(QThread::NormalPriority);
            list->SetMessageSenderDevice(msdInternal);
            list->SetSMSMessageSenderDevice(smsdASPSMS);
            list->SetUseGlobalSMSProvider(true);
            list->SetUseGlobalMailServer(true);
            hostapi::TQVFilterList filters;
            for (int f = 0; f < definition->FilterCount(); ++f) {
                hostapi::TQVFilter filter;
                QString value;
                definition->GetFilter(f, filter.FieldName, filter.FilterType, filter.Link, filter.AsLookup,
                                      filter.Parenthesis, value);
                filter.FieldName = Copied(filter.FieldName);
                filter.ValueType = hostapi::fvtText;
                filter.Value = Copied(value);
                filters.Add(filter);
            }
            list->SetAdvFilters(filters);
            list->SetChanged(true);
        }
    }
}

} // namespace emailmarketing

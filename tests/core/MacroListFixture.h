#pragma once

// A distribution list stored in SQLite for the tests of the mailing window's macros.

#include "MailingMacroCatalogue.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/TestDatabase.h"

#include <stdexcept>

namespace macrotest {

using namespace emailmarketing;

inline const QString AddressSchema = QStringLiteral("pelm_addresses_ass");

// A stored list of the address schema with two list macros and one schema macro whose values use
// predefined macros and fields, read back from the database.
struct Fixture {
    testsupport::TestDatabase Db;
    TdmPluginEmailMarketingMain Dm{nullptr};
    std::shared_ptr<TEmailListItem> List;

    explicit Fixture(const QString& ASchema = AddressSchema) {
        auto list = Dm.Add();
        list->SetName(QStringLiteral("Kunden"));
        list->SetSectionName(ASchema);
        list->SetChanged(true);
        TMacroList macros;
        TMacroItem* street = macros.Add();
        street->SetMacroName(QStringLiteral("Straße"));
        street->SetCaption(QStringLiteral("Straße des Hauses"));
        street->Add()->SetMacroValue(QStringLiteral("Hauptstraße %PRE_YEAR4%, %City%"));
        TMacroItem* greeting = macros.Add();
        greeting->SetMacroName(QStringLiteral("gruss"));
        greeting->SetCaption(QStringLiteral("grußformel"));
        greeting->Add()->SetMacroValue(QStringLiteral("Hallo"));
        list->SetUserMacros(macros);
        TMacroItem* region = Dm.GetSchemaMacroList(ASchema)->Add();
        region->SetMacroName(QStringLiteral("Region"));
        region->SetCaption(QStringLiteral("Region"));
        region->Add()->SetMacroValue(QStringLiteral("Süd (%PRE_DISTRIBUTORLIST%) %NAME%"));
        Dm.Save();
        const qint32 id = list->IDValue();
        Dm.Load();
        List = Dm.ByID(id);
        if (!List)
            throw std::runtime_error("the stored list is not found");
    }

    TMailingMacroCatalogue Catalogue() const {
        TMailingMacroCatalogue catalogue;
        catalogue.SetList(List, hostapi::TDBFieldSchema::Instance());
        return catalogue;
    }
};

} // namespace macrotest

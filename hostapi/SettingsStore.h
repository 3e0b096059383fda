#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// The host's settings: values by section and key. Text values are stored as they are given;
// callers pass them through StrToStringData / StringDataToStr(data, true). Section and key compare
// without regard to letter case. Every operation may be called from any thread; failures throw.
class HOSTAPI_EXPORT ISettingsStore {
public:
    virtual ~ISettingsStore();

    // The stored text; "" for an absent key. A value written as an integer reads as its decimal text.
    virtual QString ReadString(const QString& section, const QString& key) = 0;
    virtual void WriteString(const QString& section, const QString& key, const QString& value) = 0;
    // The stored value as a 32-bit decimal integer (optional sign, no blanks); `defaultValue` when
    // the key is absent or its text is not such a number.
    virtual int ReadInteger(const QString& section, const QString& key, int defaultValue = 0) = 0;
    // Stores the decimal text of `value`.
    virtual void WriteInteger(const QString& section, const QString& key, int value) = 0;
    // Writes out values not yet stored.
    virtual void Flush() = 0;
};

// The settings store of the process, kept in the host database (table "qvsettings"). Section and key
// are stored upper-cased, the canonical form in which they compare equal. Every write goes straight
// to the database through the calling thread's own connection, and every read asks it, so
// processes sharing a database see each other's values at once; Flush has nothing left to do.
class HOSTAPI_EXPORT SettingsStore : public ISettingsStore {
public:
    static SettingsStore& Instance();

    QString ReadString(const QString& section, const QString& key) override;
    void WriteString(const QString& section, const QString& key, const QString& value) override;
    int ReadInteger(const QString& section, const QString& key, int defaultValue = 0) override;
    void WriteInteger(const QString& section, const QString& key, int value) override;
    void Flush() override;

private:
    SettingsStore() = default;
};

} // namespace hostapi

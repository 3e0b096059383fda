#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QObject>
#include <QString>

namespace hostapi {

// Progress entries shown by the host. Main thread only: work on other threads shows no progress
// (callers check QThread first and keep the handle -1). A call from another thread, or with a handle
// that is not open, raises EQVAssertion.
class HOSTAPI_EXPORT IProgressService {
public:
    virtual ~IProgressService();
    // Answers the new entry's handle (never -1).
    virtual int OpenProgress(const QString& ACaption) = 0;
    // AMaximum 0: the amount of work is not known.
    virtual void UpdateProgress(int AHandle, int APosition, int AMaximum, const QString& AText) = 0;
    virtual void CloseProgress(int AHandle) = 0;
};

struct HOSTAPI_EXPORT ProgressEntry {
    int Handle = -1;
    QString Caption;
    int Position = 0;
    int Maximum = 0;
    QString Text;
};

// The host's progress service; the main window follows its signals.
class HOSTAPI_EXPORT ProgressService : public QObject, public IProgressService {
    Q_OBJECT
public:
    explicit ProgressService(QObject* parent = nullptr);
    ~ProgressService() override;

    int OpenProgress(const QString& ACaption) override;
    void UpdateProgress(int AHandle, int APosition, int AMaximum, const QString& AText) override;
    void CloseProgress(int AHandle) override;

    // The open entries in the order they were opened.
    QList<ProgressEntry> Entries() const;

    // The process's progress service: the host's own unless another was installed.
    static IProgressService& Current();
    static ProgressService& Instance();
    // nullptr restores the host's own. The caller keeps ownership and uninstalls it before
    // destroying it.
    static void SetCurrent(IProgressService* AService);

signals:
    void ProgressOpened(int AHandle);
    void ProgressChanged(int AHandle);
    void ProgressClosed(int AHandle);

private:
    qsizetype IndexOf(int AHandle) const;

    QList<ProgressEntry> FEntries;
    int FNextHandle = 1;
};

} // namespace hostapi

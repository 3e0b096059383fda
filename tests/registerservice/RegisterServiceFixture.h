#pragma once

// Shared pieces of the register service tests: answers of the stub endpoint and a part handler
// that records what it gets.

#include "IRegisterServicePartHandler.h"
#include "QVException.h"
#include "QVRegisterServiceContainer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>

namespace rstest {

// A document with the "register_service" part; AFetch null: no "fetch" attribute.
inline QString Answer(const QString& AItems, const char* AFetch = nullptr) {
    const QString fetch = AFetch ? QStringLiteral(" fetch=\"%1\"").arg(QString::fromUtf8(AFetch)) : QString();
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata><register_service%1>%2"
                          "</register_service></qvdata>\n")
        .arg(fetch, AItems);
}

inline QString Registration(int AIdent, const QString& AEmail) {
    return QStringLiteral("<qv_registration source=\"rs\" ident=\"%1\" email=\"%2\"/>")
        .arg(AIdent)
        .arg(AEmail);
}

inline QJsonObject Ok(const QString& ABody) {
    return QJsonObject{
        {"status", 200}, {"body", ABody}, {"headers", QJsonObject{{"Content-Type", "text/xml"}}}};
}

// Records "<name> begin", "<name> item <item>", "<name> end" and the thread of each call; raises on
// the item named FailOn; with a closed gate, holds the first item until the gate opens.
class RecordingHandler : public hostapi::IRegisterServicePartHandler {
public:
    RecordingHandler(QString AName, QStringList& ALog, QMutex& ALogLock)
        : FName(std::move(AName)), FLog(ALog), FLogLock(ALogLock) {}

    QString PartName() const override { return FName; }
    void ImportItem(const QString& AName, const hostapi::TQVXMLElement& AData) override {
        Add(FName + " item " + AData.Attribute("ident"));
        if (AData.Attribute("ident") == FailOn)
            throw hostapi::EQVException(QStringLiteral("item %1 refused").arg(FailOn));
        std::unique_lock<std::mutex> locker(FGateLock);
        FHeld = true;
        FGateChanged.notify_all();
        FGateChanged.wait(locker, [this] { return FGateOpen; });
        Q_UNUSED(AName);
    }
    void BeginImport(hostapi::TQVXMLImportProcessor&, const hostapi::TQVXMLElement&) override {
        Add(FName + " begin");
        ImportThread = QThread::currentThread();
        const int depth = ++FDepth;
        int seen = MaxDepth.load();
        while (depth > seen && !MaxDepth.compare_exchange_weak(seen, depth)) {
        }
    }
    void EndImport() override {
        --FDepth;
        Add(FName + " end");
    }
    bool HasConfigForm() const override { return false; }
    hostapi::IRegisterServiceConfigForm* CreateConfigForm(QWidget*) override { return nullptr; }
    QString LogCaption() const override { return {}; }
    QString LogSchema() const override { return {}; }

    void CloseGate() {
        const std::lock_guard<std::mutex> locker(FGateLock);
        FGateOpen = false;
    }
    void OpenGate() {
        const std::lock_guard<std::mutex> locker(FGateLock);
        FGateOpen = true;
        FGateChanged.notify_all();
    }
    // Waits until an item is held at the closed gate; false after the deadline.
    bool WaitUntilHeld(int ADeadlineMs = 10000) {
        std::unique_lock<std::mutex> locker(FGateLock);
        return FGateChanged.wait_for(locker, std::chrono::milliseconds(ADeadlineMs),
                                     [this] { return FHeld; });
    }

    QString FailOn;
    QThread* ImportThread = nullptr;
    std::atomic<int> MaxDepth{0};

private:
    void Add(const QString& AEntry) {
        QMutexLocker locker(&FLogLock);
        FLog << AEntry;
    }
    QString FName;
    QStringList& FLog;
    QMutex& FLogLock;
    std::mutex FGateLock;
    std::condition_variable FGateChanged;
    bool FGateOpen = true;
    bool FHeld = false;
    std::atomic<int> FDepth{0};
};

// Registers handlers with the host for one test and removes them again.
class HandlerRegistration {
public:
    void Add(const std::shared_ptr<hostapi::IRegisterServicePartHandler>& AHandler) {
        hostapi::TQVRegisterServiceContainer::RegisterHandler(AHandler);
        FHandlers.append(AHandler);
    }
    ~HandlerRegistration() {
        for (const auto& handler : FHandlers)
            hostapi::TQVRegisterServiceContainer::UnregisterHandler(handler.get());
    }

private:
    QList<std::shared_ptr<hostapi::IRegisterServicePartHandler>> FHandlers;
};

} // namespace rstest

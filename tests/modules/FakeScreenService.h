#pragma once

#include "ScreenService.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace testsupport {

// Records what modules ask the screen service to open; opens nothing.
class FakeScreenService : public hostapi::IScreenService {
public:
    struct Request {
        QString PluginGUID;
        int FormIndex = -1;
        QVariant Params;
    };

    hostapi::TPluginForm* OpenPluginForm(const QString& APluginGUID, int AFormIndex,
                                         const QVariant& AParams) override {
        Requests.append(Request{APluginGUID, AFormIndex, AParams});
        return nullptr;
    }

    QList<Request> Requests;
};

} // namespace testsupport

#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QStringList>

namespace hostapi {

// The host's e-mail body routines.
class HOSTAPI_EXPORT TEmailSenderUtils {
public:
    // The HTML body with its local pictures as inline parts: in every tag, a src= or background=
    // attribute (quoted with " or ', or not quoted) whose value is the plain name of a regular
    // file directly inside AFolder becomes "cid:" + that name. Every other value stays as it is:
    // URLs and values with a scheme (http:, data:, cid:, file:, ...), paths ("sub/x.png",
    // "../x.png", "/etc/x.png"), names of missing files and of links. Comments are left alone.
    // AInlineFiles, when given, receives the full path of each file referenced so, once.
    static QString CreateHTMLEmailContentIDBody(const QString& AHtml, const QString& AFolder,
                                                QStringList* AInlineFiles = nullptr);
};

} // namespace hostapi

#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>

namespace hostapi {

// A read-only view of one HTML file.
class HOSTAPI_EXPORT IHtmlView {
public:
    virtual ~IHtmlView();
    // Shows AFileName (inside AFolder); the page's images and style sheets load only from files
    // inside AFolder. Raises EQVException when AFileName lies outside AFolder.
    virtual void ShowFile(const QString& AFileName, const QString& AFolder) = 0;
    // Shows an empty page.
    virtual void ShowBlank() = 0;
    // The file shown; empty for the empty page.
    virtual QString ShownFile() const = 0;
    virtual QWidget* Widget() = 0;
};

// The host's HTML view: a QTextBrowser that loads nothing from the network and no file outside the
// shown file's folder (links and symbolic links resolved), and that follows no link itself. A
// clicked http, https or mailto link is handed to the desktop's URL opener; any other link is
// ignored (and logged).
class HOSTAPI_EXPORT THtmlViewer : public QTextBrowser, public IHtmlView {
    Q_OBJECT

public:
    explicit THtmlViewer(QWidget* AParent = nullptr);

    void ShowFile(const QString& AFileName, const QString& AFolder) override;
    void ShowBlank() override;
    QString ShownFile() const override;
    QWidget* Widget() override { return this; }

    // Resources the shown page asked for and did not get, each once, in the order first asked
    // (resolved URLs).
    QStringList RefusedResources() const { return FRefused; }
    // Files the shown page loaded (the page itself first).
    QStringList LoadedResources() const { return FLoaded; }

    // Whether AFile is a file inside AFolder (or in a folder below it) after resolving links.
    static bool IsInsideFolder(const QString& AFile, const QString& AFolder);

    QVariant loadResource(int AType, const QUrl& AName) override;

private:
    // What a refused resource gets instead of its content.
    static QVariant Refused(int AType);
    void LinkClicked(const QUrl& AUrl);

    QString FFolder;
    QUrl FSource;
    QStringList FRefused;
    QStringList FLoaded;
};

} // namespace hostapi

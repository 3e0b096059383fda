#pragma once

#include "HostApiExport.h"

#include <QWidget>

#include <memory>

class QAction;
class QActionGroup;
class QToolBar;

namespace hostapi {

class TQVInfoBlock;
class TVRNHtmlEditor;
class TVRNLang;

// The HTML editor frame: a format bar (bold, italic, underline, lists, alignment, link, image) over
// the WYSIWYG editor, and a note above it when a loaded body was made outside the editor (its style
// sheets would be lost once the editor rewrites it). Links and images are asked for through the
// dialog service; links take http, https and mailto addresses only.
class HOSTAPI_EXPORT TfrmVRNCustomHTMLEditorControl : public QWidget {
    Q_OBJECT
public:
    explicit TfrmVRNCustomHTMLEditorControl(QWidget* AParent = nullptr);
    ~TfrmVRNCustomHTMLEditorControl() override;

    TVRNHtmlEditor* Editor() const { return FEditor; }
    // TVRNHtmlEditor::LoadFromFile.
    void LoadFromFile(const QString& APath, bool AImportImages);

    bool ReadOnly() const;
    // The format bar is disabled while the editor is read-only.
    void SetReadOnly(bool AReadOnly);

    QString Language() const;
    void SetLanguage(const QString& ALangName);

    // The format bar's actions, for the keyboard and the tests.
    void actBoldExecute();
    void actItalicExecute();
    void actUnderlineExecute();
    void actBulletListExecute();
    void actNumberedListExecute();
    void actAlignExecute(Qt::Alignment AAlignment);
    void actLinkExecute();
    void actImageExecute();

private:
    void UpdateFormatBar();
    void UpdateNote();
    void ToggleList(int AStyle);
    QAction* AddAction(const char* AName, bool ACheckable);

    std::unique_ptr<TVRNLang> FLang;
    QToolBar* FFormatBar;
    TQVInfoBlock* FNote;
    TVRNHtmlEditor* FEditor;
    QActionGroup* FAlignGroup;
};

} // namespace hostapi

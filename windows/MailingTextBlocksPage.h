#pragma once

#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QWidget>

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace hostapi {
class TQV2RichEdit;
}

namespace emailmarketing {

// The text blocks of the loaded template ("emltextblocks"): a list of their descriptions, add and
// delete, and the plain ("body", "Text-Format") and RTF ("bodyhtml", "RTF-Format") editors of the
// current block. An edited block is written when another block or template is chosen and on Save.
// The mailing window places the page on its tab and calls SetTemplateID when it loads a template.
class TMailingTextBlocksPage : public QWidget {
    Q_OBJECT
public:
    explicit TMailingTextBlocksPage(QWidget* AParent = nullptr);

    // Writes a pending edit, then shows the blocks of ATemplateID (-1: none, the page is disabled).
    void SetTemplateID(qint64 ATemplateID);
    qint64 TemplateID() const { return FTemplateID; }

    // Asks for the description (dialog service) and adds a block; false when cancelled or empty.
    bool AddBlock();
    // Asks for the current block's new description (dialog service); false when cancelled or empty.
    bool RenameBlock();
    // Asks, then deletes the current block; false when there is none or the user says No.
    bool DeleteBlock();
    // Writes the editors into the current block when they were changed.
    void Save();
    void SetCurrentBlock(int ARow);
    int BlockCount() const;

    void SetLanguage(const QString& ALangName);

    QListWidget* BlockList() const { return FList; }
    QPlainTextEdit* PlainEditor() const { return FPlain; }
    hostapi::TQV2RichEdit* RtfEditor() const { return FRtf; }

signals:
    // A block was added, renamed or deleted (the window's text-block macro list reads them again).
    void TextBlocksChanged();

private:
    void Reload(qint64 ASelectID);
    void LoadEditors();
    void RetranslateUi();

    hostapi::TVRNLang FLang;
    hostapi::TQVRecordSet FBlocks;
    qint64 FTemplateID = -1;
    bool FLoading = false;
    QListWidget* FList;
    QPushButton* FAdd;
    QPushButton* FRename;
    QPushButton* FDelete;
    QTabWidget* FTabs;
    QPlainTextEdit* FPlain;
    hostapi::TQV2RichEdit* FRtf;
};

} // namespace emailmarketing

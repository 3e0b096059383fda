#pragma once

#include "HostApiExport.h"

#include <QStringList>
#include <QTextEdit>

namespace hostapi {

class RichTextDocument;

// The host's WYSIWYG HTML editor. It owns an image folder (a new temporary folder, emptied on every
// load and removed with the editor): images are shown only from that folder, never from another
// file or from the network. A stored body names its images "%IMAGEPATH%" + file name; the editor
// shows them from its folder and writes the same references back.
//
// Loading: BeginLoad empties the folder, the owner writes the body's images into it, SetHtmlText
// sets the body, EndLoad ends the load. SetHtmlText outside such a bracket empties the folder
// itself. Loads clear the modified flag and emit no changed().
class HOSTAPI_EXPORT TVRNHtmlEditor : public QTextEdit {
    Q_OBJECT
public:
    explicit TVRNHtmlEditor(QWidget* AParent = nullptr);
    ~TVRNHtmlEditor() override;

    // The image folder, with a trailing "/".
    QString GetImagePath() const { return FImagePath; }
    // File names of the images in the folder that the body shows, sorted, each once.
    QStringList ImageList() const;

    void BeginLoad();
    void EndLoad();
    bool Loading() const { return FLoadCount > 0; }

    QString HtmlText() const;
    void SetHtmlText(const QString& AHtml);
    // Plain text of the body.
    QString Text() const { return toPlainText(); }
    // Loads an HTML file (its character set as DecodeHtmlBytes reads it). With AImportImages its
    // images that are files below the HTML file's folder are copied into the image folder (under
    // their file names, made unique) and shown from there; other sources are kept and not loaded.
    void LoadFromFile(const QString& APath, bool AImportImages);

    // Appends AText to the end of the body and shows it. Raises EQVException when read-only.
    void AddString(const QString& AText);
    // Copies the picture file AFile into the image folder (under a new name when its name is
    // taken) and inserts it at the caret. Raises EQVException for a file that is no picture.
    void InsertImageFile(const QString& AFile);

    bool Modified() const;
    void SetModified(bool AModified);
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool AReadOnly) { setReadOnly(AReadOnly); }

    // True when the body last loaded was made outside this editor and carries style sheets, CSS or
    // conditional comments, which the editor does not keep.
    bool ForeignStyling() const { return FForeignStyling; }
    static bool IsForeignStyledHtml(const QString& AHtml);

signals:
    void changed();
    // A body was loaded (SetHtmlText, LoadFromFile).
    void loaded();

private:
    void SetBody(const QString& AHtml);
    // Copies the pictures below AFolder that the body names into the image folder and renames
    // their sources to the copies.
    void ImportImages(const QString& AFolder);
    // A free file name in the image folder for AName.
    QString FreeImageName(const QString& AName) const;

    class ImageFolderDocument;
    ImageFolderDocument* FDocument;
    QString FImagePath;
    int FLoadCount = 0;
    int FSilent = 0;
    bool FForeignStyling = false;
};

} // namespace hostapi

#include "QV2RichEdit.h"

#include "HtmlFileDecoder.h"
#include "FileUtils.h"
#include "QVException.h"
#include "RichTextConverter.h"
#include "RichTextDocument.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "WPRichTextReportHelper.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QUrl>

namespace hostapi {

TQV2RichEdit::TQV2RichEdit(QWidget* AParent) : QTextEdit(AParent), FDocument(new RichTextDocument(this)) {
    FDocument->SetDrawnWithPlaceholders(true);
    setDocument(FDocument);
    setAcceptRichText(true);
    connect(FDocument, &QTextDocument::contentsChanged, this, [this] {
        if (FLoading == 0)
            emit changed();
    });
}

TQV2RichEdit::~TQV2RichEdit() = default;

template <class F> void TQV2RichEdit::Load(F ALoad) {
    ++FLoading;
    try {
        ALoad();
    } catch (...) {
        --FLoading;
        throw;
    }
    --FLoading;
    FDocument->setModified(false);
    moveCursor(QTextCursor::Start);
}

QString TQV2RichEdit::RtfText() const {
    return RtfWriter::Write(*FDocument);
}

void TQV2RichEdit::SetRtfText(const QString& ARtf) {
    if (ARtf.isEmpty()) {
        Load([this] { FDocument->clear(); });
        return;
    }
    // Read into a scratch document first: a text that is not RTF leaves the editor as it was.
    RichTextDocument scratch;
    RtfReader::Read(ARtf, scratch);
    Load([this, &ARtf] { RtfReader::Read(ARtf, *FDocument); });
}

void TQV2RichEdit::LoadHtmlFromString(const QString& AHtml, const QString& AImageFolder) {
    // What the editor shows is what its RTF holds.
    TWPRichTextReportHelper helper;
    helper.LoadFromString(AHtml, QStringLiteral("HTML"), AImageFolder);
    const QString rtf = RtfWriter::Write(helper.Document());
    Load([this, &rtf] { RtfReader::Read(rtf, *FDocument); });
}

void TQV2RichEdit::LoadHtmlFromFile(const QString& APath) {
    const QString folder = QFileInfo(APath).absolutePath();
    QString html = LoadHtmlFile(APath);
    html.remove(QLatin1String("%IMAGEPATH%"));
    RichTextDocument document;
    document.setHtml(html);
    for (const QString& name : RichTextDocument::ImageNames(document)) {
        const QString file = LocalHtmlImage(folder, name);
        if (!file.isEmpty())
            document.addResource(QTextDocument::ImageResource, QUrl(name), LoadBinaryFile(file));
    }
    const QString rtf = RtfWriter::Write(document);
    Load([this, &rtf] { RtfReader::Read(rtf, *FDocument); });
}

QString TQV2RichEdit::SaveHtmlToFolder(const QString& AFolder) const {
    return RichTextConverter::RtfToHtmlFolder(RtfText(), AFolder);
}

QString TQV2RichEdit::SaveTextToFolder(const QString& AFolder) const {
    return RichTextConverter::RtfToTextFile(RtfText(), AFolder);
}

QString TQV2RichEdit::PlainText() const {
    TWPRichTextReportHelper helper;
    helper.LoadFromString(RtfText(), QStringLiteral("RTF"));
    return helper.PlainText();
}

void TQV2RichEdit::InsertText(const QString& AText) {
    if (isReadOnly())
        throw EQVException(QStringLiteral("The text cannot be changed: the editor is read-only."));
    textCursor().insertText(AText);
}

void TQV2RichEdit::SetCursorTo(const QPoint& APos) {
    setTextCursor(cursorForPosition(APos));
}

bool TQV2RichEdit::Modified() const {
    return FDocument->isModified();
}

void TQV2RichEdit::SetModified(bool AModified) {
    FDocument->setModified(AModified);
}

void TQV2RichEdit::dragEnterEvent(QDragEnterEvent* AEvent) {
    if (!FDropTarget.Handle(*this, AEvent))
        QTextEdit::dragEnterEvent(AEvent);
}

void TQV2RichEdit::dragMoveEvent(QDragMoveEvent* AEvent) {
    if (!FDropTarget.Handle(*this, AEvent))
        QTextEdit::dragMoveEvent(AEvent);
}

void TQV2RichEdit::dropEvent(QDropEvent* AEvent) {
    if (!FDropTarget.Handle(*this, AEvent))
        QTextEdit::dropEvent(AEvent);
}

} // namespace hostapi

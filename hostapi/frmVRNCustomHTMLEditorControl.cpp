#include "frmVRNCustomHTMLEditorControl.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "QVException.h"
#include "QVInfoBlock.h"
#include "VRNHtmlEditor.h"
#include "VRNLang.h"

#include <QAction>
#include <QActionGroup>
#include <QTextBlock>
#include <QTextList>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace hostapi {

namespace {

const char* const ActionNames[] = {"actBold",         "actItalic",    "actUnderline",   "actBulletList",
                                   "actNumberedList", "actAlignLeft", "actAlignCenter", "actAlignRight",
                                   "actLink",         "actImage"};

} // namespace

TfrmVRNCustomHTMLEditorControl::TfrmVRNCustomHTMLEditorControl(QWidget* AParent)
    : QWidget(AParent), FLang(std::make_unique<TVRNLang>(QStringLiteral("frmVRNCustomHTMLEditorControl"))),
      FFormatBar(new QToolBar(this)), FNote(new TQVInfoBlock(this)), FEditor(new TVRNHtmlEditor(this)),
      FAlignGroup(new QActionGroup(this)) {
    setObjectName(QStringLiteral("frmVRNCustomHTMLEditorControl"));
    FFormatBar->setObjectName(QStringLiteral("tbFormat"));
    FNote->setObjectName(QStringLiteral("ibForeignStyling"));
    FNote->setVisible(false);
    FEditor->setObjectName(QStringLiteral("edtHTML"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(FFormatBar);
    layout->addWidget(FNote);
    layout->addWidget(FEditor, 1);

    const auto guarded = [](auto AHandler) { return [AHandler] { TVRNExceptionUtils::Guarded(AHandler); }; };
    connect(AddAction("actBold", true), &QAction::triggered, this, guarded([this] { actBoldExecute(); }));
    connect(AddAction("actItalic", true), &QAction::triggered, this, guarded([this] { actItalicExecute(); }));
    connect(AddAction("actUnderline", true), &QAction::triggered, this,
            guarded([this] { actUnderlineExecute(); }));
    FFormatBar->addSeparator();
    connect(AddAction("actBulletList", true), &QAction::triggered, this,
            guarded([this] { actBulletListExecute(); }));
    connect(AddAction("actNumberedList", true), &QAction::triggered, this,
            guarded([this] { actNumberedListExecute(); }));
    FFormatBar->addSeparator();
    const std::pair<const char*, Qt::Alignment> alignments[] = {{"actAlignLeft", Qt::AlignLeft},
                                                                {"actAlignCenter", Qt::AlignHCenter},
                                                                {"actAlignRight", Qt::AlignRight}};
    for (const auto& [name, alignment] : alignments) {
        QAction* action = AddAction(name, true);
        FAlignGroup->addAction(action);
        connect(action, &QAction::triggered, this,
                guarded([this, alignment] { actAlignExecute(alignment); }));
    }
    FFormatBar->addSeparator();
    connect(AddAction("actLink", false), &QAction::triggered, this, guarded([this] { actLinkExecute(); }));
    connect(AddAction("actImage", false), &QAction::triggered, this, guarded([this] { actImageExecute(); }));
    findChild<QAction*>(QStringLiteral("actBold"))->setShortcut(QKeySequence::Bold);
    findChild<QAction*>(QStringLiteral("actItalic"))->setShortcut(QKeySequence::Italic);
    findChild<QAction*>(QStringLiteral("actUnderline"))->setShortcut(QKeySequence::Underline);
    // The short forms of bold, italic and underline look like what they do.
    const std::pair<const char*, void (QFont::*)(bool)> looks[] = {{"actBold", &QFont::setBold},
                                                                   {"actItalic", &QFont::setItalic},
                                                                   {"actUnderline", &QFont::setUnderline}};
    for (const auto& [name, look] : looks) {
        QWidget* button = FFormatBar->widgetForAction(findChild<QAction*>(QString::fromLatin1(name)));
        QFont font = button->font();
        (font.*look)(true);
        button->setFont(font);
        button->setMinimumWidth(button->sizeHint().height());
    }

    connect(FEditor, &QTextEdit::currentCharFormatChanged, this, [this] { UpdateFormatBar(); });
    connect(FEditor, &QTextEdit::cursorPositionChanged, this, [this] { UpdateFormatBar(); });
    connect(FEditor, &TVRNHtmlEditor::loaded, this, [this] { UpdateNote(); });
    SetLanguage(TVRNLang::CurrentLanguage());
    UpdateFormatBar();
}

TfrmVRNCustomHTMLEditorControl::~TfrmVRNCustomHTMLEditorControl() = default;

QAction* TfrmVRNCustomHTMLEditorControl::AddAction(const char* AName, bool ACheckable) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(AName));
    action->setCheckable(ACheckable);
    // Shortcuts act while the focus is inside the frame, not elsewhere in the window.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    FFormatBar->addAction(action);
    return action;
}

void TfrmVRNCustomHTMLEditorControl::LoadFromFile(const QString& APath, bool AImportImages) {
    FEditor->LoadFromFile(APath, AImportImages);
}

bool TfrmVRNCustomHTMLEditorControl::ReadOnly() const {
    return FEditor->ReadOnly();
}

void TfrmVRNCustomHTMLEditorControl::SetReadOnly(bool AReadOnly) {
    FEditor->SetReadOnly(AReadOnly);
    FFormatBar->setEnabled(!AReadOnly);
}

QString TfrmVRNCustomHTMLEditorControl::Language() const {
    return FLang->Language();
}

void TfrmVRNCustomHTMLEditorControl::SetLanguage(const QString& ALangName) {
    FLang->SetLanguage(ALangName);
    for (const char* name : ActionNames) {
        QAction* action = findChild<QAction*>(QString::fromLatin1(name));
        const QString id = QString::fromLatin1(name);
        action->setText(FLang->Text(id));
        action->setToolTip(QString(action->text()).remove(QLatin1Char('&')));
        // The bar shows a short form where there is one.
        const QString shortId = id + QStringLiteral("_Short");
        action->setIconText(FLang->HasText(shortId) ? FLang->Text(shortId) : action->toolTip());
    }
    FNote->SetText(FLang->Text(QStringLiteral("IDS_ForeignStyling")));
}

void TfrmVRNCustomHTMLEditorControl::UpdateFormatBar() {
    const QTextCharFormat format = FEditor->currentCharFormat();
    findChild<QAction*>(QStringLiteral("actBold"))->setChecked(format.fontWeight() >= QFont::Bold);
    findChild<QAction*>(QStringLiteral("actItalic"))->setChecked(format.fontItalic());
    findChild<QAction*>(QStringLiteral("actUnderline"))->setChecked(format.fontUnderline());
    const QTextList* list = FEditor->textCursor().currentList();
    const int style = list ? list->format().style() : 0;
    findChild<QAction*>(QStringLiteral("actBulletList"))->setChecked(style == QTextListFormat::ListDisc);
    findChild<QAction*>(QStringLiteral("actNumberedList"))->setChecked(style == QTextListFormat::ListDecimal);
    const Qt::Alignment alignment = FEditor->alignment() & Qt::AlignHorizontal_Mask;
    const char* alignName = alignment & Qt::AlignHCenter ? "actAlignCenter"
                            : alignment & Qt::AlignRight ? "actAlignRight"
                                                         : "actAlignLeft";
    findChild<QAction*>(QString::fromLatin1(alignName))->setChecked(true);
}

void TfrmVRNCustomHTMLEditorControl::UpdateNote() {
    FNote->setVisible(FEditor->ForeignStyling());
}

void TfrmVRNCustomHTMLEditorControl::actBoldExecute() {
    QTextCharFormat format;
    format.setFontWeight(FEditor->currentCharFormat().fontWeight() >= QFont::Bold ? QFont::Normal
                                                                                  : QFont::Bold);
    FEditor->mergeCurrentCharFormat(format);
    UpdateFormatBar();
}

void TfrmVRNCustomHTMLEditorControl::actItalicExecute() {
    QTextCharFormat format;
    format.setFontItalic(!FEditor->currentCharFormat().fontItalic());
    FEditor->mergeCurrentCharFormat(format);
    UpdateFormatBar();
}

void TfrmVRNCustomHTMLEditorControl::actUnderlineExecute() {
    QTextCharFormat format;
    format.setFontUnderline(!FEditor->currentCharFormat().fontUnderline());
    FEditor->mergeCurrentCharFormat(format);
    UpdateFormatBar();
}

void TfrmVRNCustomHTMLEditorControl::ToggleList(int AStyle) {
    QTextCursor cursor = FEditor->textCursor();
    cursor.beginEditBlock();
    if (QTextList* list = cursor.currentList(); list && list->format().style() == AStyle) {
        // The same list again: the paragraph leaves it.
        QTextBlockFormat block = cursor.blockFormat();
        list->remove(cursor.block());
        block.setIndent(0);
        block.setObjectIndex(-1);
        cursor.setBlockFormat(block);
    } else {
        QTextListFormat format;
        format.setStyle(QTextListFormat::Style(AStyle));
        cursor.createList(format);
    }
    cursor.endEditBlock();
    UpdateFormatBar();
}

void TfrmVRNCustomHTMLEditorControl::actBulletListExecute() {
    ToggleList(QTextListFormat::ListDisc);
}

void TfrmVRNCustomHTMLEditorControl::actNumberedListExecute() {
    ToggleList(QTextListFormat::ListDecimal);
}

void TfrmVRNCustomHTMLEditorControl::actAlignExecute(Qt::Alignment AAlignment) {
    FEditor->setAlignment(AAlignment);
    UpdateFormatBar();
}

void TfrmVRNCustomHTMLEditorControl::actLinkExecute() {
    QString address = QStringLiteral("https://");
    if (!InputQuery(FLang->Text(QStringLiteral("IDS_LinkCaption")),
                    FLang->Text(QStringLiteral("IDS_LinkPrompt")), address))
        return;
    address = address.trimmed();
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                           scheme != QLatin1String("mailto")))
        throw EQVUserMessageException(FLang->Text(QStringLiteral("IDS_LinkScheme")).arg(address));
    QTextCursor cursor = FEditor->textCursor();
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url.toString(QUrl::FullyEncoded));
    format.setFontUnderline(true);
    format.setForeground(QColor(0x00, 0x00, 0xEE));
    if (cursor.hasSelection())
        cursor.mergeCharFormat(format);
    else
        cursor.insertText(address, format);
}

void TfrmVRNCustomHTMLEditorControl::actImageExecute() {
    TFileDialogOptions options;
    options.Caption = FLang->Text(QStringLiteral("IDS_ImageCaption"));
    options.Filter = FLang->Text(QStringLiteral("IDS_ImageFilter"));
    QString file;
    if (!OpenFileDialog(options, file))
        return;
    FEditor->InsertImageFile(file);
}

} // namespace hostapi

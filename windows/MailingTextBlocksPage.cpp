#include "MailingTextBlocksPage.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "QV2RichEdit.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace emailmarketing {

namespace {
const QString Schema = QStringLiteral("emltextblocks");
const QString TemplateField = QStringLiteral("emtemplateid");
const QString DescrField = QStringLiteral("descr");
const QString BodyField = QStringLiteral("body");
const QString RtfField = QStringLiteral("bodyhtml");
} // namespace

TMailingTextBlocksPage::TMailingTextBlocksPage(QWidget* AParent)
    : QWidget(AParent), FLang(QStringLiteral("MailingTextBlocksPage")), FBlocks(Schema),
      FList(new QListWidget(this)), FAdd(new QPushButton(this)), FRename(new QPushButton(this)),
      FDelete(new QPushButton(this)), FTabs(new QTabWidget(this)), FPlain(new QPlainTextEdit(this)),
      FRtf(new hostapi::TQV2RichEdit(this)) {
    setObjectName(QStringLiteral("MailingTextBlocksPage"));
    FList->setObjectName(QStringLiteral("dbtvTextblocks"));
    FPlain->setObjectName(QStringLiteral("edtPlainTextBlock"));
    FRtf->setObjectName(QStringLiteral("edtRTFTextBlock"));
    FTabs->setObjectName(QStringLiteral("pcTextBlock"));
    FAdd->setObjectName(QStringLiteral("btnAddTextBlock"));
    FRename->setObjectName(QStringLiteral("btnRenameTextBlock"));
    FDelete->setObjectName(QStringLiteral("btnDeleteTextBlock"));
    FBlocks.AddOrder(QStringLiteral("id"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(FAdd);
    buttons->addWidget(FRename);
    buttons->addWidget(FDelete);
    buttons->addStretch();
    auto* left = new QVBoxLayout;
    left->addLayout(buttons);
    left->addWidget(FList);
    FTabs->addTab(FPlain, QString());
    FTabs->addTab(FRtf, QString());
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(FTabs, 2);
    connect(FAdd, &QPushButton::clicked, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { AddBlock(); }); });
    connect(FRename, &QPushButton::clicked, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { RenameBlock(); }); });
    connect(FList, &QListWidget::itemDoubleClicked, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { RenameBlock(); }); });
    connect(FDelete, &QPushButton::clicked, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { DeleteBlock(); }); });
    connect(FList, &QListWidget::currentRowChanged, this, [this](int ARow) {
        if (!FLoading)
            hostapi::TVRNExceptionUtils::Guarded([this, ARow] { SetCurrentBlock(ARow); });
    });
    RetranslateUi();
    SetTemplateID(-1);
}

void TMailingTextBlocksPage::SetTemplateID(qint64 ATemplateID) {
    Save();
    FTemplateID = ATemplateID;
    Reload(-1);
}

int TMailingTextBlocksPage::BlockCount() const {
    return FBlocks.Active() ? FBlocks.RecordCount() : 0;
}

void TMailingTextBlocksPage::Reload(qint64 ASelectID) {
    FLoading = true;
    FList->clear();
    FBlocks.Close();
    int select = 0;
    if (FTemplateID > 0) {
        FBlocks.Filters().Clear();
        FBlocks.Filters().Add(TemplateField, FTemplateID);
        FBlocks.Open();
        for (FBlocks.First(); !FBlocks.Eof(); FBlocks.Next()) {
            if (FBlocks.RecordID() == ASelectID)
                select = FBlocks.RecNo();
            FList->addItem(FBlocks.FieldValue(DescrField).toString());
        }
        if (FBlocks.RecordCount() > 0) {
            FBlocks.SetRecNo(select);
            FList->setCurrentRow(select);
        }
    }
    FLoading = false;
    setEnabled(FTemplateID > 0);
    LoadEditors();
}

void TMailingTextBlocksPage::LoadEditors() {
    FLoading = true;
    const bool hasBlock = BlockCount() > 0;
    FPlain->setPlainText(hasBlock ? FBlocks.FieldValue(BodyField).toString() : QString());
    FRtf->SetRtfText(hasBlock ? FBlocks.FieldValue(RtfField).toString() : QString());
    FPlain->document()->setModified(false);
    FRtf->SetModified(false);
    FPlain->setEnabled(hasBlock);
    FRtf->setEnabled(hasBlock);
    FRename->setEnabled(hasBlock);
    FDelete->setEnabled(hasBlock);
    FLoading = false;
}

void TMailingTextBlocksPage::SetCurrentBlock(int ARow) {
    if (ARow < 0 || ARow >= BlockCount() || ARow == FBlocks.RecNo())
        return;
    Save();
    FBlocks.SetRecNo(ARow);
    if (FList->currentRow() != ARow) {
        FLoading = true;
        FList->setCurrentRow(ARow);
        FLoading = false;
    }
    LoadEditors();
}

void TMailingTextBlocksPage::Save() {
    if (BlockCount() == 0 || (!FPlain->document()->isModified() && !FRtf->Modified()))
        return;
    FBlocks.Edit();
    if (FPlain->document()->isModified())
        FBlocks.SetFieldValue(BodyField, FPlain->toPlainText());
    if (FRtf->Modified())
        FBlocks.SetFieldValue(RtfField, FRtf->RtfText());
    FBlocks.Post();
    FPlain->document()->setModified(false);
    FRtf->SetModified(false);
}

bool TMailingTextBlocksPage::AddBlock() {
    if (FTemplateID < 1)
        return false;
    QString name;
    if (!hostapi::InputQuery(FLang.Text(QStringLiteral("IDS_AddCaption")),
                             FLang.Text(QStringLiteral("IDS_AddPrompt")), name) ||
        name.trimmed().isEmpty())
        return false;
    Save();
    FBlocks.Append();
    FBlocks.SetFieldValue(TemplateField, FTemplateID);
    FBlocks.SetFieldValue(DescrField, name.trimmed());
    FBlocks.Post();
    Reload(FBlocks.RecordID());
    emit TextBlocksChanged();
    return true;
}

bool TMailingTextBlocksPage::RenameBlock() {
    if (BlockCount() == 0)
        return false;
    QString name = FBlocks.FieldValue(DescrField).toString();
    if (!hostapi::InputQuery(FLang.Text(QStringLiteral("IDS_AddCaption")),
                             FLang.Text(QStringLiteral("IDS_RenamePrompt")), name) ||
        name.trimmed().isEmpty())
        return false;
    Save();
    const qint64 id = FBlocks.RecordID();
    FBlocks.Edit();
    FBlocks.SetFieldValue(DescrField, name.trimmed());
    FBlocks.Post();
    Reload(id);
    emit TextBlocksChanged();
    return true;
}

bool TMailingTextBlocksPage::DeleteBlock() {
    if (BlockCount() == 0)
        return false;
    const QString name = FBlocks.FieldValue(DescrField).toString();
    if (hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_AskDelete")).arg(name), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo) != hostapi::mrYes)
        return false;
    FBlocks.Delete();
    FPlain->document()->setModified(false);
    FRtf->SetModified(false);
    Reload(-1);
    emit TextBlocksChanged();
    return true;
}

void TMailingTextBlocksPage::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    RetranslateUi();
}

void TMailingTextBlocksPage::RetranslateUi() {
    FAdd->setText(FLang.Text(QStringLiteral("IDS_Add")));
    FRename->setText(FLang.Text(QStringLiteral("IDS_Rename")));
    FDelete->setText(FLang.Text(QStringLiteral("IDS_Delete")));
    FTabs->setTabText(0, FLang.Text(QStringLiteral("IDS_TabText")));
    FTabs->setTabText(1, FLang.Text(QStringLiteral("IDS_TabRtf")));
}

} // namespace emailmarketing

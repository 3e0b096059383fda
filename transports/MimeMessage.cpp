#include "MimeMessage.h"

#include "MimeMessageCodec.h"

namespace emailmarketing {

bool MimeMessagePart::IsContainer() const {
    return PartKind == Kind::Text &&
           ContentType.trimmed().startsWith(QLatin1String("multipart/"), Qt::CaseInsensitive);
}

MimeMessagePart MimeMessagePart::Text(const QString& AContentType, const QString& ABody,
                                      const QString& ACharSet, int AParentPart) {
    MimeMessagePart part;
    part.ContentType = AContentType;
    part.Body = ABody;
    part.CharSet = ACharSet;
    part.ParentPart = AParentPart;
    return part;
}

MimeMessagePart MimeMessagePart::Container(const QString& AContentType, int AParentPart) {
    return Text(AContentType, QString(), QString(), AParentPart);
}

MimeMessage::MimeMessage() = default;
MimeMessage::~MimeMessage() = default;

void MimeMessage::Clear() {
    From = {};
    Sender = {};
    ReplyTo.clear();
    Recipients.clear();
    CCList.clear();
    BccList.clear();
    Subject.clear();
    MsgId.clear();
    Date = {};
    ExtraHeaders.clear();
    ContentType.clear();
    MessageParts.clear();
    UID.clear();
    Flags = {};
}

QByteArray MimeMessage::SaveToBytes() {
    GenerateHeader();
    return MimeMessageCodec::Write(*this);
}

void MimeMessage::LoadFromBytes(const QByteArray& AMime, bool AHeadersOnly) {
    Clear();
    MimeMessageCodec::Read(AMime, AHeadersOnly, *this);
}

void MimeMessage::GenerateHeader() {}

} // namespace emailmarketing

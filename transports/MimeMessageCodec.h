#pragma once

#include <QByteArray>

namespace emailmarketing {

class MimeMessage;

// Writes a MimeMessage as MIME text and reads it back, with GMime (rules: MimeMessage).
class MimeMessageCodec {
public:
    static QByteArray Write(const MimeMessage& AMessage);
    // Fills the empty message AMessage from the MIME text.
    static void Read(const QByteArray& AMime, bool AHeadersOnly, MimeMessage& AMessage);
};

} // namespace emailmarketing

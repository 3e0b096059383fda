#pragma once

#include <QString>

namespace emailmarketing {

// The application-folder marker of stored attachment paths: "$APP$" at the start of a path stands for
// the folder of the host program, so attachments kept beside the program stay valid when it moves.
// Both directions compare case-sensitively (file names on Linux are), and only at the path's start.
class TAttachmentPathRules {
public:
    static QString AppMarker() { return QStringLiteral("$APP$"); }

    // APath with a leading "$APP$" replaced by AAppFolder (given a trailing "/" when it has none):
    // "$APP$x.pdf" gives "<folder>/x.pdf". Any other path, and a marker elsewhere, is unchanged.
    static QString ExpandAppFolder(const QString& APath, const QString& AAppFolder);
    // The stored form of APath: a path that begins with AAppFolder followed by "/" has that part
    // replaced by "$APP$"; any other path (another folder, one that only shares a prefix of the
    // folder's name or differs in letter case, the folder itself) is kept as typed.
    static QString ContractAppFolder(const QString& APath, const QString& AAppFolder);

    // The host program's folder with its trailing "/".
    static QString ApplicationFolder();

private:
    static QString WithSeparator(const QString& AFolder);
};

} // namespace emailmarketing

#include "UserAccess.h"

#include "QVException.h"

#include <QMutex>
#include <QMutexLocker>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace hostapi {

namespace {

struct CurrentUser {
    QString Name;
    qint64 Number = -1;
};

CurrentUser SystemUser() {
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0)
        size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    passwd pwd{};
    passwd* found = nullptr;
    const int rc = getpwuid_r(uid, &pwd, buffer.data(), buffer.size(), &found);
    if (rc != 0 || !found)
        throw EQVException(QStringLiteral("The operating-system user %1 has no user name").arg(uid));
    return {QString::fromLocal8Bit(found->pw_name), qint64(uid)};
}

QMutex GLock;
bool GInitialised = false;
CurrentUser GUser;

CurrentUser Get() {
    QMutexLocker locker(&GLock);
    if (!GInitialised) {
        GUser = SystemUser();
        GInitialised = true;
    }
    return GUser;
}

} // namespace

QString UserAccess::UserName() {
    return Get().Name;
}

qint64 UserAccess::UserNumber() {
    return Get().Number;
}

void UserAccess::SetUser(const QString& AUserName, qint64 AUserNumber) {
    QV_ASSERT(!AUserName.isEmpty());
    QMutexLocker locker(&GLock);
    GUser = {AUserName, AUserNumber};
    GInitialised = true;
}

void UserAccess::ResetToSystemUser() {
    CurrentUser user = SystemUser();
    QMutexLocker locker(&GLock);
    GUser = user;
    GInitialised = true;
}

} // namespace hostapi

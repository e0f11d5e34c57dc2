#include "store/secretstore.h"

#include <QFileInfo>
#include <QTimer>

QString SecretStore::keyFor(const QString &profile, const QString &user)
{
    return user + QLatin1Char('@') + QFileInfo(profile).absoluteFilePath();
}

namespace {

void later(QObject *context, SecretStore::Done done, const SecretStore::Reply &reply)
{
    QTimer::singleShot(0, context, [done = std::move(done), reply] { done(reply); });
}

SecretStore::Reply none()
{
    return {SecretStore::Reply::Status::Unreachable, {}, QStringLiteral("未启用系统密钥环"), {}};
}

} // namespace

void NoSecretStore::read(const QString &, QObject *context, Done done)
{
    later(context, std::move(done), none());
}

void NoSecretStore::write(const QString &, const QString &, QObject *context, Done done)
{
    later(context, std::move(done), none());
}

void NoSecretStore::remove(const QString &, QObject *context, Done done)
{
    later(context, std::move(done), none());
}

void MemorySecretStore::answer(QObject *context, Done done, const Reply &reply)
{
    ++calls;
    if (!reachable)
        later(context, std::move(done), {Reply::Status::Unreachable, {}, unreachableReason, {}});
    else
        later(context, std::move(done), reply);
}

void MemorySecretStore::read(const QString &key, QObject *context, Done done)
{
    if (reachable && !entries.contains(key)) {
        answer(context, std::move(done), {Reply::Status::Missing, {}, QStringLiteral("系统密钥环中没有该密码"), {}});
        return;
    }
    answer(context, std::move(done), {Reply::Status::Done, entries.value(key), {}, {}});
}

void MemorySecretStore::write(const QString &key, const QString &secret, QObject *context, Done done)
{
    if (reachable)
        entries.insert(key, secret);
    answer(context, std::move(done), {});
}

void MemorySecretStore::remove(const QString &key, QObject *context, Done done)
{
    if (reachable)
        entries.remove(key);
    answer(context, std::move(done), {});
}

#include "store/keychainstore.h"

#include <qt6keychain/keychain.h>

namespace {

SecretStore::Reply replyOf(QKeychain::Job *job)
{
    using Status = SecretStore::Reply::Status;
    switch (job->error()) {
    case QKeychain::NoError: return {Status::Done, {}, {}, {}};
    case QKeychain::EntryNotFound: return {Status::Missing, {}, QStringLiteral("系统密钥环中没有该密码"), {}};
    case QKeychain::AccessDeniedByUser: return {Status::Unreachable, {}, QStringLiteral("用户拒绝访问系统密钥环"), {}};
    case QKeychain::NoBackendAvailable:
        return {Status::Unreachable, {}, QStringLiteral("没有可用的系统密钥环"), job->errorString().left(200)};
    default: break;
    }
    return {Status::Unreachable, {}, QStringLiteral("系统密钥环出错"), job->errorString().left(200)};
}

// Runs the job and answers once, on the context's thread, unless the context has gone.
void run(QKeychain::Job *job, QObject *context, SecretStore::Done done)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, context, [done = std::move(done)](QKeychain::Job *j) {
        SecretStore::Reply r = replyOf(j);
        if (r.ok())
            if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(j))
                r.secret = read->textData();
        done(r);
    });
    job->start();
}

} // namespace

QString KeychainSecretStore::service()
{
    return QStringLiteral("Velorix");
}

void KeychainSecretStore::read(const QString &key, QObject *context, Done done)
{
    auto *job = new QKeychain::ReadPasswordJob(service());
    job->setKey(key);
    run(job, context, std::move(done));
}

void KeychainSecretStore::write(const QString &key, const QString &secret, QObject *context, Done done)
{
    auto *job = new QKeychain::WritePasswordJob(service());
    job->setKey(key);
    job->setTextData(secret);
    run(job, context, std::move(done));
}

void KeychainSecretStore::remove(const QString &key, QObject *context, Done done)
{
    auto *job = new QKeychain::DeletePasswordJob(service());
    job->setKey(key);
    run(job, context, std::move(done));
}

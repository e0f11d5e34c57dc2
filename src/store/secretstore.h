#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

// Where the site password is kept when the desktop has a keyring (the Secret Service of GNOME
// Keyring or KWallet). Every call answers later, once, through its callback, on the calling
// thread, and never after its context object is gone: a keyring that asks the operator to
// unlock it must not hold up the program.
class SecretStore
{
public:
    struct Reply {
        enum class Status { Done, Missing, Unreachable };
        Status status = Status::Done;
        QString secret;   // what a read found
        QString reason;   // why the keyring could not be used, in the operator's words
        QString detail;   // the keyring's own words, for the run log only
        bool ok() const { return status == Status::Done; }
    };
    using Done = std::function<void(const Reply &)>;

    virtual ~SecretStore() = default;
    virtual void read(const QString &key, QObject *context, Done done) = 0;
    virtual void write(const QString &key, const QString &secret, QObject *context, Done done) = 0;
    virtual void remove(const QString &key, QObject *context, Done done) = 0;

    // The key of a profile's site password: the profile's absolute path and the site user.
    static QString keyFor(const QString &profile, const QString &user);
};

// No keyring at all: every call answers that none can be reached.
class NoSecretStore : public SecretStore
{
public:
    void read(const QString &key, QObject *context, Done done) override;
    void write(const QString &key, const QString &secret, QObject *context, Done done) override;
    void remove(const QString &key, QObject *context, Done done) override;
};

// A keyring in memory, for tests: answers from the event loop as a real one does, and can be
// made unreachable.
class MemorySecretStore : public SecretStore
{
public:
    void read(const QString &key, QObject *context, Done done) override;
    void write(const QString &key, const QString &secret, QObject *context, Done done) override;
    void remove(const QString &key, QObject *context, Done done) override;

    QMap<QString, QString> entries;
    bool reachable = true;
    QString unreachableReason = QStringLiteral("无法连接到系统密钥环");
    int calls = 0;

private:
    void answer(QObject *context, Done done, const Reply &reply);
};

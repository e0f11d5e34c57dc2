#pragma once

#include "store/secretstore.h"

// The desktop's keyring through QtKeychain: the Secret Service (GNOME Keyring, KeePassXC) or
// KWallet, whichever the session has. Never falls back to a file of its own: where no keyring
// answers, the caller keeps the password where it was.
class KeychainSecretStore : public SecretStore
{
public:
    void read(const QString &key, QObject *context, Done done) override;
    void write(const QString &key, const QString &secret, QObject *context, Done done) override;
    void remove(const QString &key, QObject *context, Done done) override;

    // The service name the entries are filed under.
    static QString service();
};

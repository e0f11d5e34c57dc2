#pragma once

#include "store/secretstore.h"

#include <QObject>
#include <QString>

class ProfileDb;
class RunLog;
struct SoftConfig;

// The site password in force and where it is kept: in the system keyring where one answers,
// else in the profile as before. A profile whose password is in the keyring starts with none
// until the keyring has answered; while there is none, problem() says why, and Step 3 does not
// start on it (it would log in with an empty password).
class SitePassword : public QObject
{
    Q_OBJECT
public:
    enum class Place { Profile, Keyring };

    SitePassword(ProfileDb &db, RunLog &log, QObject *parent = nullptr);
    // How long a keyring read may take before it counts as not answered (30 s).
    void setReadDeadline(int ms) { m_readDeadlineMs = ms; }

    // The keyring to use; nullptr (the default): none.
    void setStore(SecretStore *store) { m_store = store ? store : &m_none; }

    // Takes the password of a settings row just read from the profile at this path.
    void load(const SoftConfig &config, const QString &profile);
    // The site settings were just saved into the profile with this password: it moves to the
    // keyring when one takes it. saved() follows when that is settled.
    void store(const QString &user, const QString &pass, const QString &profile);

    const QString &pass() const { return m_pass; }
    // Why there is no password to log in with; empty when there is one.
    const QString &problem() const { return m_problem; }
    bool pending() const { return m_pending; }
    Place place() const { return m_place; }
    // What the settings page says of it.
    QString placeText() const;

signals:
    // The keyring answered a load: pass() or problem() holds the outcome.
    void known();
    // A store() is settled: the password is in the keyring, or stays in the profile.
    void saved();
    void placeChanged();

private:
    void fellBack(const QString &reason, const QString &detail = {});

    ProfileDb &m_db;
    RunLog &m_log;
    NoSecretStore m_none;
    SecretStore *m_store = &m_none;
    QString m_pass, m_problem;
    QString m_fallbackReason;
    Place m_place = Place::Profile;
    bool m_pending = false;
    bool m_fallbackLogged = false;
    int m_readDeadlineMs = 30000;   // how long a keyring read may take
    int m_generation = 0;   // a reply to a load or store that a later one superseded is dropped
};

#include "session/sitepassword.h"
#include "session/runlog.h"
#include "store/profiledb.h"

#include <QTimer>

SitePassword::SitePassword(ProfileDb &db, RunLog &log, QObject *parent) : QObject(parent), m_db(db), m_log(log)
{
}

QString SitePassword::placeText() const
{
    if (m_place == Place::Keyring)
        return QStringLiteral("密码保存在系统密钥环中");
    if (!m_fallbackReason.isEmpty())
        return QStringLiteral("密码保存在配置文件中（%1）").arg(m_fallbackReason);
    return QStringLiteral("密码保存在配置文件中");
}

void SitePassword::load(const SoftConfig &config, const QString &profile)
{
    const int generation = ++m_generation;
    m_problem.clear();
    if (!config.passInKeyring()) {
        m_pending = false;
        m_pass = config.web_pass;
        m_place = Place::Profile;
        emit placeChanged();
        return;
    }
    m_place = Place::Keyring;
    m_pending = true;
    m_pass.clear();
    m_problem = QStringLiteral("正在从系统密钥环读取网站后台密码，请稍后再试");
    emit placeChanged();
    // A keyring that never answers (its unlock prompt on a screen nobody watches) must not hold
    // an unattended run, and the profile's lock with it, for ever.
    QTimer::singleShot(m_readDeadlineMs, this, [this, generation] {
        if (generation != m_generation || !m_pending)
            return;
        ++m_generation;   // a late answer is dropped
        m_pending = false;
        m_problem = QStringLiteral("系统密钥环在%1秒内没有应答，未开始上传。请在桌面会话中解锁密钥环后重试")
                        .arg((m_readDeadlineMs + 999) / 1000);
        m_log.write(QStringLiteral("状态"), m_problem);
        emit known();
    });
    m_store->read(SecretStore::keyFor(profile, config.web_user), this, [this, generation](const SecretStore::Reply &r) {
        if (generation != m_generation)
            return;
        m_pending = false;
        if (r.ok() && !r.secret.isEmpty()) {
            m_pass = r.secret;
            m_problem.clear();
        } else {
            // Never an empty password to the site: the step says what to do instead.
            const QString why = r.ok() ? QStringLiteral("系统密钥环中的密码为空") : r.reason;
            m_problem = QStringLiteral("无法从系统密钥环读取网站后台密码（%1），未开始上传。请在桌面会话中运行，"
                                       "或在网站设置中重新保存密码")
                            .arg(why);
            m_log.write(QStringLiteral("状态"), r.detail.isEmpty() ? m_problem : m_problem + QStringLiteral("（") + r.detail + QStringLiteral("）"));
        }
        emit known();
    });
}

void SitePassword::fellBack(const QString &reason, const QString &detail)
{
    m_place = Place::Profile;
    m_fallbackReason = reason;
    // Said once: a cron job saving settings every night would fill the log with it.
    if (!m_fallbackLogged) {
        m_fallbackLogged = true;
        QString entry = QStringLiteral("未能使用系统密钥环（%1），网站后台密码保存在配置文件中").arg(reason);
        if (!detail.isEmpty())
            entry += QStringLiteral("（") + detail + QStringLiteral("）");
        m_log.write(QStringLiteral("状态"), entry);
    }
}

void SitePassword::store(const QString &user, const QString &pass, const QString &profile)
{
    const int generation = ++m_generation;
    m_pending = false;
    m_pass = pass;
    m_problem.clear();
    m_place = Place::Profile;
    m_store->write(SecretStore::keyFor(profile, user), pass, this, [this, generation](const SecretStore::Reply &r) {
        if (generation != m_generation)
            return;
        if (!r.ok()) {
            fellBack(r.reason, r.detail);
        } else if (const DbStatus cleared = m_db.setPassInKeyring(); !cleared) {
            // The keyring has it, the profile still too: it works, and the next save tries again.
            fellBack(cleared.writeFailure(QStringLiteral("密码位置")));
        } else {
            m_place = Place::Keyring;
            m_fallbackReason.clear();
        }
        emit placeChanged();
        emit saved();
    });
}

#include "publish/sitelogin.h"
#include "outside/outside.h"
#include "web/fetch.h"
#include "web/md5.h"
#include "web/text.h"

#include <QUrl>

SiteLogin::SiteLogin(WebService &web, QObject *parent) : Step(QString(), parent), m_web(web) {}

QString SiteLogin::loginstamp(const QDateTime &now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    return QStringLiteral("%1%2%3%4%5%6").arg(d.year()).arg(d.month()).arg(d.day()).arg(t.hour()).arg(t.minute()).arg(t.second());
}

QString SiteLogin::loginAddress(const Account &a, const QString &noid)
{
    const QString digest = splitmd5(a.pass);
    const QString sign = splitmd5(a.user + QLatin1Char('_') + noid + QLatin1Char('_') + digest);
    // The account name goes in as it is; only characters that would end or break the query
    // value (&, #, +, %, blanks, non-ASCII) are escaped, so the site reads the name it was given.
    const QString user = QString::fromLatin1(QUrl::toPercentEncoding(a.user, "!$'()*,;:@/?=-._~"));
    return QStringLiteral("http://") + a.server + outside::loginPath + QStringLiteral("?username=") + user
           + QStringLiteral("&password=") + digest + QStringLiteral("&sha1=") + sign
           + QStringLiteral("&open=1&openurl=") + urlencode(a.shopclickurl);
}

void SiteLogin::webuserlogin(const Account &account, QObject *context, Done done)
{
    m_waiting.emplace_back(context, std::move(done));
    if (m_state != State::Idle)
        return;
    m_account = account;
    m_state = State::Challenge;
    emit status(QStringLiteral("正在登录"));
    const QString address = QStringLiteral("http://") + account.server + outside::loginPath + QStringLiteral("?t=")
                            + loginstamp(QDateTime::currentDateTime());
    m_web.gethtml(address, QStringLiteral("gb2312"), this, [this](const QString &reply) { advance(reply); });
}

void SiteLogin::advance(const QString &reply)
{
    if (m_state == State::Challenge) {
        if (!reply.contains(outside::challengeMarker)) {
            emit challengeMissing();
            finish(false, QStringLiteral("登录错误，请联系软件客服处理"));
            return;
        }
        const QString noid = QString(reply).remove(outside::challengeMarker);
        m_state = State::Credentials;
        m_web.gethtml(loginAddress(m_account, noid), QStringLiteral("gb2312"), this,
                      [this](const QString &r) { advance(r); });
        return;
    }
    if (reply.contains(outside::loginRefusedMarker))
        finish(false, QStringLiteral("登录失败，请检查用户名密码设置"));
    else if (reply == outside::loginOk)
        finish(true, QStringLiteral("登录成功"));
    else
        finish(false, QStringLiteral("登录失败，请检查用户名密码设置"));
}

void SiteLogin::finish(bool ok, const QString &text)
{
    m_state = State::Idle;
    emit status(text);
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (auto &[context, done] : waiting)
        if (context)
            done(ok);
}
